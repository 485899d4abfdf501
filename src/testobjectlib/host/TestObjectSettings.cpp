#include "host/TestObjectSettings.h"
#include <string>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "host/RackServices.h"

HRESULT GetTestObjectProp(IUnknown* object, BSTR name, VARIANT* value, long* flags, long* type,
                          long* compareType) noexcept {
    kcom::CComPtr<ITestObjectInfo> info;
    if (FAILED(kcom::QueryTo(object, info.Put())) || !info) return E_NOINTERFACE;
    return info->get_Prop(name, flags, type, compareType, value);
}

HRESULT PutTestObjectPropExpr(IUnknown* object, BSTR name, const VARIANT* value, long* flags, long* type,
                              long* compareType) noexcept {
    kcom::CComPtr<ITestObjectInfo> info;
    if (FAILED(kcom::QueryTo(object, info.Put())) || !info) return E_NOINTERFACE;
    if (!value) return E_POINTER;
    return info->put_PropExpr(name, flags, type, compareType, *value);
}

HRESULT ReadTestObjectKey(BSTR className, IKorSettings* settings, const wchar_t* subKey, const wchar_t* valueName,
                          VARIANT* out) noexcept {
    if (!settings || !out) return E_INVALIDARG;
    return kcom::Guard([&] {
        std::wstring key = L"Test Objects\\";
        if (className) key.append(className, ::SysStringLen(className));
        if (subKey && *subKey) {
            key += L'\\';
            key += subKey;
        }
        kcom::CComBSTR section(key.c_str());
        kcom::CComBSTR value(valueName ? valueName : L"(Default)");
        return settings->GetValue(section, value, out, 0, 0);
    });
}

HRESULT ReadTestObjectSetting(BSTR className, IObjectRack* rack, const wchar_t* subKey, const wchar_t* valueName,
                              VARIANT* out) noexcept {
    if (!rack || !out) return E_INVALIDARG;
    kcom::CComPtr<IKorSettings> settings;
    HRESULT hr = GetRackObject(rack, RackName::TestOptions, settings.Put());
    if (FAILED(hr)) return hr;
    return ReadTestObjectKey(className, settings, subKey, valueName, out);
}

HRESULT ReadClsid(BSTR className, CLSID* out, IObjectRack* rack) noexcept {
    if (!rack || !out) return E_INVALIDARG;
    kcom::CComVariant value;
    HRESULT hr = ReadTestObjectSetting(className, rack, nullptr, L"CLSID", &value);
    if (FAILED(hr)) return E_FAIL;
    if (value.vt != VT_BSTR || !value.bstrVal) return E_FAIL;
    return ::CLSIDFromString(value.bstrVal, out);
}
