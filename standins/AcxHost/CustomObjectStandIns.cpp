#include "CustomObjectStandIns.h"
#include <cwchar>
#include "com/ComBSTR.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"

namespace standin {

namespace {
CCustomRecorderStandIn* g_lastRecorder = nullptr;
CCustomReplayerStandIn* g_lastReplayer = nullptr;

std::wstring Hex(HRESULT hr) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%lX", static_cast<unsigned long>(hr));
    return text;
}

// An array of two VT_I4 VARIANTs, as a VARIANT.
kcom::CComVariant Pair(long x, long y) {
    SAFEARRAYBOUND bound{2, 0};
    kcom::CComVariant out;
    out.vt = VT_ARRAY | VT_VARIANT;
    out.parray = ::SafeArrayCreate(VT_VARIANT, 1, &bound);
    for (LONG i = 0; i < 2 && out.parray; ++i) {
        kcom::CComVariant value(i == 0 ? x : y);
        ::SafeArrayPutElement(out.parray, &i, &value);
    }
    return out;
}
// Makes an object of T and remembers it as the last one made.
template <class T, class I>
HRESULT CreateRemembered(IUnknown* outer, REFIID iid, void** out, T*& last) {
    HRESULT hr = kcom::CComCreator<T>::CreateInstance(outer, iid, out);
    if (SUCCEEDED(hr)) {
        kcom::CComPtr<I> made;
        static_cast<IUnknown*>(*out)->QueryInterface(__uuidof(I), reinterpret_cast<void**>(made.Put()));
        last = static_cast<T*>(made.get());
    }
    return hr;
}
}  // namespace

long& CCustomObjectBase::NextFilterMode() noexcept {
    static long mode = 0;
    return mode;
}

STDMETHODIMP CCustomObjectBase::SetContainer(IKorCustomSupportContainer* container) {
    log_.Add(std::wstring(L"SetContainer(") + (container ? L"helper" : L"null") + L")");
    container_ = container;
    return S_OK;
}

STDMETHODIMP CCustomObjectBase::GetRecordFilterMode(long* mode) {
    log_.Add(L"GetRecordFilterMode()");
    if (!mode) return E_POINTER;
    *mode = NextFilterMode();
    return S_OK;
}

kcom::CComPtr<IKorUtilities> CCustomObjectBase::Utilities() const {
    kcom::CComPtr<IUnknown> helper;
    kcom::CComPtr<IKorUtilities> utilities;
    if (container_ && SUCCEEDED(container_->QueryTestObject(IID_IUnknown, reinterpret_cast<void**>(helper.Put()))))
        helper.QueryInterface(utilities.Put());
    return utilities;
}

CCustomObjectBase* CustomObjectOf(IUnknown* object) noexcept {
    kcom::CComPtr<ICustomSupportObject> support;
    if (!object || FAILED(object->QueryInterface(__uuidof(ICustomSupportObject), reinterpret_cast<void**>(support.Put()))))
        return nullptr;
    return static_cast<CCustomObjectBase*>(support.get());
}

long& CCustomRecorderStandIn::Answer() noexcept {
    static long answer = 0;
    return answer;
}

// ---- Recorder ------------------------------------------------------------------------------------

HRESULT CCustomRecorderStandIn::Create(IUnknown* outer, REFIID iid, void** out) {
    return CreateRemembered<CCustomRecorderStandIn, ICustomRecorder>(outer, iid, out, g_lastRecorder);
}

kcom::CComPtr<ICustomRecorder> CCustomRecorderStandIn::Last() {
    return kcom::CComPtr<ICustomRecorder>(g_lastRecorder);
}

CCustomRecorderStandIn::~CCustomRecorderStandIn() {
    if (g_lastRecorder == this) g_lastRecorder = nullptr;
}

