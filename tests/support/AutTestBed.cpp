#include "AutTestBed.h"
#include <algorithm>
#include "PelluceStub.h"
#include "com/ComPtr.h"

long AutRequest(EQuillonRequest request, HWND window, CAcxParamHelper& params, LONG cookie) {
    kcom::CComPtr<IOutputChannel> channel;
    HRESULT hr = PelluceStub_CreateChannel(5000, channel.Put());
    if (FAILED(hr)) return hr;
    params.hWnd = window;
    params.lCookie = cookie;
    return CPelluce::SendMessageByOCh(::RegisterWindowMessageW(kQuillonCarrierMessage), window,
                                      RegisterQuillonMessage(request), params, channel);
}

HRESULT AutControlDispatch(HWND window, LONG cookie, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CAcxParamHelper params;
    const long sent = AutRequest(EQuillonRequest::Hwnd2IDispatch, window, params, cookie);
    if (sent < 0) return sent;
    if (params.lResult != 1 || !params.pStream) return E_FAIL;
    LARGE_INTEGER zero{};
    HRESULT hr = params.pStream->Seek(zero, STREAM_SEEK_SET, nullptr);
    return FAILED(hr) ? hr : ::CoUnmarshalInterface(params.pStream, IID_IDispatch, reinterpret_cast<void**>(out));
}

namespace {

HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags, std::vector<kcom::CComVariant>& args,
               VARIANT* result) {
    if (!object) return E_POINTER;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::reverse(args.begin(), args.end());
    DISPID put = DISPID_PROPERTYPUT;
    const bool isPut = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{args.empty() ? nullptr : args.data(), isPut ? &put : nullptr, static_cast<UINT>(args.size()),
                      isPut ? 1u : 0u};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

}  // namespace

HRESULT DispGet(IDispatch* object, const wchar_t* name, VARIANT* value, std::vector<kcom::CComVariant> args) {
    return Invoke(object, name, DISPATCH_PROPERTYGET, args, value);
}

HRESULT DispPut(IDispatch* object, const wchar_t* name, const kcom::CComVariant& value) {
    std::vector<kcom::CComVariant> args{value};
    return Invoke(object, name, DISPATCH_PROPERTYPUT, args, nullptr);
}

HRESULT DispCall(IDispatch* object, const wchar_t* name, std::vector<kcom::CComVariant> args, VARIANT* result) {
    return Invoke(object, name, DISPATCH_METHOD, args, result);
}

std::vector<std::wstring> InputLog(IDispatch* control) {
    std::vector<std::wstring> lines;
    kcom::CComVariant log;
    if (FAILED(DispGet(control, L"InputLog", log.Put())) || log.vt != VT_BSTR || !log.bstrVal) return lines;
    const std::wstring text(log.bstrVal, ::SysStringLen(log.bstrVal));
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find(L'\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}
