// The ActiveX test object's actions that run inside a replay step (the replay dispatcher calls
// them through oleaut32), the clicks the host asks for directly, firing the control's events, and
// the hand-over of a found runtime identifier. A replay error raised here never leaves a method:
// it waits in the running step, which raises it again in its own frames.
#include "activex/core/KorActiveX.h"
#include "activex/forwarding/InnerCall.h"
#include "environment/AcxHandler.h"
#include "environment/AcxQuery.h"
#include "environment/LoadTimeValues.h"
#include "errors/TestObjectError.h"
#include "host/TestObjectSettings.h"

namespace {

// A runtime identifier of the ordinary-window format for a window.
HRESULT WindowRuntimeId(HWND window, CRuntimeId& id) {
    id = CRuntimeId(g_cfShelHalonotRegilim);
    if (!static_cast<IRuntimeID2*>(id)) return E_OUTOFMEMORY;
    return id.PutVariantValue(L"hwnd", kcom::CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(window))));
}

}  // namespace

// ---- IStdObjectReplay --------------------------------------------------------------------------

STDMETHODIMP CKorActiveX::do_Click(int x, int y, BUTTON button) {
    return TestObjectGuard([&] {
        if (IsAutMode() == 1) return static_cast<HRESULT>(KOR_E_CLICK_REFUSED);
        return Click(x, y, static_cast<int>(button), 0);
    });
}

STDMETHODIMP CKorActiveX::do_DblClick(int x, int y, BUTTON button) {
    return TestObjectGuard([&] {
        if (IsAutMode() == 1) return static_cast<HRESULT>(KOR_E_CLICK_REFUSED);
        return Click(x, y, static_cast<int>(button), 1);
    });
}

// A windowless control has no window of its own for the inner object to act on: its point
// becomes one in the container.
STDMETHODIMP CKorActiveX::do_Drag(int x, int y, BUTTON button) {
    return TestObjectGuard([&] {
        if (IsWindowed() == 0) AdjustToContainer(&x, &y);
        return CallInner<IStdObjectReplay>(m_inner, [&](IStdObjectReplay* i) { return i->do_Drag(x, y, button); });
    });
}

STDMETHODIMP CKorActiveX::do_Drop(int x, int y, BUTTON button) {
    return TestObjectGuard([&] {
        if (IsWindowed() == 0) AdjustToContainer(&x, &y);
        return CallInner<IStdObjectReplay>(m_inner, [&](IStdObjectReplay* i) { return i->do_Drop(x, y, button); });
    });
}

HRESULT CKorActiveX::AdjustToContainer(int* x, int* y) {
    if (!x || !y) return E_POINTER;
    if (!m_helper) return E_FAIL;
    HRESULT hr = m_helper->MakeVisibleCore();
    if (FAILED(hr)) return hr;
    kcom::CComBSTR name(L"size in pixels");
    VARIANT size;
    ::VariantInit(&size);
    kcom::CComVariant noData;
    hr = DispTestObject_QueryValue(name, &noData, &size);
    LONG cells[4] = {};
    const HRESULT read = FAILED(hr) ? hr : CAcxQuery::TakeSizeInPixels(&size, cells);
    if (FAILED(read)) {
        // Whatever came instead is freed as its type says; a "size in pixels" array is ours.
        if (CAcxQuery::ReleaseSizeInPixels(&size) == S_FALSE) ::VariantClear(&size);
        return FAILED(hr) ? hr : E_UNEXPECTED;
    }
    EnsureControlHandle();
    POINT origin{cells[CAcxQuery::SizeLeft], cells[CAcxQuery::SizeTop]};
    ::ScreenToClient(m_window, &origin);
    *x += origin.x;
    *y += origin.y;
    return S_OK;
}

// ---- IStdCaptureTextReplay ---------------------------------------------------------------------

STDMETHODIMP CKorActiveX::do_GetVisibleText(long left, long top, long right, long bottom, BSTR* text) {
    return TestObjectGuard([&]() -> HRESULT {
        kcom::CComPtr<IStdCaptureTextReplay> inner = Inner<IStdCaptureTextReplay>();
        if (!inner) return E_NOINTERFACE;
        if (IsWindowed() != 0) return inner->do_GetVisibleText(left, top, right, bottom, text);

        // The inner object reads the text of the container's window over the control's area.
        HWND window = nullptr;
        long cookie = 0;
        CRuntimeId found;
        if (SUCCEEDED(FindRuntimeId(found))) {
            long value = 0;
            if (SUCCEEDED(found.GetLong(L"hwnd", &value))) window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
            found.GetLong(L"punknown", &cookie);
        }
        if (!window) return KOR_E_OBJECT_NOT_FOUND;
        CRuntimeId container;
        HRESULT hr = WindowRuntimeId(window, container);
        if (FAILED(hr)) return hr;
        kcom::CComBSTR objectId(L"objectid");
        const kcom::CComVariant id(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(container)));
        hr = PutTestObjectPropExpr(m_inner, objectId, &id, nullptr, nullptr, nullptr);
        if (FAILED(hr)) return hr;
        m_helper->MakeVisibleCore();
        RECT rect{};
        // A control the hook does not know answers an empty rectangle: no area either.
        if (!m_agent || FAILED(m_agent->GetWlsSize(window, cookie, &rect)) || ::IsRectEmpty(&rect))
            return KOR_E_EMPTY_RECT;
        // A negative side stands for the control's own; the others count from its top left.
        const long areaLeft = left < 0 ? rect.left : left + rect.left;
        const long areaRight = right < 0 ? rect.right : right + rect.left;
        const long areaTop = top < 0 ? rect.top : top + rect.top;
        const long areaBottom = bottom < 0 ? rect.bottom : bottom + rect.top;
        return inner->do_GetVisibleText(areaLeft, areaTop, areaRight, areaBottom, text);
    });
}

