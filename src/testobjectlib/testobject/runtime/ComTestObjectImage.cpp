// The object on the screen: its image captured to a file, and a highlight frame drawn over it.
#include <shlwapi.h>
#include <cwchar>
#include <string>
#include "capture/ScreenCapture.h"
#include "com/ComError.h"
#include "com/Handles.h"
#include "errors/ErrorInfoText.h"
#include "host/RackServices.h"
#include "tables/KorSafeArray.h"
#include "testobject/clock/TestObjectClock.h"
#include "testobject/core/ComTestObject.h"

namespace {

constexpr HRESULT kEmptyRectangle = static_cast<HRESULT>(0x80040206);

// The text of a settings item, when it is one.
std::wstring ItemText(IKorSettings* options, const wchar_t* name, bool* present) {
    kcom::CComVariant key(name);
    kcom::CComVariant value;
    *present = SUCCEEDED(options->get_Item(&key, value.Put())) && value.vt != VT_EMPTY;
    if (value.vt != VT_BSTR && FAILED(value.ChangeType(VT_BSTR))) return std::wstring();
    return value.bstrVal ? std::wstring(value.bstrVal, ::SysStringLen(value.bstrVal)) : std::wstring();
}

}  // namespace

void CComTestObject::MakeVisible() {
    kcom::CComPtr<IMakeObjVisible> visible;
    if (SUCCEEDED(InternalQueryInterface(__uuidof(IMakeObjVisible), reinterpret_cast<void**>(visible.Put()))) &&
        visible)
        visible->MakeVisible();
}

// The screen rectangle of a run-time object as the host's query engine reports it.
HRESULT CComTestObject::QueryScreenRect(IUnknown* runtimeObject, RECT* rect) {
    static const wchar_t* const names[4] = {L"abs_x", L"abs_y", L"width", L"height"};
    kcom::CComPtr<IKorQuery> engine;
    if (!Rack() || FAILED(GetRackService(Rack(), RackName::StdPackageQueryEngine, engine.Put()))) return E_FAIL;
    MakeVisible();
    CKorSafeArray table(4, 2, VT_VARIANT);
    for (LONG row = 0; row < 4; ++row) {
        kcom::CComVariant name(names[row]);
        kcom::ThrowIfFailed(table.PutElement(&name, row, 0));
    }
    HRESULT hr = QueryRuntimeValues(runtimeObject, table.psa);
    if (FAILED(hr)) return hr;
    LONG v[4] = {};
    for (LONG row = 0; row < 4; ++row) {
        kcom::CComVariant value;
        if (FAILED(table.GetElement(value.Put(), row, 1)) || FAILED(value.ChangeType(VT_I4))) return E_FAIL;
        v[row] = value.lVal;
    }
    *rect = RECT{v[0], v[1], v[0] + v[2], v[1] + v[3]};
    return S_OK;
}

HRESULT CComTestObject::DispTestObject_CaptureBitmap(BSTR FullFileName, VARIANT_BOOL OverrideExisting) {
    std::wstring path(FullFileName ? FullFileName : L"", ::SysStringLen(FullFileName));
    if (::PathIsRelativeW(path.c_str())) {
        kcom::CComPtr<IKorSettings> options = TestOptions();
        if (!options) return E_FAIL;
        bool present = false;
        std::wstring folder = ItemText(options, L"LastReportPath", &present);
        if (folder.empty()) {
            folder = ItemText(options, L"TestPath", &present);
            if (!present) return E_FAIL;
        }
        path = folder + L"\\" + path;
    }
    if (path.empty()) return E_FAIL;
    const size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos) return E_INVALIDARG;
    const std::wstring extension = path.substr(dot + 1);
    const bool bmp = _wcsicmp(extension.c_str(), L"bmp") == 0;
    if (!bmp && _wcsicmp(extension.c_str(), L"png") != 0) {
        SetErrorInfoText(L"The specified file extension is not supported for this action.", &IID_IDispatch, 0,
                         nullptr, nullptr);
        return E_INVALIDARG;
    }

    bool replace = false;
    {
        kcom::CFileHandle existing(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
        if (existing) {
            if (!OverrideExisting) RaiseReplayError(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), 3);
            replace = true;
        } else {
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_SUCCESS) RaiseReplayError(HRESULT_FROM_WIN32(error), 3);
        }
    }  // closed before anything deletes or writes the file

    kcom::CComPtr<IUnknown> object;
    HRESULT hr = ITestObject_FindObjectId(object.Put(), nullptr);
    if (FAILED(hr)) RaiseReplayError(hr, 3);
    RECT rect = {};
    hr = QueryScreenRect(object, &rect);
    if (FAILED(hr)) return hr;
    if (::IsRectEmpty(&rect)) RaiseReplayError(kEmptyRectangle, 3);

    // The file to replace goes only once there is an image to put in its place.
    if (replace && !::DeleteFileW(path.c_str())) RaiseReplayError(HRESULT_FROM_WIN32(::GetLastError()), 3);
    hr = CaptureRectToImageFile(rect.left, rect.top, rect.right, rect.bottom, path.c_str(),
                                bmp ? ImageFormatBmp : ImageFormatPng, TRUE);
    if (FAILED(hr)) ::DeleteFileW(path.c_str());  // no partial image is left behind
    return hr;
}

HRESULT CComTestObject::DispTestObject_Highlight(long Type, VARIANT) {
    HRESULT hr = ITestObject_FindObjectId(nullptr, nullptr);
    if (FAILED(hr)) RaiseReplayError(hr, 3);
    if (Type == 1)
        MakeVisible();
    else
        CTestObjectClock::Current().PumpWait(50);
    RECT rect = {};
    hr = GetObjectRect(&rect);
    if (FAILED(hr)) return hr;
    return HighlightRect(&rect, Type);
}

HRESULT CComTestObject::HighlightRect(const RECT* rect, long mode) noexcept {
    if (!rect) return E_POINTER;
    if (mode == 2)
        return ::RedrawWindow(nullptr, rect, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN) ? S_OK : E_FAIL;
    if (mode != 0 && mode != 1) return E_FAIL;
    kcom::CWindowDC screen(nullptr);
    if (!screen) return E_FAIL;
    kcom::CPen pen(::CreatePen(PS_INSIDEFRAME, (mode == 0 ? 4 : 6) * ::GetSystemMetrics(SM_CXBORDER), RGB(0, 0, 0)));
    if (!pen) return E_FAIL;
    const int oldRop = ::SetROP2(screen, R2_NOT);
    {
        kcom::CSelectObject brush(screen, ::GetStockObject(NULL_BRUSH));
        kcom::CSelectObject selectedPen(screen, pen);
        // Inverting is its own undo: an even number of frames leaves the screen as it was.
        const int frames = mode == 0 ? 1 : 8;
        for (int i = 0; i < frames; ++i) {
            ::Rectangle(screen, rect->left, rect->top, rect->right, rect->bottom);
            if (mode == 1) CTestObjectClock::Current().Sleep(150);
        }
    }
    ::SetROP2(screen, oldRop);
    return S_OK;
}
