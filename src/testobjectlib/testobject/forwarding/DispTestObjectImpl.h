#pragma once
// DispTestObject of a test object: the script methods, a dual interface answered from the type
// library (calls go through its vtable half, see kcom::IDispatchImpl).
#include <windows.h>
#include <oleauto.h>
#include "com/ComVariant.h"
#include "com/DispatchImpl.h"
#include "kestrune.h"
#include "testobject/forwarding/Forwarding.h"

template <class T>
class DispTestObjectImpl : public kcom::IDispatchImpl<DispTestObject, &IID_DispTestObject> {
public:
    STDMETHOD(GetProperty)(BSTR Property, long* pFlags, long* pType, BSTR* pParameterName, VARIANT* pVal) override {
        KOR_FORWARD(DispTestObject_GetProperty, Property, pFlags, pType, pParameterName, pVal);
    }
    // A flag, type or name of 0 counts as not given; a value by reference is taken as the value it
    // refers to (the caller's memory is gone after the call).
    STDMETHOD(SetProperty)(BSTR Property, VARIANT Value, long* pFlags, long* pType, BSTR* pParameterName) override {
        return TestObjectGuard([&]() -> HRESULT {
            if (pFlags && *pFlags == 0) pFlags = nullptr;
            if (pType && *pType == 0) pType = nullptr;
            if (pParameterName && !*pParameterName) pParameterName = nullptr;
            kcom::CComVariant copy;
            const HRESULT copied = copy.CopyInd(Value);
            if (FAILED(copied)) return copied;
            return TestObjectOf<T>(this)->DispTestObject_SetProperty(Property, copy, pFlags, pType, pParameterName);
        });
    }
    STDMETHOD(QueryValue)(BSTR Property, VARIANT* PropertyData, VARIANT* varRet) override {
        KOR_FORWARD(DispTestObject_QueryValue, Property, PropertyData, varRet);
    }
    // While the host turns verification off, a checkpoint passes without running.
    STDMETHOD(Check)(VARIANT* Verify, VARIANT_BOOL* pVal) override {
        return TestObjectGuard([&]() -> HRESULT {
            CComTestObject* object = TestObjectOf<T>(this);
            if (!IsVerifyEnabled(object)) return S_OK;
            return object->DispTestObject_Check(Verify, pVal);
        });
    }
    STDMETHOD(Output)(VARIANT* Verify) override { KOR_FORWARD(DispTestObject_Output, Verify); }
    STDMETHOD(Highlight)(HighlightType Type, VARIANT Text) override {
        KOR_FORWARD(DispTestObject_Highlight, static_cast<long>(Type), Text);
    }
    STDMETHOD(Init)() override { KOR_FORWARD(DispTestObject_Init); }
    STDMETHOD(get_Exist)(long TimeOut, VARIANT_BOOL* pVal) override { KOR_FORWARD(DispTestObject_Exist, TimeOut, pVal); }
    STDMETHOD(GetTOProperty)(BSTR Property, VARIANT* pVal) override {
        KOR_FORWARD(DispTestObject_GetTOProperty, Property, pVal);
    }
    STDMETHOD(SetTOProperty)(BSTR Property, VARIANT Value) override {
        KOR_FORWARD(DispTestObject_SetTOProperty, Property, Value);
    }
    STDMETHOD(GetROProperty)(BSTR Property, VARIANT* PropertyData, VARIANT* varRet) override {
        KOR_FORWARD(DispTestObject_GetROProperty, Property, PropertyData, varRet);
    }
    STDMETHOD(GetTOProperties)(IDispatch** Collection) override {
        KOR_FORWARD(DispTestObject_GetTOProperties, Collection);
    }
    STDMETHOD(ChildObjects)(IDispatch* Description, IDispatch** ppChilds) override {
        KOR_FORWARD(DispTestObject_ChildObjects, Description, ppChilds);
    }
    STDMETHOD(CaptureBitmap)(BSTR FullFileName, VARIANT_BOOL OverrideExisting) override {
        KOR_FORWARD(DispTestObject_CaptureBitmap, FullFileName, OverrideExisting);
    }
    STDMETHOD(WaitProperty)(BSTR PropertyName, VARIANT PropertyValue, long TimeOut, VARIANT_BOOL* varRet) override {
        KOR_FORWARD(DispTestObject_WaitProperty, PropertyName, PropertyValue, TimeOut, varRet);
    }
    STDMETHOD(CheckProperty)(BSTR PropertyName, VARIANT PropertyValue, long TimeOut, VARIANT_BOOL* varRet) override {
        KOR_FORWARD(DispTestObject_CheckProperty, PropertyName, PropertyValue, TimeOut, varRet);
    }
    STDMETHOD(ToString)(BSTR* varRet) override { KOR_FORWARD(DispTestObject_ToString, varRet); }
    // The script's refresh re-initialises the object, like Init.
    STDMETHOD(RefreshObject)() override { return this->Init(); }

private:
    // "EnableVerify" switches checkpoints off only as a false VT_BOOL.
    static bool IsVerifyEnabled(CComTestObject* object) {
        kcom::CComVariant value;
        if (FAILED(object->GetRunStateFlag(L"EnableVerify", value.Put()))) return true;
        return value.vt != VT_BOOL || value.boolVal != VARIANT_FALSE;
    }
};
