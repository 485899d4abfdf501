#include "factory/AcxFactory.h"
#include <cwchar>
#include <string>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComVariant.h"
#include "com/Handles.h"
#include "contracts/AcxSetting.h"
#include "environment/AcxHandler.h"
#include "environment/LoadTimeValues.h"
#include "environment/ObjectMap.h"
#include "factory/WindowUnderPoint.h"
#include "tables/KorSafeArray.h"

extern const kcom::CreatorFn AcxFactoryCreator = &kcom::CComCreator<CAcxFactory>::CreateInstance;

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

constexpr DWORD kAllContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
// The parent walk ends at a top-level window; the cap only guards against windows that change.
constexpr int kMaxWindowDepth = 256;

const wchar_t* const kStandardClasses[] = {
    L"ListBox",         L"ComboBox",           L"Edit",          L"Button",          L"Static",
    L"ScrollBar",       L"SysListView32",      L"SysTreeView32", L"ToolbarWindow32", L"SysTabControl32",
    L"msctls_updown32", L"msctls_statusbar32",
};

const wchar_t* const kOwnClassNames[] = {
    L"ActiveX",      L"AcxButton", L"AcxCalendar", L"AcxCheckBox", L"AcxComboBox",
    L"AcxEdit",      L"AcxEditor", L"AcxList",     L"AcxListView", L"AcxRadioButton",
    L"AcxScrollbar", L"AcxSpin",   L"AcxTab",      L"AcxTable",    L"AcxTree",
};

struct ClassNameRow {
    CLSID clsid;
    const wchar_t* name;
};

// Tested in this order.
const ClassNameRow kClassNames[] = {
    {{0x27577155, 0xB48B, 0x11D4, {0x8F, 0x71, 0x00, 0x50, 0xDA, 0x3B, 0x04, 0x21}}, L"AcxTable"},
    {{0xC572F8AD, 0xFEC5, 0x4CFF, {0xAD, 0x70, 0x55, 0xD6, 0x56, 0xA2, 0x4B, 0xEC}}, L"AcxComboBox"},
    {{0x178F0CA4, 0x6C50, 0x4DDF, {0x85, 0x8B, 0xE4, 0x63, 0xBE, 0x91, 0x7F, 0x5D}}, L"AcxCalendar"},
    {{0x0FB13DE4, 0x287C, 0x41F5, {0x95, 0x73, 0xA0, 0x2A, 0x50, 0x15, 0x26, 0xA5}}, L"AcxEdit"},
    {{0x1BD8F8F1, 0x16D7, 0x11D5, {0x94, 0xDC, 0x00, 0x50, 0x04, 0x6B, 0x76, 0xDF}}, L"AcxRadioButton"},
    {{0x27577152, 0xB48B, 0x11D4, {0x8F, 0x71, 0x00, 0x50, 0xDA, 0x3B, 0x04, 0x21}}, L"AcxButton"},
    {{0x27577154, 0xB48B, 0x11D4, {0x8F, 0x71, 0x00, 0x50, 0xDA, 0x3B, 0x04, 0x21}}, L"AcxCheckBox"},
    {{0x599061BE, 0xFD3C, 0x4A01, {0x9A, 0x1A, 0xE9, 0x9D, 0xCF, 0x58, 0x5E, 0x45}}, L"AcxList"},
    {{0xA2B258A8, 0x5C47, 0x48D7, {0xBE, 0x5D, 0x8A, 0x32, 0x2C, 0x6E, 0x61, 0xEB}}, L"AcxListView"},
    {{0x8C717D19, 0xABBA, 0x410E, {0x95, 0x2B, 0x69, 0x18, 0x38, 0xEA, 0x06, 0x55}}, L"AcxEditor"},
    {{0x72FEEA13, 0xF6DB, 0x48DC, {0x99, 0x7D, 0x48, 0x52, 0x7F, 0x2A, 0xBD, 0x50}}, L"AcxScrollbar"},
    {{0xA3B37E4C, 0x007C, 0x4427, {0xAA, 0x14, 0x6C, 0x78, 0x45, 0xB0, 0x31, 0x07}}, L"AcxSpin"},
    {{0xDD11A179, 0x7EA9, 0x42DC, {0xA1, 0x36, 0x6A, 0xFE, 0xD1, 0xC8, 0x6D, 0x24}}, L"AcxTab"},
    {{0x7F64FBAF, 0xD927, 0x4A66, {0x90, 0x45, 0xC7, 0x85, 0x49, 0x4E, 0xC4, 0xB5}}, L"AcxTree"},
    {CLSID_KorActiveX, L"ActiveX"},
};

