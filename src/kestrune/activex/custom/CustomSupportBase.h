#pragma once
// Custom record and replay support between the generic test object and a concrete one: user
// COM objects, named per control class in the host settings, that record or replay one class of
// control. This layer only holds the operations' places and the ProgID section so far; no custom
// object is made yet (EnsureCustomObjects answers S_FALSE).
#include <windows.h>
#include <oleauto.h>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "host.h"
#include "testobject/forwarding/ForwardGuard.h"

template <class T, class Base>
class CCustomSupportBase : public Base, public IKorUtilities {
public:
    using Base::GetTestOption;

    // ---- Operations added after the generic test object's, in slot order -----------------------
    virtual HRESULT STDMETHODCALLTYPE ReleaseCustomObjects() { return S_OK; }
    virtual HRESULT STDMETHODCALLTYPE CreateCustomHelper() { return E_NOTIMPL; }
    // The custom hook: makes the custom objects the run mode needs.
    virtual HRESULT STDMETHODCALLTYPE EnsureCustomObjects() { return S_FALSE; }
    virtual HRESULT STDMETHODCALLTYPE IdentifyForCustom(BSTR* className) {
        if (className) *className = nullptr;
        return E_NOTIMPL;
    }
    virtual HRESULT STDMETHODCALLTYPE CreateCustomRecordObject(BSTR) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE CreateCustomReplayObject(BSTR) { return E_NOTIMPL; }
    // Nothing to refresh while no replay object exists.
    virtual HRESULT STDMETHODCALLTYPE RefreshCustomReplayObject() { return S_OK; }
    virtual bool STDMETHODCALLTYPE HasIdentity() { return false; }
    virtual bool STDMETHODCALLTYPE IsCustomReplayProgID(BSTR, BSTR) { return false; }
    virtual HRESULT STDMETHODCALLTYPE GetCustomRecordProgID(BSTR, BSTR* progId) { return NoText(progId); }
    virtual HRESULT STDMETHODCALLTYPE GetCustomReplayProgID(BSTR, BSTR* progId) { return NoText(progId); }
    virtual HRESULT STDMETHODCALLTYPE ReadCustomProgID(BSTR, BSTR, BSTR* out) { return NoText(out); }
    virtual HRESULT STDMETHODCALLTYPE GetSimClass(BSTR* className) { return NoText(className); }
    virtual HRESULT STDMETHODCALLTYPE SetSimClass(VARIANT) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE GetOutermostDataTarget(IUnknown** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        return E_NOTIMPL;
    }
    // The settings section under which control classes name their custom objects.
    virtual HRESULT STDMETHODCALLTYPE SetCustomProgIdKey(BSTR key) {
        return kcom::Guard([&] {
            m_customProgIdKey = key ? kcom::CComBSTR(key, ::SysStringLen(key)) : kcom::CComBSTR();
            return S_OK;
        });
    }
    virtual HRESULT STDMETHODCALLTYPE GetCustomProgIdKey(BSTR* key) {
        if (!key) return E_POINTER;
        return m_customProgIdKey.CopyTo(key);
    }

    // ---- Generic test-object operations: the custom hook runs first, its result unused --------
    HRESULT STDMETHODCALLTYPE ITestObject_BuildDescription() override {
        EnsureCustomObjects();
        return Base::ITestObject_BuildDescription();
    }
    HRESULT STDMETHODCALLTYPE ITestObject5_PutDescription(SAFEARRAY* rows) override {
        EnsureCustomObjects();
        return Base::ITestObject5_PutDescription(rows);
    }
    HRESULT STDMETHODCALLTYPE GetTestObjectClass(BSTR* className) override {
        if (className) *className = nullptr;
        return E_NOTIMPL;
    }

    // ---- IKorUtilities: the call-backs of custom objects ---------------------------------------
    STDMETHOD(RecordStep)(BSTR, VARIANT, long) override { return E_NOTIMPL; }
    STDMETHOD(PrepareForAction)(long) override { return E_NOTIMPL; }
    STDMETHOD(ReportStep)(BSTR, BSTR, VARIANT) override { return E_NOTIMPL; }
    STDMETHOD(ReportFailure)(HRESULT) override { return E_NOTIMPL; }
    STDMETHOD(GetWindowHandle)(long* window) override {
        if (!window) return E_POINTER;
        return E_NOTIMPL;
    }
    STDMETHOD(GetTestOption)(BSTR, BSTR, VARIANT* value) override {
        if (!value) return E_POINTER;
        return E_NOTIMPL;
    }

protected:
    static HRESULT NoText(BSTR* out) noexcept {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    kcom::CComBSTR m_customProgIdKey;
    // The custom record object, the record filter mode it asked for (0 the control's own window,
    // 1 every window, 2 the control's window and its children), and the control's window.
    kcom::CComPtr<ICustomRecorder> m_customRecorder;
    long m_recordFilterMode = 0;
    HWND m_customControlWindow = nullptr;
};
