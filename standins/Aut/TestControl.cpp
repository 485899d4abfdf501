#include "TestControl.h"
#include <olectl.h>
#include <algorithm>
#include "com/ComError.h"
#include "com/ComVariant.h"

namespace {

struct CTypeInfos {
    kcom::CComPtr<ITypeInfo> dispatchHalf;   // handed out: what a client of the control sees
    kcom::CComPtr<ITypeInfo> interfaceHalf;  // invokes through the vtable
    kcom::CComPtr<ITypeInfo> coclass;
};
CTypeInfos g_types;

// A snapshot of the connections for one enumeration.
class CEnumConnections : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IEnumConnections {
public:
    BEGIN_COM_MAP(CEnumConnections)
        COM_INTERFACE_ENTRY(IEnumConnections)
    END_COM_MAP()

    std::vector<std::pair<DWORD, kcom::CComPtr<IUnknown>>> items;
    size_t next = 0;

    STDMETHOD(Next)(ULONG count, CONNECTDATA* out, ULONG* fetched) noexcept override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        for (; n < count && next < items.size(); ++n, ++next) {
            out[n].dwCookie = items[next].first;
            items[next].second.CopyTo(&out[n].pUnk);
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHOD(Skip)(ULONG count) noexcept override {
        next = std::min(items.size(), next + static_cast<size_t>(count));
        return next < items.size() ? S_OK : S_FALSE;
    }
    STDMETHOD(Reset)() noexcept override {
        next = 0;
        return S_OK;
    }
    STDMETHOD(Clone)(IEnumConnections** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return kcom::Guard([&] {
            kcom::CComObject<CEnumConnections>* copy = nullptr;
            HRESULT hr = kcom::CComObject<CEnumConnections>::CreateInstance(&copy);
            if (FAILED(hr)) return hr;
            kcom::CComPtr<IEnumConnections> hold(copy);
            copy->items = items;
            copy->next = next;
            *out = hold.Detach();
            return S_OK;
        });
    }
};

HRESULT CopyText(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

std::wstring InputLine(UINT message, WPARAM wParam, int x, int y) {
    static const std::map<UINT, const wchar_t*> names = {
        {WM_MOUSEMOVE, L"WM_MOUSEMOVE"},     {WM_LBUTTONDOWN, L"WM_LBUTTONDOWN"}, {WM_LBUTTONUP, L"WM_LBUTTONUP"},
        {WM_LBUTTONDBLCLK, L"WM_LBUTTONDBLCLK"}, {WM_RBUTTONDOWN, L"WM_RBUTTONDOWN"}, {WM_RBUTTONUP, L"WM_RBUTTONUP"},
        {WM_RBUTTONDBLCLK, L"WM_RBUTTONDBLCLK"}, {WM_MBUTTONDOWN, L"WM_MBUTTONDOWN"}, {WM_MBUTTONUP, L"WM_MBUTTONUP"},
        {WM_MBUTTONDBLCLK, L"WM_MBUTTONDBLCLK"}, {WM_KEYDOWN, L"WM_KEYDOWN"},     {WM_KEYUP, L"WM_KEYUP"},
        {WM_CHAR, L"WM_CHAR"},               {WM_SETFOCUS, L"WM_SETFOCUS"},       {WM_KILLFOCUS, L"WM_KILLFOCUS"},
    };
    auto it = names.find(message);
    if (it == names.end()) return {};
    std::wstring line = it->second;
    wchar_t detail[48];
    if (message >= WM_MOUSEFIRST && message <= WM_MBUTTONDBLCLK)
        swprintf(detail, 48, L" %d,%d", x, y);
    else if (message >= WM_KEYFIRST && message <= WM_CHAR)
        swprintf(detail, 48, L" 0x%X", static_cast<unsigned>(wParam));
    else
        detail[0] = 0;
    return line + detail;
}

}  // namespace

HRESULT CTestControl::LoadTypeLibrary(bool registerIt) {
    return kcom::Guard([&]() -> HRESULT {
        if (g_types.coclass) return S_OK;
        wchar_t path[MAX_PATH];
        if (!::GetModuleFileNameW(nullptr, path, MAX_PATH)) return HRESULT_FROM_WIN32(::GetLastError());
        kcom::CComPtr<ITypeLib> lib;
        HRESULT hr = ::LoadTypeLibEx(path, registerIt ? REGKIND_REGISTER : REGKIND_NONE, lib.Put());
        if (SUCCEEDED(hr)) hr = lib->GetTypeInfoOfGuid(IID_IKorTestControl, g_types.dispatchHalf.Put());
        HREFTYPE half = 0;
        if (SUCCEEDED(hr)) hr = g_types.dispatchHalf->GetRefTypeOfImplType(-1, &half);
        if (SUCCEEDED(hr)) hr = g_types.dispatchHalf->GetRefTypeInfo(half, g_types.interfaceHalf.Put());
        if (SUCCEEDED(hr)) hr = lib->GetTypeInfoOfGuid(CLSID_KorTestControl, g_types.coclass.Put());
        return hr;
    });
}

HRESULT CTestControl::Create(const CScenarioControl& facts, const std::wstring& name, HWND window, LONG cookie,
                             const RECT& rect, bool visible, CTestControlObject** out) {
    return kcom::Guard([&]() -> HRESULT {
        HRESULT hr = LoadTypeLibrary(false);
        if (FAILED(hr)) return hr;
        CTestControlObject* p = nullptr;
        hr = CTestControlObject::CreateInstance(&p);
        if (FAILED(hr)) return hr;
        kcom::CComPtr<CTestControlObject> hold(p);
        p->window_ = window;
        p->cookie_ = cookie;
        p->rect_ = rect;
        p->visible_ = visible;
        p->created_ = ::GetTickCount() | 1;
        p->name_ = name;
        p->progId_ = facts.progId;
        p->userType_ = facts.userType;
        p->caption_ = facts.caption;
        p->text_ = facts.text;
        *out = hold.Detach();
        return S_OK;
    });
}

void CTestControl::OnInput(UINT message, WPARAM wParam, int x, int y) {
    const std::wstring line = InputLine(message, wParam, x, y);
    if (line.empty()) return;
    log_.push_back(line);
    if (message == WM_LBUTTONUP) {
        VARIANTARG args[2];  // reversed: y, x
        args[0].vt = args[1].vt = VT_I4;
        args[0].lVal = y;
        args[1].lVal = x;
        DISPPARAMS params{args, nullptr, 2, 0};
        Fire(DISPID(1), params);
    }
}

void CTestControl::Fire(DISPID event, DISPPARAMS& params) {
    std::vector<kcom::CComPtr<IDispatch>> sinks;
    for (auto& s : sinks_) sinks.push_back(s.second);
    for (auto& sink : sinks)
        sink->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

void CTestControl::Changed() {
    DISPPARAMS none{};
    Fire(DISPID(2), none);
}

void CTestControl::Repaint(const RECT* windowlessArea) const {
    if (!cookie_) ::InvalidateRect(window_, nullptr, TRUE);
    else if (windowlessArea) ::InvalidateRect(window_, windowlessArea, TRUE);
}

STDMETHODIMP CTestControl::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP CTestControl::GetTypeInfo(UINT index, LCID, ITypeInfo** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return g_types.dispatchHalf.CopyTo(out);
}

STDMETHODIMP CTestControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
    return ::DispGetIDsOfNames(g_types.interfaceHalf, names, count, ids);
}

STDMETHODIMP CTestControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* excep, UINT* argErr) noexcept {
    if (!::IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return g_types.interfaceHalf->Invoke(static_cast<IKorTestControl*>(this), id, flags, params, result, excep, argErr);
}

STDMETHODIMP CTestControl::get_Text(BSTR* value) noexcept { return CopyText(text_, value); }

STDMETHODIMP CTestControl::put_Text(BSTR value) noexcept {
    return kcom::Guard([&] {
        text_ = value ? value : L"";
        Changed();
        return S_OK;
    });
}

STDMETHODIMP CTestControl::get_Caption(BSTR* value) noexcept { return CopyText(caption_, value); }

STDMETHODIMP CTestControl::put_Caption(BSTR value) noexcept {
    return kcom::Guard([&] {
        caption_ = value ? value : L"";
        if (!cookie_) ::SetWindowTextW(window_, caption_.c_str());
        Repaint(&rect_);
        Changed();
        return S_OK;
    });
}

STDMETHODIMP CTestControl::get_Value(LONG* value) noexcept {
    if (!value) return E_POINTER;
    *value = value_;
    return S_OK;
}

STDMETHODIMP CTestControl::put_Value(LONG value) noexcept {
    value_ = value;
    Changed();
    return S_OK;
}

STDMETHODIMP CTestControl::get_Enabled(VARIANT_BOOL* value) noexcept {
    if (!value) return E_POINTER;
    *value = enabled_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CTestControl::put_Enabled(VARIANT_BOOL value) noexcept {
    enabled_ = value != VARIANT_FALSE;
    if (!cookie_) ::EnableWindow(window_, enabled_);
    return S_OK;
}

STDMETHODIMP CTestControl::get_Name(BSTR* value) noexcept { return CopyText(name_, value); }

STDMETHODIMP CTestControl::get_Height(LONG* value) noexcept {
    if (!value) return E_POINTER;
    RECT r = rect_;
    if (!cookie_) ::GetWindowRect(window_, &r);
    *value = r.bottom - r.top;
    return S_OK;
}

STDMETHODIMP CTestControl::get_Item(LONG index, BSTR* value) noexcept {
    if (!value) return E_POINTER;
    *value = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return DISP_E_BADINDEX;
    return CopyText(items_[static_cast<size_t>(index)], value);
}

STDMETHODIMP CTestControl::put_Item(LONG index, BSTR value) noexcept {
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return DISP_E_BADINDEX;
    return kcom::Guard([&] {
        items_[static_cast<size_t>(index)] = value ? value : L"";
        return S_OK;
    });
}

STDMETHODIMP CTestControl::get_ListCount(LONG* value) noexcept {
    if (!value) return E_POINTER;
    *value = static_cast<LONG>(items_.size());
    return S_OK;
}

STDMETHODIMP CTestControl::AddItem(BSTR text, LONG* count) noexcept {
    if (!count) return E_POINTER;
    return kcom::Guard([&] {
        items_.push_back(text ? text : L"");
        *count = static_cast<LONG>(items_.size());
        return S_OK;
    });
}

STDMETHODIMP CTestControl::get_InputLog(BSTR* lines) noexcept {
    return kcom::Guard([&] {
        std::wstring joined;
        for (auto& line : log_) joined += (joined.empty() ? L"" : L"\n") + line;
        return CopyText(joined, lines);
    });
}

STDMETHODIMP CTestControl::ClearInputLog() noexcept {
    log_.clear();
    return S_OK;
}

STDMETHODIMP CTestControl::get_Visible(VARIANT_BOOL* value) noexcept {
    if (!value) return E_POINTER;
    *value = (cookie_ ? visible_ : ::IsWindowVisible(window_) != FALSE) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CTestControl::put_Visible(VARIANT_BOOL value) noexcept {
    if (!cookie_) {
        ::ShowWindow(window_, value ? SW_SHOWNA : SW_HIDE);
        return S_OK;
    }
    visible_ = value != VARIANT_FALSE;
    Repaint(&rect_);
    return S_OK;
}

STDMETHODIMP CTestControl::Move(LONG left, LONG top, LONG width, LONG height) noexcept {
    if (width < 0 || height < 0) return E_INVALIDARG;
    if (!cookie_) return ::MoveWindow(window_, left, top, width, height, TRUE) ? S_OK : E_FAIL;
    Repaint(&rect_);
    rect_ = {left, top, left + width, top + height};
    Repaint(&rect_);
    return S_OK;
}

STDMETHODIMP CTestControl::GetClassInfo(ITypeInfo** out) noexcept {
    if (!out) return E_POINTER;
    return g_types.coclass.CopyTo(out);
}

STDMETHODIMP CTestControl::GetGUID(DWORD kind, GUID* guid) noexcept {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = DIID_DKorTestControlEvents;
    return S_OK;
}

STDMETHODIMP CTestControl::EnumConnectionPoints(IEnumConnectionPoints** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CTestControl::FindConnectionPoint(REFIID iid, IConnectionPoint** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!::IsEqualIID(iid, DIID_DKorTestControlEvents)) return CONNECT_E_NOCONNECTION;
    *out = this;
    static_cast<IConnectionPoint*>(this)->AddRef();
    return S_OK;
}

STDMETHODIMP CTestControl::GetConnectionInterface(IID* iid) noexcept {
    if (!iid) return E_POINTER;
    *iid = DIID_DKorTestControlEvents;
    return S_OK;
}

STDMETHODIMP CTestControl::GetConnectionPointContainer(IConnectionPointContainer** out) noexcept {
    if (!out) return E_POINTER;
    *out = this;
    static_cast<IConnectionPointContainer*>(this)->AddRef();
    return S_OK;
}

STDMETHODIMP CTestControl::Advise(IUnknown* sink, DWORD* cookie) noexcept {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_INVALIDARG;
    return kcom::Guard([&]() -> HRESULT {
        kcom::CComPtr<IDispatch> events;
        if (FAILED(sink->QueryInterface(DIID_DKorTestControlEvents, reinterpret_cast<void**>(events.Put()))))
            return CONNECT_E_CANNOTCONNECT;
        sinks_[nextSink_] = events;
        *cookie = nextSink_++;
        return S_OK;
    });
}

STDMETHODIMP CTestControl::Unadvise(DWORD cookie) noexcept {
    return sinks_.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
}

STDMETHODIMP CTestControl::EnumConnections(IEnumConnections** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return kcom::Guard([&] {
        kcom::CComObject<CEnumConnections>* e = nullptr;
        HRESULT hr = kcom::CComObject<CEnumConnections>::CreateInstance(&e);
        if (FAILED(hr)) return hr;
        kcom::CComPtr<IEnumConnections> hold(e);
        for (auto& [id, sink] : sinks_) e->items.emplace_back(id, kcom::CComPtr<IUnknown>(sink.get()));
        *out = hold.Detach();
        return S_OK;
    });
}

STDMETHODIMP CTestControl::GetWindow(HWND* window) noexcept {
    if (!window) return E_POINTER;
    *window = window_;
    return S_OK;
}

STDMETHODIMP CTestControl::GetIdentity(BSTR* progId, BSTR* userType) noexcept {
    if (!progId || !userType) return E_POINTER;
    *progId = *userType = nullptr;
    return kcom::Guard([&] {
        kcom::CComBSTR p(progId_.c_str()), u(userType_.c_str());
        *progId = p.Detach();
        *userType = u.Detach();
        return S_OK;
    });
}

STDMETHODIMP CTestControl::GetSite(HWND* window, LONG* cookie) noexcept {
    if (!window || !cookie) return E_POINTER;
    *window = window_;
    *cookie = cookie_;
    return S_OK;
}

STDMETHODIMP CTestControl::GetPlacement(RECT* rect, BOOL* visible) noexcept {
    if (!rect || !visible) return E_POINTER;
    if (cookie_) {
        *rect = rect_;
        *visible = visible_;
        return S_OK;
    }
    if (!::GetWindowRect(window_, rect)) return HRESULT_FROM_WIN32(::GetLastError());
    ::MapWindowPoints(nullptr, ::GetParent(window_), reinterpret_cast<POINT*>(rect), 2);
    *visible = ::IsWindowVisible(window_);
    return S_OK;
}

STDMETHODIMP CTestControl::GetCreateTime(DWORD* time) noexcept {
    if (!time) return E_POINTER;
    *time = created_;
    return S_OK;
}
