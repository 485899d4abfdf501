// The factory's record pipeline, the skip lists and the class map.
#include <cstring>
#include <cwctype>
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "com/Handles.h"
#include "factory/StdFactoryBase.h"
#include "factory/WindowRecord.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

constexpr wchar_t kSkipClassesKey[] = L"Packages\\StdPackage\\Common\\SkipRecordClasses";
constexpr wchar_t kSkipTitlesKey[] = L"Packages\\StdPackage\\Common\\SkipRecordTitles";
constexpr wchar_t kClassMapKey[] = L"Packages\\StdPackage\\ClassMap";
constexpr wchar_t kRunPrompt[] =
    L"Type the name of a program, folder, document, or Internet resource, and Windows will open it for you.";
// Window classes and texts are read up to 255 characters.
constexpr int kNameBuffer = 256;
// The parent walk ends at a top-level window; the cap only guards against windows that change
// while they are walked.
constexpr int kMaxWindowDepth = 256;

bool IsMenuMessage(WORD message) noexcept {
    return message == WM_INITMENUPOPUP || message == WM_CONTEXTMENU || message == WM_MENUSELECT ||
           message == WM_INITMENU || message == WM_ENTERMENULOOP;
}

std::wstring Lowered(const wchar_t* text, size_t length) {
    std::wstring lowered(text, length);
    for (wchar_t& c : lowered) c = static_cast<wchar_t>(std::towlower(c));
    return lowered;
}

bool ClassOf(HWND window, std::wstring& out) {
    wchar_t name[kNameBuffer] = {};
    const int length = ::GetClassNameW(window, name, kNameBuffer);
    if (length <= 0) return false;
    out.assign(name, static_cast<size_t>(length));
    return true;
}

std::wstring TextOf(HWND window) {
    wchar_t text[kNameBuffer] = {};
    const int length = ::GetWindowTextW(window, text, kNameBuffer);
    return std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0);
}

// The system's Run dialog: recording there would record the user starting the application.
bool IsRunDialog(HWND window) {
    std::wstring cls;
    if (!ClassOf(window, cls) || cls != L"#32770" || TextOf(window) != L"Run") return false;
    for (HWND child = ::FindWindowExW(window, nullptr, L"STATIC", nullptr); child;
         child = ::FindWindowExW(window, child, L"STATIC", nullptr))
        if (TextOf(child) == kRunPrompt) return true;
    return false;
}

}  // namespace

// ---- IKorDataTarget ----

STDMETHODIMP CStdFactoryBase::ReceiveData(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet) {
    return kcom::Guard([&]() -> HRESULT {
        if (!mdRet) return E_POINTER;
        *mdRet = kNotMine;
        if (!format || !medium) return E_POINTER;
        HRESULT hr = PreCheckRecord(format, medium, mdRet);
        if (FAILED(hr)) return hr;
        if (hr == S_FALSE) return S_OK;
        CRuntimeId id;
        if (HandleRecord(format, medium, mdRet, id) != S_OK) return S_OK;
        if (!FilterRecord(format, medium, mdRet, id)) return S_OK;
        CComPtr<IDispatch> object;
        hr = CreateTestObjFromRuntimeId(id, object.Put());
        if (hr == S_FALSE) {
            *mdRet = kNotRecorded;
            return S_OK;
        }
        if (SUCCEEDED(hr) && object) {
            const HRESULT handed = HandOver(object, mdRet);
            if (FAILED(handed)) return handed;
        }
        return hr;
    });
}

HRESULT CStdFactoryBase::HandOver(IDispatch* object, ULONG* mdRet) {
    KorClassDescriptor descriptor{};
    HRESULT hr = GetClassDescriptor(object, &descriptor);
    if (FAILED(hr)) return hr;
    if (!m_site2) return S_OK;
    CComPtr<IKorDataTarget> target;
    hr = kcom::QueryTo(object, target.Put());
    if (FAILED(hr)) return hr;
    hr = m_site2->ReceiveRecord(target, descriptor);
    if (FAILED(hr)) return hr;
    *mdRet = kHandedOver;
    return S_OK;
}

