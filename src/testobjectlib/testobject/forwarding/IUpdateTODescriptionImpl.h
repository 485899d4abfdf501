#pragma once
// IUpdateTODescription of a test object.
#include <windows.h>
#include "kestrune.h"
#include "testobject/forwarding/Forwarding.h"

template <class T>
class IUpdateTODescriptionImpl : public IUpdateTODescription {
public:
    STDMETHOD(GetFlagsChangeSummary)() override { KOR_FORWARD(GetFlagsChangeSummary); }
    STDMETHOD(get_UpdateDescriptionFlag)(short* flag) override { KOR_FORWARD(get_UpdateDescriptionFlag, flag); }
    STDMETHOD(put_UpdateDescriptionFlag)(short flag) override { KOR_FORWARD(put_UpdateDescriptionFlag, flag); }
};
