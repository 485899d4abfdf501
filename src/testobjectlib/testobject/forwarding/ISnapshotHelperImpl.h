#pragma once
// ISnapshotHelper of a test object: the saved-snapshot chain of the test object.
#include <windows.h>
#include "kestrune.h"
#include "testobject/forwarding/Forwarding.h"

template <class T>
class ISnapshotHelperImpl : public ISnapshotHelper {
public:
    STDMETHOD(Snapshot)(BSTR folder, VARIANT* highlightId, long kind, BSTR* name, BYTE storeAsCurrent,
                        long reserved, IDispatch* object) override {
        KOR_FORWARD(GetSavedSnapshot, folder, highlightId, kind, name, storeAsCurrent, reserved, object);
    }
};