HRESULT CStdFactoryBase::PreCheckRecord(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet) {
    if (!format || !medium) return E_POINTER;
    const UINT cf = format->cfFormat;
    if (cf == m_cfSofHacklata || cf == m_cfTchilatHacklata) {
        CacheClear();
        return S_FALSE;
    }
    if (cf == m_cfRecordedSteps) {
        HandleRecordedStep(format, medium, mdRet);
        return S_FALSE;
    }
    if (!IsOwnFormat(cf)) return S_FALSE;
    if (cf != m_windowFormat) return S_OK;
    if (!medium->hGlobal) return E_POINTER;
    const CWindowRecord record(medium->hGlobal);
    if (record.Message16() == WM_DESTROY && record.Window()) {
        CRuntimeId id = WindowId(record.Window());
        CacheRemove(id);
        return S_FALSE;
    }
    return S_OK;
}

HRESULT CStdFactoryBase::HandleRecord(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet, CRuntimeId& out) {
    if (!format || !medium || !mdRet) return E_POINTER;
    if (format->cfFormat != m_windowFormat) {
        *mdRet = kNotRecorded;
        return E_FAIL;
    }
    if (!medium->hGlobal) return E_POINTER;
    const CWindowRecord record(medium->hGlobal);
    if (IsMenuMessage(record.Message16())) return S_FALSE;
    HWND window = nullptr;
    switch (record.Message()) {
    case WM_NOTIFY:
        window = NotifySource(record.Window(), record.LParam());
        break;
    case WM_COMMAND:
        window = record.LParam() ? CWindowRecord::ToWindow(record.LParam()) : record.Window();
        break;
    default:
        window = record.Window();
        break;
    }
    if (!window) {
        *mdRet = kNotRecorded;
        return E_FAIL;
    }
    out = WindowId(window);
    return static_cast<IRuntimeID2*>(out) ? S_OK : E_OUTOFMEMORY;
}

// The notifying window, read from the header that the record's lParam points to in the memory of
// the process that owns the record's window.
HWND CStdFactoryBase::NotifySource(HWND window, DWORD address) const {
    static_assert(sizeof(NMHDR) == 12, "the header read from the other process");
    DWORD processId = 0;
    if (!::GetWindowThreadProcessId(window, &processId) || !processId) return nullptr;
    kcom::CHandle process(::OpenProcess(PROCESS_VM_READ, FALSE, processId));
    if (!process) return nullptr;
    NMHDR header{};
    SIZE_T read = 0;
    if (!::ReadProcessMemory(process, reinterpret_cast<LPCVOID>(static_cast<UINT_PTR>(address)), &header,
                             sizeof(header), &read) ||
        read != sizeof(header))
        return nullptr;
    return header.hwndFrom;
}

bool CStdFactoryBase::FilterRecord(FORMATETC*, STGMEDIUM*, ULONG*, CRuntimeId) { return false; }

HRESULT CStdFactoryBase::HandleRecordedStep(FORMATETC*, STGMEDIUM* medium, ULONG*) {
    return kcom::Guard([&]() -> HRESULT {
        if (!medium || !medium->hGlobal) return E_POINTER;
        IDispatch* raw = nullptr;
        std::memcpy(&raw, medium->hGlobal, sizeof(raw));
        const CComPtr<IDispatch> object(raw);
        if (!object) return E_POINTER;
        CComVariant visible;
        ReadProp(object, L"visible", visible.Put());
        if (visible.vt != VT_EMPTY) return S_OK;
        CComVariant objectId;
        if (FAILED(ReadProp(object, L"objectid", objectId.Put())) || objectId.vt == VT_ERROR) return E_FAIL;
        const CRuntimeId id(objectId);
        if (id.GetPackage() != m_windowFormat) return S_FALSE;
        long window = 0;
        if (FAILED(id.GetLong(L"hwnd", &window)) || !window) return S_FALSE;
        if (!::IsWindowVisible(CWindowRecord::ToWindow(static_cast<DWORD>(window))))
            WriteProp(object, L"visible", CComVariant(false));
        return S_OK;
    });
}

// ---- skip lists ----

