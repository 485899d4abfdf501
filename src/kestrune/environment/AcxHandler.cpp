#include "environment/AcxHandler.h"
#include <ocidl.h>
#include <cwchar>
#include <set>
#include <utility>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "com/Handles.h"
#include "com/TypeInfoDesc.h"

namespace {

constexpr LCID kNameLocale = 0x800;
constexpr LCID kInvokeLocale = 0x400;
// More connections than any control has: an enumerator that hands out new ones forever stops here.
constexpr size_t kMaxConnections = 4096;

CThreadContextSwitch* volatile g_switcher = nullptr;

template <class F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

HRESULT ReadNamedProperty(IDispatch* object, const wchar_t* name, VARIANT* value) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, kNameLocale, &id))) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{};
    return object->Invoke(id, IID_NULL, kInvokeLocale, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
}

HRESULT ReadLong(const std::wstring& text, kcom::CComVariant& out) {
    long number = 0;
    if (std::swscanf(text.c_str(), L"%ld", &number) != 1) return DISP_E_TYPEMISMATCH;
    out = kcom::CComVariant(number);
    return S_OK;
}

}  // namespace

CThreadContextSwitch* FindThreadContextSwitch() noexcept {
    if (g_switcher) return g_switcher;
    HMODULE module = ::GetModuleHandleW(L"Quillon.dll");  // never loaded by the package itself
    if (!module) return nullptr;
    if (auto hmodule = Export<PFN_CThreadContextSwitch_GetHModule>(module, "CThreadContextSwitch_GetHModule")) {
        module = hmodule();
        if (!module) return nullptr;
    }
    auto instance = Export<PFN_CThreadContextSwitch_GetInstance>(module, "CThreadContextSwitch_GetInstance");
    if (!instance) return nullptr;
    if (CThreadContextSwitch* found = instance()) g_switcher = found;
    return g_switcher;
}

void CAcxHandler::Attach(IDispatch* control) {
    dispatch_ = control;
    creatorThread_ = ::GetCurrentThreadId();
    owningThread_ = creatorThread_;
    kcom::CComQIPtr<IOleWindow> window(static_cast<IUnknown*>(control));
    HWND wnd = nullptr;
    if (window && SUCCEEDED(window->GetWindow(&wnd)) && wnd) {
        if (const DWORD thread = ::GetWindowThreadProcessId(wnd, nullptr)) owningThread_ = thread;
    }
}

CThreadContextSwitch* CAcxHandler::SwitcherFor(BOOL allowSwitch) const {
    if (!allowSwitch) return nullptr;
    CThreadContextSwitch* switcher = FindThreadContextSwitch();
    return switcher && switcher->NeedsSwitch(owningThread_) ? switcher : nullptr;
}

// ---- properties ----

HRESULT CAcxHandler::ParsePropertyPath(BSTR path, PathSegment& segment) {
    if (!path) return E_INVALIDARG;
    const std::wstring text(path, ::SysStringLen(path));
    segment = PathSegment{};
    const size_t dot = text.find(L'.');
    const size_t open = text.find(L'(');
    const size_t close = open == std::wstring::npos ? std::wstring::npos : text.find(L')', open);
    const auto plain = [&](size_t end) {
        segment.name = text.substr(0, end);
        if (end != std::wstring::npos) segment.rest = text.substr(end + 1);
        return S_OK;
    };
    if (open == std::wstring::npos || close == std::wstring::npos) return plain(dot);
    if (dot != std::wstring::npos && dot < open) return plain(dot);
    segment.name = text.substr(0, open);
    const std::wstring inside = text.substr(open + 1, close - open - 1);
    const size_t comma = inside.find(L',');
    kcom::CComVariant first;
    HRESULT hr = ReadLong(inside.substr(0, comma), first);
    if (FAILED(hr)) return hr;
    if (comma == std::wstring::npos) {
        segment.args.push_back(std::move(first));
    } else {
        kcom::CComVariant second;
        hr = ReadLong(inside.substr(comma + 1), second);
        if (FAILED(hr)) return hr;
        segment.args.push_back(std::move(second));  // DISPPARAMS carry the last argument first
        segment.args.push_back(std::move(first));
    }
    const size_t after = text.find(L'.', close);
    if (after != std::wstring::npos) segment.rest = text.substr(after + 1);
    return S_OK;
}

