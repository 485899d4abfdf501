// The run-time methods the core itself needs: the description property getter, the run-time
// value query with its cache, and Init.
#include "com/ComError.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"
#include "win32/WindowServices.h"

HRESULT CComTestObject::DispTestObject_GetProperty(BSTR Property, long* pFlags, long* pType, BSTR*, VARIANT* pVal) {
    if (!pVal) return E_POINTER;
    if (IsBlankString(Property)) return E_INVALIDARG;
    return ITestObjectInfo_get_Prop(Property, pFlags, pType, nullptr, pVal);
}

HRESULT CComTestObject::DispTestObject_Init() {
    m_foundDirectly = 0;
    m_updateDescriptionFlag = 0;
    return TestObjectGuard([&] {
        kcom::CComBSTR name(L"objectid");
        kcom::CComVariant empty;
        ITestObjectInfo_put_PropExpr(name, nullptr, nullptr, nullptr, empty);
        return S_OK;
    });
}

HRESULT CComTestObject::DispTestObject_QueryValue(BSTR Property, VARIANT* PropertyData, VARIANT* varRet) {
    if (!varRet) return E_POINTER;
    if (IsBlankString(Property)) return E_INVALIDARG;
    return TestObjectGuard([&] {
        const bool learning = IsInLearn();
        kcom::CComBSTR name(Property, ::SysStringLen(Property));
        if (learning) {
            auto cached = m_valueCache.find(name);
            if (cached != m_valueCache.end()) return ::VariantCopy(varRet, &cached->second);
        }
        ::VariantClear(varRet);
        kcom::CComPtr<IUnknown> object;
        HRESULT hr = ITestObject_FindObjectId(object.Put(), nullptr);
        if (FAILED(hr)) return hr;
        if (!object) return E_FAIL;
        kcom::CComVariant value;
        hr = QueryObjValue2(value.Put(), object, Property, PropertyData);
        if (value.vt == VT_ERROR) return value.scode;
        if (FAILED(hr)) return hr;
        // A by-reference value points into memory the caller owns; it is never kept.
        if (learning && !(value.vt & VT_BYREF)) m_valueCache[name] = value;
        value.Detach(varRet);
        return S_OK;
    });
}
