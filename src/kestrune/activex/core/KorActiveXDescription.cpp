// The description side of the ActiveX test object: run-time attribute names merged with the
// control's own property names, values the query engine does not know read from the control, the
// identification of old descriptions, and the method-information table.
#include <string>
#include <vector>
#include "activex/core/KorActiveX.h"
#include "com/ComError.h"
#include "contracts/AcxSetting.h"
#include "environment/LoadTimeValues.h"
#include "errors/TestObjectError.h"
#include "testobject/core/TestObjectGuard.h"
#include "testobject/settings/ClassSettingsReaders.h"

namespace {

struct MethodInfo {
    const wchar_t* name;
    LONG flags;
};

// "Click" comes twice: its last entry decides its flags.
const MethodInfo kMethodInfo[] = {
    {L"Click", 0xF50300},         {L"DblClick", 0xF50300},       {L"Type", 0xA50300},
    {L"MouseMove", 0xF50300},     {L"Drag", 0xF50300},           {L"Drop", 0x750300},
    {L"hWnd", 0x50000},           {L"GetVisibleText", 0x750000}, {L"GetTextLocation", 0x750000},
    {L"ClickOnText", 0x750000},   {L"Object", 0x100},            {L"MakeVisible", 0x100},
    {L"FireEvent", 0x100},        {L"Click", 0x315},
};
constexpr LONG kDefaultMethodFlags = 0x315;

// Attributes that count as identifying when nothing says otherwise.
const wchar_t* const kDefaultTrueAttributes[] = {L"Value", L"Enabled", L"Name", L"Height"};

bool IsDefaultTrueAttribute(const VARIANT& name) noexcept {
    if (name.vt != VT_BSTR) return false;
    for (const wchar_t* candidate : kDefaultTrueAttributes) {
        kcom::CComBSTR text(candidate);
        if (::VarBstrCmp(name.bstrVal, text, LOCALE_USER_DEFAULT, 0) == static_cast<HRESULT>(VARCMP_EQ)) return true;
    }
    return false;
}

// Sets the process-wide old-name flag for a scope and puts the previous value back.
class COldNameQueryScope {
public:
    COldNameQueryScope() noexcept : m_previous(::InterlockedExchange(&g_useOldNameQuery, 1)) {}
    ~COldNameQueryScope() { ::InterlockedExchange(&g_useOldNameQuery, m_previous); }
    COldNameQueryScope(const COldNameQueryScope&) = delete;
    COldNameQueryScope& operator=(const COldNameQueryScope&) = delete;

private:
    LONG m_previous;
};

}  // namespace

// ---- Run-time attributes -----------------------------------------------------------------------

HRESULT CKorActiveX::ITestObjectInfo_GetRTAttribs(SAFEARRAY** names, BSTR type) {
    if (!names) return E_POINTER;
    *names = nullptr;
    return TestObjectGuard([&] {
        CKorSafeArray attributes, control;
        SAFEARRAY* raw = nullptr;
        const HRESULT own = CComTestObject::ITestObjectInfo_GetRTAttribs(&raw, type);
        attributes.Attach(raw, true);
        raw = nullptr;
        const HRESULT read = ReadControlAttributeNames(&raw);
        control.Attach(raw, true);
        if (FAILED(own) && FAILED(read)) return E_FAIL;
        CKorSafeArray& result = SUCCEEDED(own) ? attributes : control;
        if (SUCCEEDED(own)) {
            if (IsSpying()) AppendSpyingAttributes(attributes);
            if (SUCCEEDED(read)) attributes.AppendUnique(control.psa, 0);
        }
        const LONG rows = static_cast<LONG>(result.psa ? result.GetRowCount() : 0);
        for (LONG row = 0; row < rows; ++row) {
            kcom::CComVariant name, flag;
            if (FAILED(result.GetElement(&name, row, 0)) || FAILED(result.GetElement(&flag, row, 1))) continue;
            if (flag.vt == VT_EMPTY && IsDefaultTrueAttribute(name)) flag = kcom::CComVariant(true);
            kcom::ThrowIfFailed(result.PutElement(&flag, row, 1));
        }
        *names = result.Detach();
        return S_OK;
    });
}