HRESULT CStdFactoryBase::LoadSkipLists(IObjectRack* rack, const wchar_t* extraClassesKey,
                                       const wchar_t* extraTitlesKey) {
    return kcom::Guard([&]() -> HRESULT {
        if (!rack) return S_OK;
        IKorSettings* settings = ApplicationSettings();
        if (!settings) return S_OK;
        SkipMap classes, titles;
        ReadSkipList(settings, kSkipClassesKey, classes);
        if (extraClassesKey && *extraClassesKey) ReadSkipList(settings, extraClassesKey, classes);
        ReadSkipList(settings, kSkipTitlesKey, titles);
        if (extraTitlesKey && *extraTitlesKey) ReadSkipList(settings, extraTitlesKey, titles);
        m_skipClasses.swap(classes);
        m_skipTitles.swap(titles);
        return S_OK;
    });
}

void CStdFactoryBase::ReadSkipList(IKorSettings* settings, const wchar_t* key, SkipMap& map) {
    kcom::CComSafeArray values;
    if (FAILED(settings->GetValues(CComBSTR(key), values.Put())) || !IsVariantTable(values)) return;
    CKorSafeArray table;
    table.Attach(values, false);
    if (table.GetColumnCount() < 2) return;
    const ULONG rows = table.GetRowCount();
    for (ULONG row = 0; row < rows; ++row) {
        const CComVariant name = Cell(table, row, 0), value = Cell(table, row, 1);
        if (name.vt != VT_BSTR || value.vt != VT_I4) continue;
        // The first entry of a name stays.
        map.emplace(Lowered(name.bstrVal, ::SysStringLen(name.bstrVal)), value.lVal);
    }
}

bool CStdFactoryBase::SkipsAt(const SkipMap& map, const std::wstring& key, bool startingWindow) {
    auto it = map.find(Lowered(key.data(), key.size()));
    if (it == map.end()) return false;
    return it->second == kSkipAtAnyLevel || (it->second == kSkipWindowOnly && startingWindow);
}

bool CStdFactoryBase::IsSkippedWindow(HWND window) {
    try {
        HWND current = window;
        for (int depth = 0; current && depth < kMaxWindowDepth; ++depth) {
            const bool starting = depth == 0;
            std::wstring cls;
            if (ClassOf(current, cls) && SkipsAt(m_skipClasses, cls, starting)) return true;
            if (!m_skipTitles.empty() && SkipsAt(m_skipTitles, TextOf(current), starting)) return true;
            if (!(::GetWindowLongW(current, GWL_STYLE) & WS_CHILD)) return IsRunDialog(current);
            current = ::GetParent(current);
        }
        return false;
    } catch (...) {
        return false;
    }
}

// ---- the class map ----

HRESULT CStdFactoryBase::GetObjectClass(HWND window, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return kcom::Guard([&]() -> HRESULT {
        HRESULT hr = E_FAIL;
        CComBSTR mapped;
        const CComBSTR objectClass = QueryObjectClass(window);
        if (objectClass.Length() > 0) hr = LookUpClassMap(objectClass, mapped.Put());
        if (FAILED(hr) || mapped.Length() == 0) {
            std::wstring cls;
            if (ClassOf(window, cls)) hr = LookUpClassMap(CComBSTR(cls.c_str()), mapped.Put());
        }
        *out = mapped.Detach();
        return hr;
    });
}

kcom::CComBSTR CStdFactoryBase::QueryObjectClass(HWND window) {
    IKorQuery* engine = QueryEngine();
    CRuntimeId id = WindowId(window);
    if (!engine || !static_cast<IRuntimeID2*>(id)) return CComBSTR();
    CKorSafeArray table(1, 3, VT_VARIANT);
    CComVariant name(L"Object Class");
    kcom::ThrowIfFailed(table.PutElement(&name, 0, 0));
    engine->QueryValue(id, table.psa);
    CComVariant value = Cell(table, 0, 1);
    if (value.vt != VT_BSTR) return CComBSTR();
    value.vt = VT_EMPTY;
    return CComBSTR::Take(value.bstrVal);
}

HRESULT CStdFactoryBase::LookUpClassMap(BSTR name, BSTR* out) {
    *out = nullptr;
    IKorSettings* settings = ApplicationSettings();
    if (!settings) return E_FAIL;
    CComVariant value;
    const HRESULT hr = settings->GetValue(CComBSTR(kClassMapKey), name, value.Put(), 0, 0);
    if (FAILED(hr)) return hr;
    if (value.vt != VT_BSTR) return E_FAIL;
    value.vt = VT_EMPTY;
    *out = value.bstrVal;
    return hr;
}