bool AsciiEqualNoCase(const wchar_t* a, UINT lengthA, const wchar_t* b) {
    const size_t lengthB = std::wcslen(b);
    if (lengthA != lengthB) return false;
    for (UINT i = 0; i < lengthA; ++i) {
        wchar_t ca = a[i], cb = b[i];
        if (ca >= L'A' && ca <= L'Z') ca = static_cast<wchar_t>(ca - L'A' + L'a');
        if (cb >= L'A' && cb <= L'Z') cb = static_cast<wchar_t>(cb - L'A' + L'a');
        if (ca != cb) return false;
    }
    return true;
}

HWND ToWindow(long value) { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(value)); }

bool IsChildWindow(HWND window) { return (::GetWindowLongW(window, GWL_STYLE) & WS_CHILD) != 0; }

CComVariant AsVariant(const CRuntimeId& id) {
    return CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id)));
}

// Calls IKorActiveXInit::Init when the object has it; its answer is not looked at.
void InitActiveX(IDispatch* object, UINT format) {
    CComPtr<IKorActiveXInit> init;
    if (SUCCEEDED(kcom::QueryTo(object, init.Put())) && init) init->Init(format);
}

// A stand-in child window of the container for the duration of one parent look-up.
class CTemporaryWindow {
public:
    CTemporaryWindow(HWND container, const RECT& r)
        : window_(::CreateWindowExW(0, L"STATIC", L"tmpStaticWindow", WS_CHILD, r.left, r.top, r.right - r.left,
                                    r.bottom - r.top, container, nullptr, ::GetModuleHandleW(nullptr), nullptr)) {}
    ~CTemporaryWindow() {
        if (window_) ::DestroyWindow(window_);
    }
    CTemporaryWindow(const CTemporaryWindow&) = delete;
    CTemporaryWindow& operator=(const CTemporaryWindow&) = delete;
    HWND get() const noexcept { return window_; }

private:
    HWND window_;
};

}  // namespace

CAcxFactory::CAcxFactory() : CStdFactoryBase(true) {
    m_agent.CoCreateInstance(CLSID_AcxAgntUtil, nullptr, kAllContexts);
    try {
        LoadCustomClasses();
    } catch (...) {
        m_customClasses.clear();
    }
}

HRESULT CAcxFactory::FinalConstruct() {
    RegisterFormats();
    SetOwnUnknown(GetControllingUnknown());
    return S_OK;
}

void CAcxFactory::RegisterFormats() {
    CStdFactoryBase::RegisterFormats();
    m_windowlessFormat = g_cfWindowlessAcxControl;
    AddOwnFormat(L"Windowless ACX Control", m_windowlessFormat);
}