void CAcxHandler::ToDisplayText(VARIANT* value) {
    const VARTYPE vt = value->vt;
    const wchar_t* text = nullptr;
    if (vt == VT_EMPTY || vt == VT_NULL) {
        ::VariantClear(value);
        return;
    }
    if (vt == VT_BOOL) text = value->boolVal ? L"True" : L"False";
    else if (vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == (VT_BYREF | VT_DISPATCH) || vt == (VT_BYREF | VT_UNKNOWN))
        text = L"Object Reference";
    else if (vt & VT_ARRAY) text = L"SAFEARRAY";
    if (text) kcom::CComVariant(text).Detach(value);
}

HRESULT CAcxHandler::GetProperty(BSTR path, VARIANT* value, BOOL allowSwitch) {
    return kcom::Guard([&]() -> HRESULT {
        if (!dispatch_) return E_FAIL;
        if (CThreadContextSwitch* switcher = SwitcherFor(allowSwitch)) {
            HRESULT result = E_FAIL;
            HRESULT hr = switcher->Run(this, owningThread_, 1, path, value, nullptr, &result);
            return FAILED(hr) ? hr : result;  // what the read in the control's thread gave
        }
        if (!value) return E_POINTER;
        ::VariantInit(value);
        PathSegment segment;
        HRESULT hr = ParsePropertyPath(path, segment);
        if (FAILED(hr)) return hr;
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[1] = {segment.name.data()};
        hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, kNameLocale, &id);
        if (FAILED(hr)) return hr;
        DISPPARAMS params{segment.args.empty() ? nullptr : segment.args.data(), nullptr,
                          static_cast<UINT>(segment.args.size()), 0};
        hr = dispatch_->Invoke(id, IID_NULL, kNameLocale, DISPATCH_PROPERTYGET, &params, value, nullptr, nullptr);
        if (FAILED(hr)) return hr;
        if (value->vt == VT_DISPATCH && value->pdispVal && !segment.rest.empty()) {
            dispatch_ = value->pdispVal;
            ::VariantClear(value);
            kcom::CComBSTR rest(segment.rest.c_str());
            return GetProperty(rest, value, TRUE);
        }
        ToDisplayText(value);
        return hr;
    });
}

void CAcxHandler::GetMemberList(BSTR* names, BOOL allowSwitch) {
    kcom::Guard([&]() -> HRESULT {
        if (CThreadContextSwitch* switcher = SwitcherFor(allowSwitch)) {
            HRESULT result = S_OK;
            return switcher->Run(this, owningThread_, 0, names, nullptr, nullptr, &result);
        }
        if (!names) return E_POINTER;
        *names = nullptr;
        std::wstring list;
        UINT count = 0;
        kcom::CComPtr<ITypeInfo> info;
        kcom::CTypeAttr attr;
        if (dispatch_ && SUCCEEDED(dispatch_->GetTypeInfoCount(&count)) && count == 1 &&
            SUCCEEDED(dispatch_->GetTypeInfo(0, 0, info.Put())) && info && SUCCEEDED(kcom::GetTypeAttr(info, attr))) {
            const auto add = [&](MEMBERID id) {
                kcom::CComBSTR name;
                UINT got = 0;
                if (SUCCEEDED(info->GetNames(id, name.Put(), 1, &got)) && got && name != nullptr &&
                    std::wcscmp(name.c_str(), L"_NewEnum") != 0)
                    list.append(name.c_str()).push_back(L'\t');
            };
            for (UINT i = 0; i < attr->cVars; ++i) {
                kcom::CVarDesc var;
                if (SUCCEEDED(kcom::GetVarDesc(info, i, var))) add(var->memid);
            }
            for (UINT i = 0; i < attr->cFuncs; ++i) {
                kcom::CFuncDesc func;
                if (FAILED(kcom::GetFuncDesc(info, i, func)) || func->invkind != INVOKE_PROPERTYGET) continue;
                const bool readable =
                    func->cParams == 0 ||
                    (func->cParams == 1 && (func->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FRETVAL));
                if (readable) add(func->memid);
            }
        }
        if (!list.empty()) list.pop_back();
        *names = kcom::CComBSTR(list.c_str()).Detach();
        return S_OK;
    });
}

// ---- marshalling ----