HRESULT CKorActiveX::ReadControlAttributeNames(SAFEARRAY** names) {
    if (!names) return E_POINTER;
    *names = nullptr;
    if (!m_helper) return E_FAIL;
    return TestObjectGuard([&] {
        kcom::CComBSTR text;
        HRESULT hr = m_helper->GetPropertyNames(text.Put());
        if (FAILED(hr)) return hr;
        if (text.Length() == 0) return E_UNEXPECTED;
        std::wstring all(text, text.Length());
        if (all.back() != L'\t') all.push_back(L'\t');

        kcom::CComVariant progId;
        CRuntimeId id;
        if (SUCCEEDED(FindRuntimeId(id))) {
            kcom::CComBSTR query(L"progid");
            QueryObjValue(progId.Put(), static_cast<IRuntimeID2*>(id), query);
        }
        const bool filter = progId.vt == VT_BSTR && progId.bstrVal && ::SysStringLen(progId.bstrVal) > 0;
        std::vector<std::wstring> kept;
        for (size_t start = 0, end; (end = all.find(L'\t', start)) != std::wstring::npos; start = end + 1) {
            std::wstring name = all.substr(start, end - start);
            if (filter && CAcxSetting::GetInstance()->IsIgnorePropertyW(progId.bstrVal, name.data())) continue;
            kept.push_back(std::move(name));
        }

        CKorSafeArray table(static_cast<ULONG>(kept.size()), 2, VT_VARIANT);
        for (LONG row = 0; row < static_cast<LONG>(kept.size()); ++row) {
            kcom::CComVariant name(kept[row].c_str()), flag(false);
            kcom::ThrowIfFailed(table.PutElement(&name, row, 0));
            kcom::ThrowIfFailed(table.PutElement(&flag, row, 1));
        }
        *names = table.Detach();
        return S_OK;
    });
}

bool CKorActiveX::IsSpying() {
    kcom::CComVariant state = RunState(L"OnSpying");
    return SUCCEEDED(state.ChangeType(VT_I4)) && state.lVal != 0;
}

void CKorActiveX::AppendSpyingAttributes(CKorSafeArray& table) {
    kcom::CComBSTR className;
    if (FAILED(GetTestObjectClass(className.Put()))) return;
    CKorSafeArray settings;
    if (SUCCEEDED(ReadClassSettingList(Rack(), className, &settings.psa, 1)) && settings.psa)
        table.AppendUnique(settings.psa, 0);
}

// ---- Values ------------------------------------------------------------------------------------

// A value the query engine does not know is read from the control itself.
HRESULT CKorActiveX::DispTestObject_QueryValue(BSTR Property, VARIANT* PropertyData, VARIANT* varRet) {
    const HRESULT hr = CComTestObject::DispTestObject_QueryValue(Property, PropertyData, varRet);
    if (!varRet || (SUCCEEDED(hr) && varRet->vt != VT_EMPTY)) return hr;
    return TestObjectGuard([&] {
        kcom::CComVariant value;
        const HRESULT read = GetControlProperty(Property, value.Put());
        if (FAILED(read) || value.vt == VT_EMPTY) return read;
        ::VariantClear(varRet);
        return ::VariantCopy(varRet, &value);
    });
}

// ---- Identification ----------------------------------------------------------------------------

// Descriptions older than version 6 identified by the old "name".
HRESULT CKorActiveX::Desc2Handle(SAFEARRAY** candidates, QueryIdInfo* context) {
    if (m_loadedDescriptionVersion >= 6) return CComTestObject::Desc2Handle(candidates, context);
    return TestObjectGuard([&] {
        kcom::CComQIPtr<IKorActiveXInit> init(GetControllingUnknown());
        if (init && init->IsBackwardObject() == S_OK) {
            // The backward object's "name" stops identifying when other properties do.
            kcom::CComBSTR name(L"name");
            long flags = 0;
            kcom::CComVariant value;
            if (SUCCEEDED(ITestObjectInfo_get_Prop(name, &flags, nullptr, nullptr, value.Put())) && (flags & 0x610)) {
                CKorPtrSafeArray identifying;
                if (SUCCEEDED(ITestObjectInfo_GetProps(&identifying.psa, 0x610)) && identifying.psa &&
                    identifying.GetRowCount() > 1)
                    ITestObjectInfo_SetPropFlags(name, static_cast<ULONG>(flags) & ~0x610UL);
            }
            return CComTestObject::Desc2Handle(candidates, context);
        }
        COldNameQueryScope oldName;
        return CComTestObject::Desc2Handle(candidates, context);
    });
}

// ---- Method information ------------------------------------------------------------------------

HRESULT CKorActiveX::GetMethodInfoTable() { return TestObjectGuard([&] { return FillMethodsInfo(); }); }

HRESULT CKorActiveX::FillMethodsInfo() {
    m_methodInfoTable.Create(1, 2, VT_VARIANT);
    ULONG rows = 1;
    for (const MethodInfo& entry : kMethodInfo) {
        kcom::CComVariant name(entry.name), flags(entry.flags);
        LONG row = m_methodInfoTable.FindRow(name, 0);
        if (row < 0) {
            if (FAILED(m_methodInfoTable.Redim(rows + 1))) continue;
            row = static_cast<LONG>(rows++);
            kcom::ThrowIfFailed(m_methodInfoTable.PutElement(&name, row, 0));
        }
        kcom::ThrowIfFailed(m_methodInfoTable.PutElement(&flags, row, 1));
    }
    kcom::CComVariant defaults(kDefaultMethodFlags);
    kcom::ThrowIfFailed(m_methodInfoTable.PutElement(&defaults, 0, 1));
    return S_OK;
}