void CAcxFactory::LoadCustomClasses() {
    CAcxSetting* setting = CAcxSetting::GetInstance();
    if (!setting || !setting->m_rootKey) return;
    const std::wstring path = std::wstring(setting->m_rootKeyPath ? setting->m_rootKeyPath : L"") + L"\\ProgID";
    kcom::CRegKey key;
    if (::RegOpenKeyExW(setting->m_rootKey, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return;
    wchar_t valueName[] = L"CustWindowTestObjectProgID";
    for (DWORD index = 0;; ++index) {
        wchar_t progId[257] = {};
        DWORD length = 257;
        if (::RegEnumKeyExW(key, index, progId, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        wchar_t* text = nullptr;
        const bool found = setting->GetValueFromProgIDW(progId, valueName, &text);
        const CComBSTR custom = CComBSTR::Take(text);
        CLSID control = GUID_NULL, testObject = GUID_NULL;
        if (found && SUCCEEDED(::CLSIDFromProgID(progId, &control)) &&
            SUCCEEDED(::CLSIDFromProgID(custom.c_str(), &testObject)))
            m_customClasses[control] = testObject;
    }
}

CLSID CAcxFactory::CustomClassOf(REFCLSID control) const {
    auto it = m_customClasses.find(control);
    return it == m_customClasses.end() ? GUID_NULL : it->second;
}

STDMETHODIMP CAcxFactory::SetRack(IObjectRack* rack) {
    return kcom::Guard([&]() -> HRESULT {
        IObjectRackClientImpl<CAcxFactory>::SetRack(rack);
        return LoadSkipLists(rack, L"Packages\\Kestrune\\SkipRecordClasses", L"Packages\\Kestrune\\SkipRecordTitles");
    });
}

HRESULT CAcxFactory::GetClassDescriptor(IDispatch*, KorClassDescriptor* descriptor) {
    if (!descriptor) return E_POINTER;
    *descriptor = {L"ActiveX", 0xAFFF, 0xAFFF, 0};
    return S_OK;
}

bool CAcxFactory::IsOwnClassName(BSTR name) {
    if (!name) return false;
    const UINT length = ::SysStringLen(name);
    for (const wchar_t* own : kOwnClassNames)
        if (AsciiEqualNoCase(name, length, own)) return true;
    return false;
}

HRESULT CAcxFactory::ClassNameFromClsid(REFCLSID clsid, BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    for (const ClassNameRow& row : kClassNames) {
        if (!::IsEqualCLSID(row.clsid, clsid)) continue;
        *name = ::SysAllocString(row.name);
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    return S_FALSE;
}

// ---- window predicates ----

bool CAcxFactory::IsAcxWindow(HWND window) {
    LONG isAcx = 0;
    if (m_agent) m_agent->IsAcxControl(window, &isAcx);
    return isAcx != 0;
}

bool CAcxFactory::IsNestedAcx(HWND window) {
    HWND parent = ::GetParent(window);
    return IsAcxWindow(window) && IsAcxWindow(parent) && IsSameWindow(window, parent);
}

bool CAcxFactory::IsComboInImageCombo(HWND window) {
    wchar_t name[32] = {};
    if (::GetClassNameW(window, name, 32) <= 0 || _wcsicmp(name, L"ComboBox") != 0) return false;
    HWND parent = ::GetParent(window);
    wchar_t parentName[32] = {};
    return parent && ::GetClassNameW(parent, parentName, 32) > 0 && _wcsicmp(parentName, L"ImageCombo20WndClass") == 0;
}

bool CAcxFactory::IsStandardWindow(HWND window) {
    wchar_t name[256] = {};
    if (::GetClassNameW(window, name, 256) <= 0) return false;
    for (const wchar_t* standard : kStandardClasses)
        if (std::wcscmp(name, standard) == 0) return true;
    return false;
}

// Class names compare through the system's atoms, which keep the first spelling of a name: the
// combo box of an image combo always reads as the standard "ComboBox", and callers that re-target
// it to its image combo leave it out of this test.
bool CAcxFactory::IsStandardOrMappedWindow(HWND window) {
    if (IsStandardWindow(window)) return true;
    CComBSTR mapped;
    return SUCCEEDED(GetObjectClass(window, mapped.Put()));
}

bool CAcxFactory::IsVbLabelAtPoint(long x, long y) {
    IKorQuery* engine = QueryEngine();
    if (!engine) return false;
    CRuntimeId id(g_cfShelXYPosition);
    if (!static_cast<IRuntimeID2*>(id) || FAILED(id.PutVariantValue(L"x", CComVariant(x))) ||
        FAILED(id.PutVariantValue(L"y", CComVariant(y))))
        return false;
    CKorSafeArray table(1, 3, VT_VARIANT);
    CComVariant name(L"get vblabel from point");
    kcom::ThrowIfFailed(table.PutElement(&name, 0, 0));
    if (engine->QueryValue(id, table.psa) != S_OK) return false;
    CComVariant value;
    table.GetElement(value.Put(), 0, 1);
    return value.vt == VT_UNKNOWN;
}

CRuntimeId CAcxFactory::WindowlessId(HWND container, LONG cookie) const {
    CRuntimeId id(m_windowlessFormat);
    if (FAILED(id.PutVariantValue(L"hwnd", CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(container))))) ||
        FAILED(id.PutVariantValue(L"punknown", CComVariant(static_cast<long>(cookie)))))
        return CRuntimeId();
    return id;
}

// ---- test objects ----

STDMETHODIMP CAcxFactory::CreateTestObjFromRuntimeId(IRuntimeID* id, IDispatch** object) {
    const HRESULT hr = CStdFactoryBase::CreateTestObjFromRuntimeId(id, object);
    if (hr == S_OK && *object) InitActiveX(*object, CRuntimeId(id).GetPackage());
    return hr;
}

STDMETHODIMP CAcxFactory::CreateTestObjFromWindow(HWND window, IDispatch** object) {
    return kcom::Guard([&]() -> HRESULT {
        if (!object) return E_POINTER;
        *object = nullptr;
        CRuntimeId id = WindowId(window);
        if (!static_cast<IRuntimeID2*>(id)) return E_OUTOFMEMORY;
        const HRESULT hr = CreateTestObjFromRuntimeId(id, object);
        if (hr == S_OK && *object) InitActiveX(*object, WindowFormat());
        return hr;
    });
}

STDMETHODIMP CAcxFactory::CreateTestObjFromPoint(long x, long y, IUnknown*, IDispatch** object) {
    return kcom::Guard([&]() -> HRESULT {
        if (!object) return E_POINTER;
        *object = nullptr;
        HWND window = CWindowUnderPoint::WindowFromPointDeep(x, y, true);
        if (!window || IsSkippedWindow(window)) return S_FALSE;
        HWND container = nullptr;
        LONG cookie = 0;
        if (m_agent &&
            m_agent->GetCookieFromPoint(window, static_cast<short>(x), static_cast<short>(y), &container, &cookie) ==
                S_OK &&
            cookie) {
            CRuntimeId id = WindowlessId(container, cookie);
            if (!static_cast<IRuntimeID2*>(id)) return E_OUTOFMEMORY;
            return CreateTestObjFromRuntimeId(id, object);
        }
        if (IsVbLabelAtPoint(x, y)) return S_FALSE;
        HRESULT hr = S_FALSE;
        if (IsAcxWindow(window)) hr = CreateTestObjFromWindow(window, object);
        if (IsComboInImageCombo(window)) {
            // The image combo stands for its combo box: an object made for the combo box itself
            // gives way to it.
            if (*object) {
                (*object)->Release();
                *object = nullptr;
            }
            hr = CreateTestObjFromWindow(::GetParent(window), object);
        }
        return hr;
    });
}

// ---- the parent test object ----

STDMETHODIMP CAcxFactory::CreateParentTestObj(IDispatch* child, IDispatch** parent) {
    return kcom::Guard([&]() -> HRESULT {
        if (!child || !parent) return E_POINTER;
        *parent = nullptr;
        CComVariant objectId;
        if (FAILED(ReadProp(child, L"objectid", objectId.Put())) || objectId.vt == VT_ERROR) return E_FAIL;
        const CRuntimeId id(objectId);
        if (!static_cast<IRuntimeID2*>(id)) return E_FAIL;

        const UINT package = id.GetPackage();
        long value = 0;
        if (package == StdMenuFormat() || package == g_cfRuntimeIdForVbLabel) {
            id.GetLong(package == StdMenuFormat() ? L"MenuOwnerHwnd" : L"hwnd", &value);
            HWND owner = ToWindow(value);
            if (!::IsWindow(owner) || !IsAcxWindow(owner)) return S_FALSE;
            return CreateTestObjFromWindow(owner, parent);
        }
        id.GetLong(L"hwnd", &value);
        HWND window = ToWindow(value);
        if (!::IsWindow(window)) return S_FALSE;
        if (!IsChildWindow(window)) {
            HWND owner = ::GetWindow(window, GW_OWNER);
            if (!::IsWindow(owner) || !IsAcxWindow(owner)) return S_FALSE;
            const HRESULT hr = CreateTestObjFromWindow(owner, parent);
            return FAILED(hr) ? S_FALSE : hr;
        }
        HWND start = IsNestedAcx(window) ? ::GetParent(::GetParent(window)) : ::GetParent(window);
        return ParentFromWindowChain(start, parent);
    });
}

HRESULT CAcxFactory::ParentFromWindowChain(HWND start, IDispatch** parent) {
    HWND candidate = start;
    for (int depth = 0; depth < kMaxWindowDepth; ++depth) {
        // Top-level windows are not candidates.
        if (!candidate || !IsChildWindow(candidate)) return S_FALSE;
        if (IsAcxWindow(candidate)) {
            if (IsNestedAcx(candidate)) candidate = ::GetParent(candidate);
            CComPtr<IDispatch> found;
            if (CreateTestObjFromWindow(candidate, found.Put()) == S_OK && found) {
                *parent = found.Detach();
                return S_OK;
            }
        }
        candidate = ::GetParent(candidate);
    }
    return S_FALSE;
}

HRESULT CAcxFactory::ParentFromSite(IDispatch* object, CComPtr<IDispatch>& parent) {
    parent.Release();
    if (!Site()) return S_FALSE;
    CComPtr<IUnknown> found;
    const HRESULT hr = Site()->CreateTestObj(object, found.Put());
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE || !found) return S_FALSE;
    if (FAILED(kcom::QueryTo(found.get(), parent.Put())) || !parent) return S_FALSE;
    return S_OK;
}

HRESULT CAcxFactory::ParentThroughTemporaryWindow(IDispatch* object, HWND container, LONG cookie,
                                                  CComPtr<IDispatch>& parent) {
    // An answer that does not reach the hook leaves the rectangle as it was: it starts empty.
    RECT rect{};
    if (m_agent) m_agent->GetWlsSize(container, cookie, &rect);
    CTemporaryWindow temporary(container, rect);
    if (!temporary.get()) return S_FALSE;
    CRuntimeId temporaryId = WindowId(temporary.get());
    if (!static_cast<IRuntimeID2*>(temporaryId)) return E_OUTOFMEMORY;
    CComVariant saved;
    ReadProp(object, L"objectid", saved.Put());
    WriteProp(object, L"objectid", AsVariant(temporaryId));
    const HRESULT hr = ParentFromSite(object, parent);
    WriteProp(object, L"objectid", saved);
    return hr;
}

HRESULT CAcxFactory::InitObject(CRuntimeId& id, IDispatch* object) {
    return kcom::Guard([&]() -> HRESULT {
        if (!object) return E_POINTER;
        CComVariant current;
        ReadProp(object, L"parent", current.Put());
        if (current.vt == VT_DISPATCH) return S_OK;

        CComPtr<IDispatch> parent;
        HRESULT hr = S_FALSE;
        if (id.GetPackage() == m_windowlessFormat) {
            long container = 0, cookie = 0;
            id.GetLong(L"hwnd", &container);
            id.GetLong(L"punknown", &cookie);
            if (IsAcxWindow(ToWindow(container)))
                hr = CreateTestObjFromWindow(ToWindow(container), parent.Put());
            else
                hr = ParentFromSite(object, parent);
            if (hr != S_OK) hr = ParentThroughTemporaryWindow(object, ToWindow(container), cookie, parent);
        } else {
            hr = ParentFromSite(object, parent);
        }
        if (FAILED(hr)) return hr;
        if (hr == S_FALSE || !parent) return S_FALSE;
        hr = WriteProp(object, L"parent", CComVariant(parent.get()));
        return FAILED(hr) ? hr : S_OK;
    });
}

// ---- the class of a control ----

void CAcxFactory::ClassIdsForProgId(BSTR progId, CLSID* primary, CLSID* fallback) const {
    CLSID control = GUID_NULL;
    if (SUCCEEDED(::CLSIDFromProgID(progId, &control)) || SUCCEEDED(::CLSIDFromString(progId, &control))) {
        const CLSID custom = CustomClassOf(control);
        if (!::IsEqualCLSID(custom, GUID_NULL)) *primary = custom;
    }
    *fallback = CLSID_KorActiveX;
}

HRESULT CAcxFactory::GetClassIds(CRuntimeId& id, CLSID* primary, CLSID* fallback) {
    return kcom::Guard([&]() -> HRESULT {
        if (!primary || !fallback) return E_POINTER;
        const UINT package = id.GetPackage();
        long value = 0;
        CComBSTR progId;
        if (package == m_windowlessFormat) {
            long cookie = 0;
            id.GetLong(L"hwnd", &value);
            id.GetLong(L"punknown", &cookie);
            if (!m_agent || FAILED(m_agent->WlsProgIDQuery(ToWindow(value), cookie, progId.Put())) ||
                progId.Length() == 0)
                return E_FAIL;
            ClassIdsForProgId(progId, primary, fallback);
            return S_OK;
        }
        if (package != WindowFormat()) return E_FAIL;

        id.GetLong(L"hwnd", &value);
        HWND window = ToWindow(value);
        if (!IsComboInImageCombo(window) && IsStandardOrMappedWindow(window)) return S_FALSE;
        if (!m_agent) return E_FAIL;
        if (FAILED(m_agent->AcxProgIDQuery(window, progId.Put())) || progId.Length() == 0) {
            if (!IsComboInImageCombo(window)) return S_FALSE;
            // The combo box of an image combo is the image combo's.
            window = ::GetParent(window);
            kcom::ThrowIfFailed(
                id.PutVariantValue(L"hwnd", CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(window)))));
            if (FAILED(m_agent->AcxProgIDQuery(window, progId.Put())) || progId.Length() == 0) return E_FAIL;
        }
        ClassIdsForProgId(progId, primary, fallback);
        auto recorded = RecordedWindowMap.find(window);
        if (recorded != RecordedWindowMap.end()) recorded->second = 0;
        return S_OK;
    });
}

HRESULT CAcxFactory::GetClassNameForId(CRuntimeId& id, BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    CLSID primary = GUID_NULL, fallback = GUID_NULL;
    const HRESULT hr = GetClassIds(id, &primary, &fallback);
    if (hr != S_OK) return hr;
    return ClassNameFromClsid(::IsEqualCLSID(primary, GUID_NULL) ? fallback : primary, name);
}
