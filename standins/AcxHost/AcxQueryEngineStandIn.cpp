#include "AcxQueryEngineStandIn.h"
#include <cwchar>
#include <regex>
#include <string>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "kestrune.h"
#include "tables/KorSafeArray.h"
#include "tables/RuntimeId.h"

namespace standin {

namespace {

using kcom::CComVariant;

UINT Format(const wchar_t* name) noexcept { return ::RegisterClipboardFormatW(name); }
UINT WindowFormat() noexcept { return Format(L"FormaShelHalonotRegilim"); }
UINT WindowlessFormat() noexcept { return Format(L"Windowless ACX Control"); }

HWND ToWindow(long value) noexcept { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(value)); }

bool IsName(const VARIANT& v, const wchar_t* name) noexcept {
    return v.vt == VT_BSTR && v.bstrVal && _wcsicmp(v.bstrVal, name) == 0;
}

// Windows are wanted without a filter, or when it names the window format or the windowed
// ActiveX query format. The filter's cells are VARIANTs or plain 32-bit numbers.
bool WantsWindows(SAFEARRAY* formats) {
    if (!formats) return true;
    const bool variants = formats->cbElements == sizeof(VARIANT);
    CKorSafeArray variantCells;
    CKorPtrSafeArray numberCells;
    variantCells.Attach(formats, false);
    numberCells.Attach(formats, false);
    for (ULONG row = 0; row < variantCells.GetRowCount(); ++row) {
        LONG value = 0;
        CComVariant cell;
        if (variants) {
            if (FAILED(variantCells.GetElement(&cell, static_cast<LONG>(row), 0)) || FAILED(cell.ChangeType(VT_I4)))
                continue;
            value = cell.lVal;
        } else if (formats->cbElements != sizeof(LONG) ||
                   FAILED(numberCells.GetElement(&value, static_cast<LONG>(row), 0))) {
            continue;
        }
        const UINT format = static_cast<UINT>(value);
        if (format && (format == WindowFormat() || format == Format(L"FormatForQueryId_ActiveXTO"))) return true;
    }
    return false;
}

// The window of a container test object: the "hwnd" of the identifier it finds.
HWND ContainerWindow(IDispatch* container, QueryIdInfo* info) {
    kcom::CComPtr<ITestObject> object;
    if (!container || FAILED(container->QueryInterface(__uuidof(ITestObject), reinterpret_cast<void**>(object.Put()))))
        return nullptr;
    kcom::CComPtr<IUnknown> found;
    if (object->FindObjectId(found.Put(), info) != S_OK || !found) return nullptr;
    kcom::CComPtr<IRuntimeID> id;
    if (FAILED(found->QueryInterface(__uuidof(IRuntimeID), reinterpret_cast<void**>(id.Put())))) return nullptr;
    long window = 0;
    return SUCCEEDED(CRuntimeId(id.get()).GetLong(L"hwnd", &window)) ? ToWindow(window) : nullptr;
}

// Expected against actual: text compared exactly, or as a whole-text pattern (compare type bit
// 1); other values after conversion to the expected type.
bool Same(const VARIANT& expected, const VARIANT& actual, long compareType) {
    if (actual.vt == VT_EMPTY || actual.vt == VT_ERROR) return expected.vt == actual.vt;
    CComVariant converted;
    if (FAILED(converted.ChangeType(expected.vt, &actual))) return false;
    if (expected.vt == VT_BSTR) {
        const std::wstring want = expected.bstrVal ? expected.bstrVal : L"";
        const std::wstring got = converted.bstrVal ? converted.bstrVal : L"";
        if (!(compareType & 1)) return want == got;
        try {
            return std::regex_match(got, std::wregex(want));
        } catch (...) {
            return false;
        }
    }
    return VariantEqualExact(expected, converted);
}

BOOL CALLBACK CollectVisible(HWND window, LPARAM list) {
    if (::IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

struct TopLevelSearch {
    DWORD process;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM search) {
    auto* s = reinterpret_cast<TopLevelSearch*>(search);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == s->process && ::IsWindowVisible(window)) s->windows.push_back(window);
    return TRUE;
}

}  // namespace

void CAcxQueryEngineStandIn::AnswerOffsets(IRuntimeID* id, SAFEARRAY* table) {
    if (!id || !table) return;
    const CRuntimeId rid(id);
    long container = 0;
    if (rid.GetPackage() != WindowlessFormat() || FAILED(rid.GetLong(L"hwnd", &container))) return;
    CKorSafeArray rows;
    rows.Attach(table, false);
    for (ULONG row = 0; row < rows.GetRowCount(); ++row) {
        CComVariant name, value;
        rows.GetElement(&name, static_cast<LONG>(row), 0);
        rows.GetElement(&value, static_cast<LONG>(row), 1);
        const bool x = IsName(name, L"x");
        if ((!x && !IsName(name, L"y")) || value.vt != VT_EMPTY) continue;
        // The engines know the screen position; the container's client area is the reference.
        CKorSafeArray ask(2, 2, VT_VARIANT);
        CComVariant absX(L"abs_x"), absY(L"abs_y");
        ask.PutElement(&absX, 0, 0);
        ask.PutElement(&absY, 1, 0);
        for (auto& engine : engines_) engine->QueryValue(id, ask.psa);
        CComVariant left, top;
        ask.GetElement(&left, 0, 1);
        ask.GetElement(&top, 1, 1);
        if (FAILED(left.ChangeType(VT_I4)) || FAILED(top.ChangeType(VT_I4))) continue;
        POINT point{left.lVal, top.lVal};
        if (!::ScreenToClient(ToWindow(container), &point)) continue;
        CComVariant offset(static_cast<long>(x ? point.x : point.y));
        PutCell(table, 1, static_cast<LONG>(row), offset);
    }
}

bool CAcxQueryEngineStandIn::Matches(IRuntimeID* id, SAFEARRAY* description) {
    CKorSafeArray rows;
    rows.Attach(description, false);
    const ULONG n = rows.GetRowCount();
    if (!n) return false;
    CKorSafeArray values(n, 3, VT_VARIANT);
    for (ULONG row = 0; row < n; ++row) {
        CComVariant name;
        rows.GetElement(&name, static_cast<LONG>(row), 0);
        values.PutElement(&name, static_cast<LONG>(row), 0);
    }
    QueryValue(id, values.psa);
    for (ULONG row = 0; row < n; ++row) {
        CComVariant expected, actual, compareType;
        rows.GetElement(&expected, static_cast<LONG>(row), 1);
        rows.GetElement(&compareType, static_cast<LONG>(row), 4);
        values.GetElement(&actual, static_cast<LONG>(row), 1);
        if (!Same(expected, actual, compareType.vt == VT_I4 ? compareType.lVal : 0)) return false;
    }
    return true;
}

void CAcxQueryEngineStandIn::MatchWindows(SAFEARRAY* description, HWND root,
                                          std::vector<kcom::CComPtr<IUnknown>>& out) {
    std::vector<HWND> candidates;
    if (root) {
        ::EnumChildWindows(root, CollectVisible, reinterpret_cast<LPARAM>(&candidates));
    } else if (application_) {
        TopLevelSearch search{application_, {}};
        ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
        for (HWND top : search.windows) {
            candidates.push_back(top);
            ::EnumChildWindows(top, CollectVisible, reinterpret_cast<LPARAM>(&candidates));
        }
    }
    for (HWND window : candidates) {
        CRuntimeId id(WindowFormat());
        id.PutVariantValue(L"hwnd", CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(window))));
        if (Matches(id, description)) out.emplace_back(static_cast<IRuntimeID2*>(id));
    }
}