STDMETHODIMP CCustomRecorderStandIn::OnRecordMessage(HWND, unsigned short message, WPARAM, LPARAM lParam,
                                                     long* answer) {
    log_.Add(L"OnRecordMessage(" + std::to_wstring(message) + L")");
    if (!answer) return E_POINTER;
    *answer = Answer();
    if (message == WM_LBUTTONUP && *answer == 0) {
        kcom::CComPtr<IKorUtilities> utilities = Utilities();
        const HRESULT hr = utilities ? utilities->RecordStep(kcom::CComBSTR(L"CustClick"),
                                                             Pair(static_cast<short>(LOWORD(lParam)),
                                                                  static_cast<short>(HIWORD(lParam))),
                                                             1)
                                     : E_NOINTERFACE;
        log_.Add(L"RecordStep " + Hex(hr));
    }
    return S_OK;
}

// ---- Replayer ------------------------------------------------------------------------------------

HRESULT CCustomReplayerStandIn::Create(IUnknown* outer, REFIID iid, void** out) {
    return CreateRemembered<CCustomReplayerStandIn, ICustomReplayer>(outer, iid, out, g_lastReplayer);
}

kcom::CComPtr<ICustomReplayer> CCustomReplayerStandIn::Last() {
    return kcom::CComPtr<ICustomReplayer>(g_lastReplayer);
}

CCustomReplayerStandIn::~CCustomReplayerStandIn() {
    if (g_lastReplayer == this) g_lastReplayer = nullptr;
}

HRESULT CCustomReplayerStandIn::FinalConstruct() {
    static PARAMDATA xy[] = {{const_cast<OLECHAR*>(L"X"), VT_I4}, {const_cast<OLECHAR*>(L"Y"), VT_I4}};
    static METHODDATA methods[] = {
        {const_cast<OLECHAR*>(L"Click"), xy, 1, 0, CC_STDCALL, 2, DISPATCH_METHOD, VT_EMPTY},
        {const_cast<OLECHAR*>(L"Tell"), nullptr, 2, 1, CC_STDCALL, 0, DISPATCH_METHOD, VT_BSTR},
    };
    INTERFACEDATA data{methods, 2};
    kcom::CComPtr<ITypeInfo> made;
    HREFTYPE ref = 0;
    HRESULT hr = ::CreateDispTypeInfo(&data, 0x800, made.Put());
    if (SUCCEEDED(hr)) hr = made->GetRefTypeOfImplType(0, &ref);
    if (SUCCEEDED(hr)) hr = made->GetRefTypeInfo(ref, info_.Put());
    return hr;
}

STDMETHODIMP CCustomReplayerStandIn::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP CCustomReplayerStandIn::GetTypeInfo(UINT, LCID, ITypeInfo** out) { return info_.CopyTo(out); }

STDMETHODIMP CCustomReplayerStandIn::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    return ::DispGetIDsOfNames(info_, names, count, ids);
}

STDMETHODIMP CCustomReplayerStandIn::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                            EXCEPINFO*, UINT*) {
    kcom::CComPtr<IKorUtilities> utilities = Utilities();
    long window = 0;
    const HRESULT found = utilities ? utilities->GetWindowHandle(&window) : E_NOINTERFACE;
    if (id == 2) {
        log_.Add(L"Tell()");
        if (result) {
            result->vt = VT_BSTR;
            result->bstrVal = ::SysAllocString((Hex(found) + (window ? L" window" : L" no window")).c_str());
        }
        return S_OK;
    }
    if (id != 1 || !params || params->cArgs != 2) return DISP_E_MEMBERNOTFOUND;
    kcom::CComVariant x, y;
    if (FAILED(::VariantChangeType(&x, &params->rgvarg[1], 0, VT_I4)) ||
        FAILED(::VariantChangeType(&y, &params->rgvarg[0], 0, VT_I4)))
        return DISP_E_TYPEMISMATCH;
    log_.Add(L"Click(" + std::to_wstring(x.lVal) + L"," + std::to_wstring(y.lVal) + L") " + Hex(found));
    if (utilities) utilities->ReportStep(kcom::CComBSTR(L"CustClick"), nullptr, Pair(x.lVal, y.lVal));
    return S_OK;
}

}  // namespace standin
