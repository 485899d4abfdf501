#include "RecorderStandIn.h"
#include <cstring>
#include <string>
#include "QuillonStub.h"
#include "com/ComError.h"
#include "com/Handles.h"

namespace standin {

namespace {

constexpr wchar_t kWindowClass[] = L"KestruneRecorderStandIn";

std::wstring Hex(DWORD value) {
    wchar_t text[16];
    swprintf(text, 16, L"%lX", static_cast<unsigned long>(value));
    return text;
}

DWORD Read(const void* data, size_t at) {
    DWORD value = 0;
    std::memcpy(&value, static_cast<const BYTE*>(data) + at, sizeof value);
    return value;
}

}  // namespace

HRESULT CRecorderStandIn::FinalConstruct() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return HRESULT_FROM_WIN32(::GetLastError());
    window_ = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!window_) return HRESULT_FROM_WIN32(::GetLastError());
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return S_OK;
}

void CRecorderStandIn::FinalRelease() {
    if (window_) ::DestroyWindow(window_);
    window_ = nullptr;
}

HRESULT CRecorderStandIn::AddFactory(IUnknown* factory, IObjectRack* rack) {
    kcom::CComPtr<IKorDataTarget> target;
    kcom::CComPtr<ITestObjFactory> asFactory;
    kcom::CComPtr<IObjectRackClient> client;
    HRESULT hr = kcom::QueryTo(factory, target.Put());
    if (SUCCEEDED(hr)) hr = kcom::QueryTo(factory, asFactory.Put());
    if (SUCCEEDED(hr)) hr = kcom::QueryTo(factory, client.Put());
    if (SUCCEEDED(hr)) hr = client->SetRack(rack);
    if (SUCCEEDED(hr)) hr = asFactory->SetFactorySite(this, 0);
    if (SUCCEEDED(hr)) factories_.push_back(target);
    return hr;
}

LRESULT CALLBACK CRecorderStandIn::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CRecorderStandIn*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_COPYDATA && self && lParam) {
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        kcom::Guard([&] {
            self->Deliver(copy->dwData, copy->lpData, copy->cbData);
            return S_OK;
        });
        return TRUE;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void CRecorderStandIn::Deliver(ULONG_PTR kind, const void* data, DWORD size) {
    const bool windowless = kind == kQuillonStubWindowlessRecord;
    if (!data || size < (windowless ? 24u : 28u)) return;
    // The host hands records over as fixed global memory: the handle is the record's address.
    kcom::CGlobal block(::GlobalAlloc(GMEM_FIXED, size));
    if (!block) return;
    std::memcpy(block.get(), data, size);
    FORMATETC format{static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(windowless ? L"Windowless ACX Control"
                                                                                   : L"FormaShelHalonotRegilim")),
                     nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block.get();
    std::wstring line = windowless ? L"windowless " + std::to_wstring(Read(data, 8)) + L" " : L"window ";
    line += Hex(Read(data, 12)) + L":";
    for (auto& factory : factories_) {
        format_ = &format;
        medium_ = &medium;
        objectAnswer_.clear();
        ULONG answer = 0;
        factory->ReceiveData(&format, &medium, &answer);
        format_ = nullptr;
        medium_ = nullptr;
        line += L" factory " + std::to_wstring(answer) + objectAnswer_;
    }
    log_.Add(line);
}

STDMETHODIMP CRecorderStandIn::CreateTestObj(IUnknown*, IUnknown** parent) {
    if (!parent) return E_POINTER;
    *parent = parent_.get();
    if (!parent_) return S_FALSE;
    parent_->AddRef();
    return S_OK;
}

STDMETHODIMP CRecorderStandIn::ReceiveRecord(IKorDataTarget* target, KorClassDescriptor) {
    if (!target) return E_POINTER;
    if (!format_ || !medium_) return E_UNEXPECTED;
    kcom::CComPtr<ITestObject> testObject;
    if (recordMgr_ && SUCCEEDED(kcom::QueryTo(target, testObject.Put()))) testObject->SetRecordMgr(recordMgr_);
    ULONG status = 0;
    const HRESULT hr = target->ReceiveData(format_, medium_, &status);
    objectAnswer_ = L", object " + std::to_wstring(status) + (FAILED(hr) ? L" failed" : L"");
    return S_OK;
}

}  // namespace standin
