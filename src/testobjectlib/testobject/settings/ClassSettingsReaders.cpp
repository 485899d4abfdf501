#include "testobject/settings/ClassSettingsReaders.h"
#include <algorithm>
#include <string>
#include <utility>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "host/RackServices.h"
#include "host/TestObjectSettings.h"
#include "tables/KorSafeArray.h"
#include "testobject/settings/SettingsTable.h"

namespace {

constexpr DWORD kIdentificationFlag = 0x10;
constexpr DWORD kLastResortFlag = 0x400;

bool IsEmptyText(BSTR s) noexcept { return !s || ::SysStringLen(s) == 0; }

// The node's own values ("" section), read as rows.
HRESULT NodeValues(IKorSettings* node, std::vector<SettingsRow>& rows) {
    kcom::CComBSTR self(L"");
    kcom::CComSafeArray table;
    HRESULT hr = node->GetValues(self, table.Put());
    if (FAILED(hr)) return hr;
    return ReadSettingsTable(table, rows);
}

// The class's "Description" node, or that of its user-defined variant when one is named.
HRESULT OpenDescriptionNode(IKorSettings* classNode, BSTR userDefinedName, IKorSettings** out) {
    kcom::CComPtr<IKorSettings> description;
    HRESULT hr = OpenChildNode(classNode, L"Description", description.Put());
    if (FAILED(hr) || IsEmptyText(userDefinedName)) return FAILED(hr) ? hr : description.CopyTo(out);
    kcom::CComPtr<IKorSettings> userDefined, variant;
    hr = OpenChildNode(description, L"UserDefined", userDefined.Put());
    if (SUCCEEDED(hr)) hr = OpenChildNode(userDefined, userDefinedName, variant.Put());
    if (SUCCEEDED(hr)) hr = OpenChildNode(variant, L"Description", out);
    return hr;
}

// The class node, then the node that open finds below it. Failures come back unchanged; a node
// answered as missing is E_FAIL.
template <class Open>
HRESULT OpenBelowClass(IObjectRack* rack, BSTR className, IKorSettings** out, Open&& open) {
    kcom::CComPtr<IKorSettings> classNode;
    HRESULT hr = OpenClassNode(rack, className, classNode.Put());
    if (FAILED(hr)) return hr;
    if (!classNode) return E_FAIL;
    hr = open(classNode.get(), out);
    if (SUCCEEDED(hr) && !*out) hr = E_FAIL;
    return hr;
}

HRESULT OpenClassDescription(IObjectRack* rack, BSTR className, BSTR userDefinedName, IKorSettings** out) {
    return OpenBelowClass(rack, className, out, [&](IKorSettings* classNode, IKorSettings** node) {
        return OpenDescriptionNode(classNode, userDefinedName, node);
    });
}

bool IsFlagsValue(const VARIANT& v, DWORD bits) noexcept { return v.vt == VT_I4 && (static_cast<DWORD>(v.lVal) & bits); }

HRESULT PutRowCell(CKorSafeArray& table, LONG row, LONG column, const VARIANT& value) {
    return table.PutElement(const_cast<VARIANT*>(&value), row, column);
}

}  // namespace

HRESULT OpenChildNode(IKorSettings* parent, const wchar_t* name, IKorSettings** out) noexcept {
    if (out) *out = nullptr;
    if (!parent || !name || !out) return E_INVALIDARG;
    return kcom::Guard([&] {
        kcom::CComVariant key(name);
        kcom::CComVariant item;
        HRESULT hr = parent->get_Item(&key, item.Put());
        if (FAILED(hr)) return hr;
        if (item.vt != VT_DISPATCH || !item.pdispVal) return E_FAIL;
        kcom::CComPtr<IKorSettings> node;
        if (FAILED(item.pdispVal->QueryInterface(__uuidof(IKorSettings), reinterpret_cast<void**>(node.Put()))) ||
            !node)
            return E_FAIL;
        *out = node.Detach();
        return S_OK;
    });
}

HRESULT OpenClassNode(IObjectRack* rack, BSTR className, IKorSettings** out) noexcept {
    if (out) *out = nullptr;
    if (!rack || IsEmptyText(className) || !out) return E_POINTER;
    return kcom::Guard([&] {
        kcom::CComPtr<IKorSettings> options;
        if (FAILED(GetRackService(rack, RackName::TestOptions, options.Put()))) return E_FAIL;
        kcom::CComPtr<IKorSettings> objects;
        HRESULT hr = OpenChildNode(options, L"Test Objects", objects.Put());
        if (FAILED(hr)) return hr;
        return OpenChildNode(objects, std::wstring(className, ::SysStringLen(className)).c_str(), out);
    });
}

HRESULT ReadClassSettingKind3(IObjectRack* rack, BSTR className, SAFEARRAY** out, BSTR userDefinedName,
                              DWORD mask) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return kcom::Guard([&] {
        kcom::CComPtr<IKorSettings> classNode;
        HRESULT hr = OpenClassNode(rack, className, classNode.Put());
        if (FAILED(hr)) return hr;
        if (!classNode) return E_FAIL;
        kcom::CComPtr<IKorSettings> description;
        if (FAILED(OpenDescriptionNode(classNode, userDefinedName, description.Put())) || !description) return S_FALSE;
        std::vector<SettingsRow> values;
        hr = NodeValues(description, values);
        if (FAILED(hr)) return hr;
        std::vector<const SettingsRow*> kept;
        for (const SettingsRow& row : values)
            if (TextOf(row.name) && IsFlagsValue(row.value, kIdentificationFlag) && (row.value.lVal & mask))
                kept.push_back(&row);
        CKorSafeArray table(static_cast<ULONG>(kept.size()), 5, VT_VARIANT);
        for (size_t r = 0; r < kept.size(); ++r) {
            kcom::ThrowIfFailed(PutRowCell(table, static_cast<LONG>(r), 0, kept[r]->name));
            kcom::ThrowIfFailed(PutRowCell(table, static_cast<LONG>(r), 2, kept[r]->value));
        }
        *out = table.Detach();
        return S_OK;
    });
}