STDMETHODIMP CAcxQueryEngineStandIn::QueryIdFromContainer(SAFEARRAY* psaProp, IDispatch* pContainer,
                                                          SAFEARRAY** ppsaRO, QueryIdInfo* pInfo,
                                                          SAFEARRAY* psaFormats) {
    return kcom::Guard([&]() -> HRESULT {
        Log().Add(std::wstring(L"QueryIdFromContainer(") + (pContainer ? L"container" : L"(null)") + L")");
        if (!ppsaRO) return E_POINTER;
        *ppsaRO = nullptr;
        if (!psaProp) return E_INVALIDARG;
        std::vector<kcom::CComPtr<IUnknown>> found;
        for (auto& engine : engines_) {
            CKorPtrSafeArray ids;
            ids.Attach(nullptr, true);
            if (FAILED(engine->QueryIdFromContainer(psaProp, pContainer, &ids.psa, pInfo, psaFormats)) || !ids.psa)
                continue;
            for (ULONG row = 0; row < ids.GetRowCount(); ++row) {
                kcom::CComPtr<IUnknown> id;
                if (SUCCEEDED(ids.GetElement(id.Put(), static_cast<LONG>(row), 0)) && id) found.push_back(id);
            }
        }
        if (WantsWindows(psaFormats)) {
            const HWND root = ContainerWindow(pContainer, pInfo);
            if (root || !pContainer) MatchWindows(psaProp, root, found);
        }
        // The host's candidate list: VARIANT cells holding the run-time objects.
        CKorSafeArray table(static_cast<ULONG>(found.size()), 1, VT_VARIANT);
        for (size_t i = 0; i < found.size(); ++i) {
            kcom::CComVariant id(found[i].get());
            kcom::ThrowIfFailed(table.PutElement(&id, static_cast<LONG>(i), 0));
        }
        *ppsaRO = table.Detach();
        return S_OK;
    });
}