HRESULT CAcxHandler::MarshalToStream(IStream** stream, IUnknown* object, HRESULT* result, BOOL allowSwitch) {
    return kcom::Guard([&]() -> HRESULT {
        if (!stream) return E_POINTER;
        if (!*stream && (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream)) || !*stream)) return E_FAIL;
        if (CThreadContextSwitch* switcher = SwitcherFor(allowSwitch)) {
            HRESULT stored = E_FAIL;
            HRESULT hr = switcher->Run(this, owningThread_, 3, stream, object, result, &stored);
            return FAILED(hr) ? hr : stored;
        }
        if (FAILED(::CoMarshalInterface(*stream, IID_IDispatch, object, MSHCTX_LOCAL, nullptr, MSHLFLAGS_NORMAL)))
            return E_FAIL;
        if (result) *result = S_OK;
        return S_OK;
    });
}

// ---- events ----

kcom::CComPtr<IDispatch> CAcxHandler::InnerObject() {
    kcom::CComVariant inner;
    kcom::CComBSTR name(L"Object");
    HRESULT hr = E_FAIL;
    if (CThreadContextSwitch* switcher = SwitcherFor(TRUE)) {
        HRESULT stored = E_FAIL;
        hr = switcher->Run(nullptr, owningThread_, 2, dispatch_.get(), name, &inner, &stored);
        if (SUCCEEDED(hr)) hr = stored;
    } else {
        hr = ReadNamedProperty(dispatch_, name, &inner);
    }
    if (SUCCEEDED(hr) && inner.vt == VT_DISPATCH && inner.pdispVal) return inner.pdispVal;
    return dispatch_;
}

HRESULT CAcxHandler::BuildEventMemberTable(IUnknown* object, const wchar_t* name, std::vector<EventMember>& table) {
    kcom::CComQIPtr<IProvideClassInfo> provider(object);
    if (!provider) return E_NOINTERFACE;
    kcom::CComPtr<ITypeInfo> coclass;
    HRESULT hr = provider->GetClassInfo(coclass.Put());
    if (FAILED(hr)) return hr;
    if (!coclass) return E_FAIL;
    kcom::CTypeAttr attr;
    hr = kcom::GetTypeAttr(coclass, attr);
    if (FAILED(hr)) return hr;
    if (attr->typekind != TKIND_COCLASS) return S_OK;
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        kcom::CComPtr<ITypeInfo> source;
        kcom::CTypeAttr sourceAttr;
        if (FAILED(coclass->GetImplTypeFlags(i, &flags)) || !(flags & IMPLTYPEFLAG_FSOURCE) ||
            FAILED(coclass->GetRefTypeOfImplType(i, &ref)) || FAILED(coclass->GetRefTypeInfo(ref, source.Put())) ||
            FAILED(kcom::GetTypeAttr(source, sourceAttr)))
            continue;
        for (UINT f = 0; f < sourceAttr->cFuncs; ++f) {
            kcom::CFuncDesc func;
            if (FAILED(kcom::GetFuncDesc(source, f, func))) continue;
            kcom::CComBSTR member;
            source->GetDocumentation(func->memid, member.Put(), nullptr, nullptr, nullptr);
            EventMember entry{member.c_str(), sourceAttr->guid, func->memid};
            if (!name) {
                table.push_back(std::move(entry));
            } else if (entry.name == name) {
                table.push_back(std::move(entry));
                return S_OK;
            }
        }
    }
    return S_OK;
}

