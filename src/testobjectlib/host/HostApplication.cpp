#include "host/HostApplication.h"
#include <optional>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "host.h"

namespace {

HRESULT CreateHostApplication(IKorHostApplication** out) noexcept {
    kcom::CComPtr<IClassFactory> factory;
    HRESULT hr = ::CoGetClassObject(CLSID_KorHostApplication, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                    reinterpret_cast<void**>(factory.Put()));
    if (FAILED(hr)) return hr;
    if (!factory) return E_FAIL;
    hr = factory->CreateInstance(nullptr, IID_IKorHostApplication, reinterpret_cast<void**>(out));
    if (SUCCEEDED(hr) && !*out) hr = E_FAIL;
    return hr;
}

// A named value of the host application object.
HRESULT ReadHostValue(const wchar_t* name, kcom::CComVariant& value) {
    kcom::CComPtr<IKorHostApplication> app;
    HRESULT hr = CreateHostApplication(app.Put());
    if (FAILED(hr)) return hr;
    kcom::CComBSTR key(name);
    value.Clear();
    return app->GetValue(key, &value);
}

}  // namespace

int HostMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) noexcept {
    kcom::CComPtr<IKorHostApplication> app;
    if (FAILED(CreateHostApplication(app.Put())))
        return ::MessageBoxW(owner, text, caption ? caption : L"Nimbel", type);
    try {
        kcom::CComBSTR textB(text), captionB(caption);
        long answer = -1;
        HRESULT hr = app->ShowMessageBox(static_cast<long>(reinterpret_cast<LONG_PTR>(owner)), textB, captionB,
                                         static_cast<long>(type), &answer);
        return FAILED(hr) ? -1 : static_cast<int>(answer);
    } catch (...) {
        return -1;
    }
}

HWND GetHostWindowHandle() noexcept {
    try {
        kcom::CComVariant value;
        if (FAILED(ReadHostValue(L"WindowHandle", value))) return nullptr;
        if (value.vt == VT_EMPTY || FAILED(value.ChangeType(VT_I4))) return nullptr;
        return reinterpret_cast<HWND>(static_cast<LONG_PTR>(value.lVal));
    } catch (...) {
        return nullptr;
    }
}

bool GetInstallationDir(std::wstring& out) {
    static std::optional<std::wstring> kept;
    if (!kept) {
        kcom::CComVariant value;
        if (SUCCEEDED(ReadHostValue(L"Installation Dir", value)) && value.vt == VT_BSTR)
            kept.emplace(value.bstrVal ? value.bstrVal : L"", value.bstrVal ? ::SysStringLen(value.bstrVal) : 0);
    }
    out = kept ? *kept : std::wstring();
    return !out.empty();
}
