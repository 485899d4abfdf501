#pragma once
// IPersistStreamInit of a test object: the description stream is the test object's.
#include <windows.h>
#include <ocidl.h>
#include "kestrune.h"
#include "testobject/forwarding/Forwarding.h"

template <class T>
class IPersistStreamInitKorImpl : public IPersistStreamInit {
public:
    // Test objects persist as the ActiveX test object's class, whatever class wrote them.
    STDMETHOD(GetClassID)(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = CLSID_KorActiveX;
        return S_OK;
    }
    STDMETHOD(IsDirty)() override { KOR_FORWARD(IsDirty); }
    STDMETHOD(Load)(IStream* stream) override { KOR_FORWARD(Load, stream); }
    STDMETHOD(Save)(IStream* stream, BOOL clearDirty) override { KOR_FORWARD(Save, stream, clearDirty); }
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHOD(InitNew)() override { return S_OK; }
};