HRESULT CAcxHandler::FireEvent(BSTR eventName, SAFEARRAY* arguments) {
    return kcom::Guard([&]() -> HRESULT {
        if (!dispatch_) return E_FAIL;
        kcom::CComPtr<IDispatch> object = InnerObject();
        if (!eventName || !object) return E_NOINTERFACE;
        std::vector<EventMember> table;
        HRESULT hr = BuildEventMemberTable(object, eventName, table);
        if (FAILED(hr)) return hr;
        if (table.empty()) return DISP_E_UNKNOWNNAME;
        const EventMember& event = table.front();
        kcom::CComQIPtr<IConnectionPointContainer> container(static_cast<IUnknown*>(object.get()));
        if (!container) return E_NOINTERFACE;
        kcom::CComPtr<IConnectionPoint> point;
        hr = container->FindConnectionPoint(event.source, point.Put());
        if (FAILED(hr)) return hr;
        kcom::CComPtr<IEnumConnections> connections;
        hr = point->EnumConnections(connections.Put());
        if (FAILED(hr)) return hr;
        if (!connections) return E_FAIL;

        // The arguments as they stand, the last first in DISPPARAMS; no array means none.
        std::vector<kcom::CComVariant> reversed;
        LONG lower = 0, upper = -1;
        if (arguments && arguments->cDims >= 1 && SUCCEEDED(::SafeArrayGetLBound(arguments, 1, &lower)) &&
            SUCCEEDED(::SafeArrayGetUBound(arguments, 1, &upper))) {
            for (LONG i = upper; i >= lower; --i) {
                kcom::CComVariant arg;
                LONG index[1] = {i};
                if ((arguments->fFeatures & FADF_VARIANT) != 0) kcom::ThrowIfFailed(::SafeArrayGetElement(arguments, index, &arg));
                reversed.push_back(std::move(arg));
            }
        }
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()),
                          0};
        // A connection is its sink and its cookie: a sink advised twice is two connections. One
        // that comes back again means the enumerator does not advance or wraps round.
        std::set<std::pair<IUnknown*, DWORD>> fired;
        while (fired.size() < kMaxConnections) {
            CONNECTDATA data{};
            ULONG fetched = 0;
            // A connection handed out is one connection, whatever the answer says: across processes
            // Wine's proxy reads the count and the HRESULT of this reply from bytes its stub never
            // wrote. So a connection is always taken (and released), and none ends the walk.
            connections->Next(1, &data, &fetched);
            if (!data.pUnk) break;
            kcom::CComPtr<IUnknown> sinkUnknown;
            sinkUnknown.Attach(data.pUnk);
            if (!fired.emplace(data.pUnk, data.dwCookie).second) break;
            kcom::CComPtr<IDispatch> sink;
            if (SUCCEEDED(sinkUnknown->QueryInterface(event.source, reinterpret_cast<void**>(sink.Put()))) && sink) {
                kcom::CComVariant ignored;
                sink->Invoke(event.id, IID_NULL, kInvokeLocale, DISPATCH_METHOD, &params, &ignored, nullptr, nullptr);
            }
        }
        return S_OK;
    });
}

HRESULT CAcxHandler::GetObjectMemberNames(SAFEARRAY** names) {
    return kcom::Guard([&]() -> HRESULT {
        if (!names) return E_POINTER;
        *names = nullptr;
        if (!dispatch_) return E_FAIL;
        kcom::CComPtr<IDispatch> object = InnerObject();
        std::vector<EventMember> table;
        HRESULT hr = BuildEventMemberTable(object, nullptr, table);
        if (FAILED(hr)) return hr;
        SAFEARRAYBOUND bound{static_cast<ULONG>(table.size()), 0};
        kcom::CComSafeArray list(::SafeArrayCreate(VT_VARIANT, 1, &bound));
        if (!list) return E_OUTOFMEMORY;
        for (LONG i = 0; i < static_cast<LONG>(table.size()); ++i) {
            if (table[i].name.empty()) return E_UNEXPECTED;
            kcom::CComVariant quoted((L"\"" + table[i].name + L"\"").c_str());
            kcom::ThrowIfFailed(::SafeArrayPutElement(list, &i, &quoted));
        }
        *names = list.Detach();
        return S_OK;
    });
}

// ---- windows ----

bool IsSameWindow(HWND child, HWND parent) {
    if (!child || !parent || ::GetParent(child) != parent) return false;
    if (::GetWindowLongW(child, GWL_WNDPROC) != ::GetWindowLongW(parent, GWL_WNDPROC)) return false;
    RECT a{}, b{};
    if (!::GetWindowRect(child, &a) || !::GetWindowRect(parent, &b) || !::EqualRect(&a, &b)) return false;
    kcom::CWholeWindowDC childDc(child), parentDc(parent);
    RECT boxA{}, boxB{};
    if (!childDc || !parentDc) return false;
    if (::GetClipBox(childDc, &boxA) != SIMPLEREGION || ::GetClipBox(parentDc, &boxB) != SIMPLEREGION) return false;
    return !::IsRectEmpty(&boxA) && !::IsRectEmpty(&boxB) && ::EqualRect(&boxA, &boxB);
}
