#pragma once
// ICustomStep and ICustomStep2 of a test object. ICustomStep2 only appends, so the class map
// answers both IIDs with the one vtable of ICustomStep2Impl.
#include <windows.h>
#include "kestrune.h"
#include "testobject/forwarding/Forwarding.h"

template <class T, class Itf = ICustomStep>
class ICustomStepImpl : public Itf {
public:
    STDMETHOD(GetCheckpointDialogClsid)(BSTR type, CLSID* clsid) override {
        KOR_FORWARD(GetCheckpointDialogClsid, type, clsid);
    }
    STDMETHOD(GetSupportedCheckpointTypes)(BSTR type, BOOL* supported) override {
        KOR_FORWARD(GetSupportedCheckpointTypes, type, supported);
    }
    STDMETHOD(GetCustomStepClsid)(BSTR type, GUID* clsid) override { KOR_FORWARD(GetCustomStepClsid, type, clsid); }
    STDMETHOD(GetCustomStepClsid2)(BSTR type, GUID* clsid) override { KOR_FORWARD(GetCustomStepClsid2, type, clsid); }
    STDMETHOD(GetCheckpointStepTypes)(BSTR type, BOOL* supported) override {
        KOR_FORWARD(GetCheckpointStepTypes, type, supported);
    }
    STDMETHOD(GetCheckpointTimeout)(BSTR type, ULONG* timeout) override {
        KOR_FORWARD(GetCheckpointTimeout, type, timeout);
    }
};

template <class T>
class ICustomStep2Impl : public ICustomStepImpl<T, ICustomStep2> {
public:
    STDMETHOD(GetCustomStepFlags)(BSTR type, ULONG* flags) override { KOR_FORWARD(GetCustomStepFlags, type, flags); }
    STDMETHOD(EditCustomStep)(BSTR type, IDispatch* step, VARIANT* data) override {
        KOR_FORWARD(EditCustomStep, type, step, data);
    }
};
