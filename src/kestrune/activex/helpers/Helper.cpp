#include "activex/helpers/Helper.h"
#include "activex/core/KorActiveX.h"
#include "environment/AcxQuery.h"
#include "environment/LoadTimeValues.h"

namespace {
constexpr UINT kMakeVisibleText = 110;  // "MakeVisible" in the package's string table
constexpr UINT kNoResource = static_cast<UINT>(-1);

// The package's own resources lie in the module of this code.
HMODULE PackageModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&PackageModule), &module);
    return module;
}

}  // namespace

HRESULT Helper::MakeVisible(bool report) {
    const HMODULE module = PackageModule();
    if (report) m_owner->ReportMethodEvent(kMakeVisibleText, module, kStatusDone, nullptr, kNoResource, nullptr);
    const HRESULT hr = MakeVisibleCore();
    if (report)
        m_owner->ReplayReport(kMakeVisibleText, module, SUCCEEDED(hr) ? kStatusDone : kStatusStepFailed, nullptr,
                              nullptr, nullptr, kNoResource, nullptr);
    return hr;
}

HRESULT Helper::NamesFromAnswer(HRESULT answered, kcom::CComVariant& names, BSTR* out) {
    if (FAILED(answered)) return answered;
    if (names.vt != VT_BSTR) return S_OK;
    *out = names.bstrVal;
    names.vt = VT_EMPTY;
    return S_OK;
}

HRESULT Helper::ScreenPosition(POINT& topLeft) {
    kcom::CComBSTR name(L"size in pixels");
    VARIANT value;  // its data word is the array itself: only the reader below may touch it
    ::VariantInit(&value);
    const HRESULT hr = m_owner->QueryObjValue(&value, nullptr, name);
    if (FAILED(hr)) {
        CAcxQuery::ReleaseSizeInPixels(&value);
        return hr;
    }
    LONG cells[4] = {};
    if (FAILED(CAcxQuery::TakeSizeInPixels(&value, cells))) {
        CAcxQuery::ReleaseSizeInPixels(&value);
        ::VariantClear(&value);
        return E_UNEXPECTED;
    }
    topLeft = {cells[CAcxQuery::SizeLeft], cells[CAcxQuery::SizeTop]};
    return S_OK;
}

HRESULT Helper::EngineClick(POINT screen, int button, bool doubleClick) {
    kcom::CComPtr<IUnknown> found;
    HRESULT hr = m_owner->GetReplayEngine(L"DeviceReplayEngine", found.Put());
    if (FAILED(hr)) return hr;
    kcom::CComPtr<IKorDeviceReplay> engine;
    hr = kcom::QueryTo(found.get(), engine.Put());
    if (FAILED(hr) || !engine) return FAILED(hr) ? hr : E_FAIL;
    const long code = button == 0 ? 0 : 2;
    return doubleClick ? engine->DblClick(screen.x, screen.y, code) : engine->Click(screen.x, screen.y, code);
}

HRESULT Helper::FindHandles(bool windowless) {
    kcom::CComPtr<IUnknown> found;
    const HRESULT hr = m_owner->ITestObject_FindObjectId(found.Put(), nullptr);
    if (FAILED(hr) || !found) return hr;
    auto take = [&](const auto& values) {
        long value = 0;
        if (SUCCEEDED(values.GetLong(L"hwnd", &value)))
            m_owner->m_window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
        m_owner->m_cookie = SUCCEEDED(values.GetLong(L"punknown", &value)) ? value : 0;
    };
    CRuntimeId id{kcom::CComVariant(found.get())};
    // A windowed control can be found as one that the hook knows by a cookie inside its
    // container: the identifier itself then names the container and the cookie.
    if (!windowless) {
        take(id);
        return hr;
    }
    CPackageId package;
    if (SUCCEEDED(id.GetPackageId(g_cfWindowlessAcxControl, package)) && package) take(package);
    return hr;
}