HRESULT ReadClassSettingKind5(IObjectRack* rack, BSTR className, BSTR* out, BSTR userDefinedName) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return kcom::Guard([&] {
        kcom::CComPtr<IKorSettings> description;
        HRESULT hr = OpenClassDescription(rack, className, userDefinedName, description.Put());
        if (FAILED(hr)) return hr;
        std::vector<SettingsRow> values;
        hr = NodeValues(description, values);
        if (FAILED(hr)) return hr;
        const SettingsRow* last = nullptr;
        for (const SettingsRow& row : values)
            if (TextOf(row.name) && IsFlagsValue(row.value, kLastResortFlag)) last = &row;
        if (!last) return S_FALSE;
        kcom::CComBSTR name(last->name.bstrVal, ::SysStringLen(last->name.bstrVal));
        *out = name.Detach();
        return S_OK;
    });
}

HRESULT ReadClassSettingKind0(IObjectRack* rack, BSTR className, SAFEARRAY** out, BSTR userDefinedName) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return kcom::Guard([&] {
        kcom::CComPtr<IKorSettings> description, assistive;
        HRESULT hr = OpenClassDescription(rack, className, userDefinedName, description.Put());
        if (FAILED(hr)) return hr;
        hr = OpenChildNode(description, L"Assistive", assistive.Put());
        if (FAILED(hr)) return hr;
        if (!assistive) return E_FAIL;
        std::vector<SettingsRow> values;
        hr = NodeValues(assistive, values);
        if (FAILED(hr)) return hr;
        std::vector<std::pair<long, const SettingsRow*>> ordered;
        for (const SettingsRow& row : values) {
            if (!TextOf(row.name) || row.value.vt != VT_I4 || row.value.lVal == 0) continue;
            const bool taken = std::any_of(ordered.begin(), ordered.end(),
                                           [&](const auto& o) { return o.first == row.value.lVal; });
            if (!taken) ordered.emplace_back(row.value.lVal, &row);
        }
        std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        CKorSafeArray table(static_cast<ULONG>(ordered.size()), 1, VT_VARIANT);
        for (size_t r = 0; r < ordered.size(); ++r)
            kcom::ThrowIfFailed(PutRowCell(table, static_cast<LONG>(r), 0, ordered[r].second->name));
        *out = table.Detach();
        return S_OK;
    });
}

HRESULT ReadClassSettingList(IObjectRack* rack, BSTR className, SAFEARRAY** out, DWORD mask) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return kcom::Guard([&] {
        kcom::CComPtr<IKorSettings> properties;
        HRESULT hr = OpenBelowClass(rack, className, properties.Put(), [](IKorSettings* classNode, IKorSettings** node) {
            return OpenChildNode(classNode, L"Properties", node);
        });
        if (FAILED(hr)) return hr;
        kcom::CComBSTR self(L"");
        kcom::CComSafeArray table;
        if (FAILED(properties->GetValues(self, table.Put()))) return E_FAIL;
        if (mask == 0xFFFFFFFF) {
            *out = table.Detach();
            return S_OK;
        }
        std::vector<SettingsRow> values;
        if (FAILED(ReadSettingsTable(table, values))) return E_FAIL;
        std::vector<const SettingsRow*> kept;
        for (const SettingsRow& row : values)
            if (IsFlagsValue(row.value, mask)) kept.push_back(&row);
        CKorSafeArray list(static_cast<ULONG>(kept.size()), 2, VT_VARIANT);
        for (size_t r = 0; r < kept.size(); ++r) {
            kcom::ThrowIfFailed(PutRowCell(list, static_cast<LONG>(r), 0, kept[r]->name));
            kcom::ThrowIfFailed(PutRowCell(list, static_cast<LONG>(r), 1, kept[r]->value));
        }
        *out = list.Detach();
        return S_OK;
    });
}

HRESULT ReadClassSectionValues(BSTR className, IObjectRack* rack, const wchar_t* subKey, SAFEARRAY** out) noexcept {
    if (!rack || !out) return E_INVALIDARG;
    *out = nullptr;
    return kcom::Guard([&] {
        kcom::CComPtr<IKorSettings> options;
        if (FAILED(GetRackService(rack, RackName::TestOptions, options.Put()))) return E_FAIL;
        std::wstring section = L"Test Objects\\";
        if (className) section.append(className, ::SysStringLen(className));
        if (subKey && *subKey) section.append(L"\\").append(subKey);
        kcom::CComBSTR key(section.c_str());
        return options->GetValues(key, out);
    });
}

HRESULT ReadClassSetting(IUnknown* object, IObjectRack* rack, const wchar_t* subKey, const wchar_t* valueName,
                         VARIANT* out) noexcept {
    if (!rack || !out || !object) return E_INVALIDARG;
    return kcom::Guard([&] {
        kcom::CComBSTR name(L"korclass");
        kcom::CComVariant korClass;
        if (FAILED(GetTestObjectProp(object, name, korClass.Put(), nullptr, nullptr, nullptr)) ||
            korClass.vt != VT_BSTR || IsEmptyText(korClass.bstrVal))
            return E_FAIL;
        return ReadTestObjectSetting(korClass.bstrVal, rack, subKey, valueName, out);
    });
}