// ---- IStdReplay: clicks the host asks for outside a script step ----------------------------------

// A failure is reported as a replay error and answered as its HRESULT.
STDMETHODIMP CKorActiveX::DoClick(int x, int y, BUTTON button) {
    return TestObjectGuard([&] {
        EnsureControlHandle();
        const HRESULT hr = Click(x, y, static_cast<int>(button), 0);
        if (FAILED(hr)) RaiseReplayError(hr, 3);
        return hr;
    });
}

// The strategy's double click itself: -9999 is passed on as it is.
STDMETHODIMP CKorActiveX::DoDblClick(int x, int y, BUTTON button) {
    return TestObjectGuard([&] {
        EnsureControlHandle();
        const HRESULT hr = m_helper ? m_helper->DblClick(x, y, static_cast<int>(button)) : E_FAIL;
        if (FAILED(hr)) RaiseReplayError(hr, 3);
        return hr;
    });
}

// ---- Events ------------------------------------------------------------------------------------

// A script passes a variable by reference; the name it holds counts.
HRESULT CKorActiveX::FireControlEvent(const VARIANT& eventName, SAFEARRAY* args) {
    const VARIANT* name = &eventName;
    if (name->vt == (VT_BYREF | VT_VARIANT) && name->pvarVal) name = name->pvarVal;
    BSTR text = name->vt == VT_BSTR                                   ? name->bstrVal
                : name->vt == (VT_BYREF | VT_BSTR) && name->pbstrVal ? *name->pbstrVal
                                                                      : nullptr;
    if (!text) return DISP_E_BADVARTYPE;
    kcom::CComPtr<IDispatch> control;
    if (FAILED(GetLpDispatch(control.Put())) || !control) return KOR_E_OBJECT_NOT_FOUND;
    CAcxHandler handler;
    handler.Attach(control);
    return handler.FireEvent(text, args);
}

HRESULT CKorActiveX::GetControlMemberNames(SAFEARRAY** names) {
    if (!names) return E_POINTER;
    *names = nullptr;
    kcom::CComPtr<IDispatch> control;
    if (FAILED(GetLpDispatch(control.Put())) || !control) return KOR_E_OBJECT_NOT_FOUND;
    CAcxHandler handler;
    handler.Attach(control);
    return handler.GetObjectMemberNames(names);
}

// ---- IReplaySkeleton: the found object ---------------------------------------------------------

// Flags 0x50000 hand the object to the delegate replay skeleton (the inner standard window
// object), which only knows windows: a windowless control is handed over as its container.
// Flags 5 keep its handles here.
HRESULT CKorActiveX::SetRuntimeId(IUnknown* runtimeId) {
    return TestObjectGuard([&]() -> HRESULT {
        IReplaySkeleton* self = this;
        ULONG flags = 0xFFFFFFFF;
        HRESULT hr = self->GetReplayMethodFlags(&flags);
        if (FAILED(hr)) return hr;
        if ((flags & 0x50000) == 0x50000) {
            kcom::CComPtr<IReplaySkeleton> delegate;
            if (SUCCEEDED(self->GetInnerReplaySkeleton(delegate.Put())) && delegate) {
                if (IsWindowed() == 0) {
                    CRuntimeId found;
                    long value = 0;
                    if (FAILED(FindRuntimeId(found)) || FAILED(found.GetLong(L"hwnd", &value)) || !value) {
                        hr = KOR_E_OBJECT_NOT_FOUND;
                    } else {
                        CRuntimeId container;
                        hr = WindowRuntimeId(reinterpret_cast<HWND>(static_cast<LONG_PTR>(value)), container);
                        if (SUCCEEDED(hr)) hr = delegate->SetRuntimeId(static_cast<IRuntimeID2*>(container));
                    }
                } else {
                    hr = delegate->SetRuntimeId(runtimeId);
                }
            }
        }
        if ((flags & 5) == 5) hr = TakeRuntimeId(runtimeId);
        return hr;
    });
}
