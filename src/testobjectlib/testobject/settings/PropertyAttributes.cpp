#include "testobject/settings/PropertyAttributes.h"
#include <cwchar>
#include <string>
#include <vector>
#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "host/RackServices.h"
#include "testobject/settings/SettingsTable.h"

namespace {

constexpr DWORD kAttributeKind = 3;

bool HasChildNamed(IKorSettings* options, const wchar_t* name) {
    kcom::CComBSTR section(L"Attributes");
    kcom::CComSafeArray children;
    std::vector<SettingsRow> rows;
    if (FAILED(options->GetSubKeys(section, children.Put())) || FAILED(ReadSettingsTable(children, rows))) return false;
    for (const SettingsRow& row : rows) {
        const wchar_t* child = TextOf(row.name);
        if (child && _wcsicmp(child, name) == 0) return true;
    }
    return false;
}

}  // namespace

HRESULT ReadPropertyAttributes(IObjectRack* rack, const wchar_t* propertyName, PropertyAttributes* out) noexcept {
    if (!propertyName || !out) return E_POINTER;
    return kcom::Guard([&] {
        kcom::CComPtr<IKorSettings> options;
        if (FAILED(GetRackService(rack, RackName::TestOptions, options.Put()))) return E_FAIL;
        if (!HasChildNamed(options, propertyName)) return E_FAIL;
        kcom::CComBSTR section((std::wstring(L"Attributes\\") + propertyName).c_str());
        auto read = [&](const wchar_t* name) {
            kcom::CComBSTR valueName(name);
            kcom::CComVariant value;
            if (FAILED(options->GetValue(section, valueName, value.Put(), 0, 0))) value.Clear();
            return value;
        };
        auto takeText = [&](const wchar_t* name, kcom::CComBSTR& field) {
            kcom::CComVariant v = read(name);
            if (v.vt != VT_BSTR) return;
            field.Attach(v.bstrVal);
            v.vt = VT_EMPTY;
        };
        out->name = propertyName;
        takeText(L"helpstring", out->helpString);
        takeText(L"helpfile", out->helpFile);
        if (kcom::CComVariant v = read(L"helpcontext"); v.vt == VT_I4) out->helpContext = static_cast<DWORD>(v.lVal);
        if (kcom::CComVariant v = read(L"vtType"); v.vt == VT_I4) out->type = static_cast<VARTYPE>(v.lVal);
        out->kind = kAttributeKind;
        return S_OK;
    });
}