STDMETHODIMP CAcxQueryEngineStandIn::QueryIdFromSet(SAFEARRAY* psaProp, SAFEARRAY** ppsaRO) {
    return kcom::Guard([&]() -> HRESULT {
        Log().Add(L"QueryIdFromSet()");
        if (!ppsaRO) return E_POINTER;
        *ppsaRO = nullptr;
        for (auto& engine : engines_) {
            engine->QueryIdFromSet(psaProp, ppsaRO);
            if (*ppsaRO) break;
        }
        return S_OK;
    });
}

STDMETHODIMP CAcxQueryEngineStandIn::QueryValue(IRuntimeID* pRO, SAFEARRAY* psaProp) {
    return kcom::Guard([&]() -> HRESULT {
        for (auto& engine : engines_) engine->QueryValue(pRO, psaProp);
        AnswerOffsets(pRO, psaProp);
        // Values a test put win, and the call is logged there.
        return CQueryEngineStandIn::QueryValue(pRO, psaProp);
    });
}

STDMETHODIMP CAcxQueryEngineStandIn::QueryWlsIdsFromContainer(IDispatch* pContainer, long reserved,
                                                              SAFEARRAY** ppsaRO) {
    return kcom::Guard([&]() -> HRESULT {
        Log().Add(std::wstring(L"QueryWlsIdsFromContainer(") + (pContainer ? L"container" : L"(null)") + L")");
        if (!ppsaRO) return E_POINTER;
        *ppsaRO = nullptr;
        for (auto& engine : engines_) {
            kcom::CComPtr<IKorQuery2> second;
            if (FAILED(engine->QueryInterface(__uuidof(IKorQuery2), reinterpret_cast<void**>(second.Put())))) continue;
            return second->QueryWlsIdsFromContainer(pContainer, reserved, ppsaRO);
        }
        return E_NOTIMPL;
    });
}

STDMETHODIMP CAcxQueryEngineStandIn::RegisterQuery(BSTR progId, BSTR name, long arg1, long arg2, long arg3) {
    return kcom::Guard([&]() -> HRESULT {
        HRESULT hr = CQueryEngineStandIn::RegisterQuery(progId, name, arg1, arg2, arg3);
        if (FAILED(hr)) return hr;
        CLSID clsid = CLSID_NULL;
        kcom::CComPtr<IKorQuery> engine;
        for (const auto& [known, id] : known_)
            if (progId && _wcsicmp(known.c_str(), progId) == 0) clsid = id;
        HRESULT made = progId ? S_OK : E_INVALIDARG;
        if (progId && clsid == CLSID_NULL) made = ::CLSIDFromProgID(progId, &clsid);
        if (SUCCEEDED(made))
            made = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IKorQuery),
                                      reinterpret_cast<void**>(engine.Put()));
        if (FAILED(made) || !engine) {
            Log().Add(L"engine not created: " + std::to_wstring(made));
            return hr;
        }
        kcom::CComPtr<IObjectRackClient> client;
        if (rack_ && SUCCEEDED(engine->QueryInterface(__uuidof(IObjectRackClient), reinterpret_cast<void**>(client.Put()))))
            client->SetRack(rack_);
        engines_.push_back(engine);
        return hr;
    });
}

}  // namespace standin
