#pragma once
// Custom record and replay support between the generic test object and a concrete one: user
// COM objects, named per control class in the host settings ("CustRecordProgID",
// "CustReplayProgID" under the ProgID section), that record or replay one class of control. They
// are made lazily, when the object is first used in a run mode that needs them, and call back
// into the object through a helper (CustomHelper.h).
//
// T: the concrete test object; it offers GetDefaultDispatch, AddDispatch, ReportNode and
// SetReportNode of its dispatch layer.
#include <windows.h>
#include <oleauto.h>
#include <cwchar>
#include <string>
#include <vector>
#include "activex/custom/CustomHelper.h"
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "host.h"
#include "tables/RuntimeId.h"
#include "testobject/forwarding/Forwarding.h"
#include "testobject/reporting/ReportFilter.h"

template <class T, class Base>
class CCustomSupportBase : public Base, public IKorUtilities {
public:
    using Base::GetTestOption;
    using CustomHelper = CCustomHelper<T>;

    ~CCustomSupportBase() { DropCustomObjects(); }

    // ---- Operations added after the generic test object's, in slot order -----------------------
    virtual HRESULT STDMETHODCALLTYPE ReleaseCustomObjects() {
        DropCustomObjects();
        return S_OK;
    }
    virtual HRESULT STDMETHODCALLTYPE CreateCustomHelper() {
        if (m_customHelper) return S_OK;
        auto* helper = new (std::nothrow) CUnknownHleper<CustomHelper>();
        return AttachCustomHelper(helper, helper ? helper->Identity() : nullptr);
    }
    // The custom hook: makes the custom objects the run mode needs.
    virtual HRESULT STDMETHODCALLTYPE EnsureCustomObjects() {
        return TestObjectGuard([&]() -> HRESULT {
            if (!IsCustomSupportOn()) return S_FALSE;
            kcom::CComPtr<IObjectRack> rack;
            if (FAILED(this->GetRack(rack.Put())) || !rack) return S_FALSE;
            switch (GetRunMode()) {
            case kRecording: {
                if (m_recordObjectMade) return S_FALSE;
                m_recordObjectMade = true;
                kcom::CComBSTR className;
                const HRESULT hr = IdentifyForCustom(className.Put());
                if (hr != S_OK) return hr;
                SetSimClass(kcom::CComVariant(className));
                return CreateCustomRecordObject(className);
            }
            case kIdle: {
                if (m_customControlWindow && !::IsWindow(m_customControlWindow)) ReadCustomControlWindow();
                if (m_replayObjectMade) return S_FALSE;
                kcom::CComBSTR className;
                HRESULT hr = GetSimClass(className.Put());
                if (FAILED(hr) && HasIdentity()) {
                    hr = IdentifyForCustom(className.Put());
                    if (hr == S_OK) SetSimClass(kcom::CComVariant(className));
                }
                if (hr != S_OK) return hr;
                m_replayObjectMade = true;
                return CreateCustomReplayObject(className);
            }
            case kRecordOn: {
                if (m_customRecorder && m_customReplay) return S_FALSE;
                // While either is missing the class is looked up again at every call, so that
                // "SimClass" follows the control; neither object is ever made twice.
                kcom::CComBSTR className;
                if (IdentifyForCustom(className.Put()) == S_OK) SetSimClass(kcom::CComVariant(className));
                HRESULT record = S_FALSE, replay = S_FALSE;
                if (!m_recordObjectMade) {
                    m_recordObjectMade = true;
                    record = CreateCustomRecordObject(className);
                }
                if (!m_replayObjectMade) {
                    m_replayObjectMade = true;
                    replay = CreateCustomReplayObject(className);
                }
                if (FAILED(record) || FAILED(replay)) return E_FAIL;
                return record == S_OK || replay == S_OK ? S_OK : S_FALSE;
            }
            default:
                return E_UNEXPECTED;
            }
        });
    }
    // Finds the control and reads its class ("Object Class").
    virtual HRESULT STDMETHODCALLTYPE IdentifyForCustom(BSTR* className) {
        if (!className) return E_POINTER;
        *className = nullptr;
        return TestObjectGuard([&]() -> HRESULT {
            kcom::CComPtr<IUnknown> runtimeId;
            kcom::CComVariant objectId;
            this->ITestObjectInfo_get_Prop(kcom::CComBSTR(L"objectid"), nullptr, nullptr, nullptr, objectId.Put());
            if (objectId.vt == VT_UNKNOWN) runtimeId = objectId.punkVal;
            if (!runtimeId) {
                if (GetRunMode() == kRecording) return E_FAIL;
                HRESULT hr;
                if (!m_identificationNoticeGiven) {
                    kcom::CComBSTR name;
                    this->GetTestObjectClass(name.Put());
                    std::wstring text = name ? static_cast<const wchar_t*>(name) : L"";
                    text += L": FindObjectId called from CustomSupportBase";
                    ::OutputDebugStringW(text.c_str());
                    m_identificationNoticeGiven = true;
                    hr = this->ITestObject_FindObjectId(runtimeId.Put(), nullptr);
                } else {
                    QueryIdInfo noWaiting{0, -1};
                    hr = this->ITestObject_FindObjectId(runtimeId.Put(), &noWaiting);
                }
                if (FAILED(hr)) return hr;
                if (!runtimeId) return E_FAIL;
            }
            kcom::CComVariant value;
            this->QueryObjValue(value.Put(), runtimeId, kcom::CComBSTR(L"Object Class"));
            if (value.vt != VT_BSTR) return E_FAIL;
            *className = value.bstrVal;
            value.vt = VT_EMPTY;  // handed out
            return S_OK;
        });
    }
    virtual HRESULT STDMETHODCALLTYPE CreateCustomRecordObject(BSTR className) {
        if (!className) return E_POINTER;
        if (m_customRecorder) return S_FALSE;
        return TestObjectGuard([&]() -> HRESULT {
            kcom::CComBSTR progId;
            HRESULT hr = GetCustomRecordProgID(className, progId.Put());
            if (FAILED(hr)) return hr;
            if (FAILED(hr = CreateCustomHelper())) return hr;
            kcom::CComPtr<ICustomRecorder> recorder;
            if (FAILED(MakeCustomObject(progId, __uuidof(ICustomRecorder), recorder)) || !recorder) return E_FAIL;
            kcom::CComPtr<ICustomSupportObject> support;
            if (FAILED(hr = recorder.QueryInterface(support.Put()))) return hr;
            kcom::CComPtr<IKorCustomSupportContainer> container;
            if (!support || FAILED(m_customHelper.QueryInterface(container.Put())) || !container) return E_FAIL;
            hr = support->SetContainer(container);
            if (SUCCEEDED(hr)) hr = support->GetRecordFilterMode(&m_recordFilterMode);
            if (FAILED(hr)) return hr;
            m_customRecorder = recorder;
            // One object may serve as both.
            if (!m_customReplay && IsCustomReplayProgID(className, progId)) {
                kcom::CComPtr<IDispatch> dispatch;
                if (SUCCEEDED(recorder.QueryInterface(dispatch.Put())) && dispatch) {
                    m_customReplay = dispatch;
                    Owner()->AddDispatch(dispatch);
                }
            }
            return S_OK;
        });
    }
    virtual HRESULT STDMETHODCALLTYPE CreateCustomReplayObject(BSTR className) {
        if (!className) return E_POINTER;
        if (m_customReplay) return S_FALSE;
        return TestObjectGuard([&]() -> HRESULT {
            kcom::CComBSTR progId;
            HRESULT hr = GetCustomReplayProgID(className, progId.Put());
            if (FAILED(hr)) return hr;
            if (FAILED(hr = CreateCustomHelper())) return hr;
            kcom::CComPtr<IUnknown> replayer;
            if (FAILED(hr = MakeCustomObject(progId, __uuidof(ICustomReplayer), replayer))) return hr;
            kcom::CComPtr<IDispatch> dispatch;
            kcom::CComPtr<ICustomSupportObject> support;
            kcom::CComPtr<IKorCustomSupportContainer> container;
            if (!replayer || FAILED(replayer.QueryInterface(dispatch.Put())) || !dispatch ||
                FAILED(replayer.QueryInterface(support.Put())) || !support ||
                FAILED(m_customHelper.QueryInterface(container.Put())) || !container)
                return E_FAIL;
            support->SetContainer(container);
            m_customReplay = dispatch;
            // The object's methods are reachable only once the dispatch interface has them.
            hr = Owner()->AddDispatch(dispatch);
            return FAILED(hr) ? hr : S_OK;
        });
    }
    // Nothing to refresh while no replay object exists.
    virtual HRESULT STDMETHODCALLTYPE RefreshCustomReplayObject() {
        if (!m_customReplay) return S_OK;
        m_customReplay.Release();
        m_replayObjectMade = false;
        return EnsureCustomObjects();
    }
    virtual bool STDMETHODCALLTYPE HasIdentity() {
        if (!IsCustomSupportOn()) return false;
        kcom::CComVariant value;
        this->ITestObjectInfo_get_Prop(kcom::CComBSTR(L"objectid"), nullptr, nullptr, nullptr, value.Put());
        if (value.vt == VT_UNKNOWN && value.punkVal) return true;
        kcom::CComVariant parent;
        return SUCCEEDED(this->ITestObjectInfo_get_Prop(kcom::CComBSTR(L"parent"), nullptr, nullptr, nullptr,
                                                        parent.Put())) &&
               parent.vt != VT_EMPTY;
    }
    virtual bool STDMETHODCALLTYPE IsCustomReplayProgID(BSTR className, BSTR progId) {
        kcom::CComBSTR replay;
        if (FAILED(GetCustomReplayProgID(className, replay.Put()))) return false;
        return std::wcscmp(replay ? static_cast<const wchar_t*>(replay) : L"", progId ? progId : L"") == 0;
    }
    virtual HRESULT STDMETHODCALLTYPE GetCustomRecordProgID(BSTR className, BSTR* progId) {
        return ReadCustomProgID(className, kcom::CComBSTR(L"CustRecordProgID"), progId);
    }
    virtual HRESULT STDMETHODCALLTYPE GetCustomReplayProgID(BSTR className, BSTR* progId) {
        return ReadCustomProgID(className, kcom::CComBSTR(L"CustReplayProgID"), progId);
    }
    // The value of "<ProgID section>\<class>" in the host's settings; E_FAIL unless it is text.
    virtual HRESULT STDMETHODCALLTYPE ReadCustomProgID(BSTR className, BSTR valueName, BSTR* out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        return TestObjectGuard([&]() -> HRESULT {
            kcom::CComBSTR key;
            GetCustomProgIdKey(key.Put());
            std::wstring section = key ? static_cast<const wchar_t*>(key) : L"";
            section += L'\\';
            section += className ? className : L"";
            kcom::CComVariant value;
            if (FAILED(Base::GetTestOption(section.c_str(), valueName, value.Put())) || value.vt != VT_BSTR)
                return E_FAIL;
            *out = value.bstrVal;
            value.vt = VT_EMPTY;
            return S_OK;
        });
    }
    virtual HRESULT STDMETHODCALLTYPE GetSimClass(BSTR* className) {
        if (!className) return E_POINTER;
        *className = nullptr;
        kcom::CComVariant value;
        this->ITestObjectInfo_get_Prop(kcom::CComBSTR(L"SimClass"), nullptr, nullptr, nullptr, value.Put());
        if (value.vt != VT_BSTR) {
            value.Clear();
            this->ITestObjectInfo_get_Prop(kcom::CComBSTR(L"MyIdWhenCustExists"), nullptr, nullptr, nullptr,
                                           value.Put());
        }
        if (value.vt != VT_BSTR) return E_FAIL;
        *className = value.bstrVal;
        value.vt = VT_EMPTY;
        return S_OK;
    }
    virtual HRESULT STDMETHODCALLTYPE SetSimClass(VARIANT className) {
        kcom::CComBSTR name(L"SimClass");
        const HRESULT hr = this->ITestObjectInfo_put_PropExpr(name, nullptr, nullptr, nullptr, className);
        this->ITestObjectInfo_SetPropFlags(name, kSimClassFlag);
        return hr;
    }
    // The last object of the chain that starts at the delegate replay skeleton.
    virtual HRESULT STDMETHODCALLTYPE GetOutermostDataTarget(IUnknown** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        kcom::CComPtr<IUnknown> current;
        if (FAILED(this->GetReplaySkeleton(current.Put())) || !current) return E_FAIL;
        kcom::CComPtr<IUnknown> last;
        // A chain that comes back to an object already passed would never end.
        std::vector<kcom::CComPtr<IUnknown>> passed;
        while (current) {
            kcom::CComPtr<IUnknown> identity;
            current.QueryInterface(identity.Put());
            for (const auto& seen : passed)
                if (seen.get() == identity.get()) return last ? last.CopyTo(out) : E_FAIL;
            passed.push_back(identity);
            kcom::CComPtr<IKorObjectChain> link;
            kcom::CComPtr<IUnknown> next;
            if (FAILED(current.QueryInterface(link.Put())) || !link || FAILED(link->GetNext(next.Put())) || !next)
                break;
            last = next;
            current = next;
        }
        return last ? last.CopyTo(out) : E_FAIL;
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
    STDMETHOD(RecordStep)(BSTR method, VARIANT args, long stepKind) override {
        SAFEARRAY* array = ArrayOf(args);
        if (!array) return E_INVALIDARG;
        return TestObjectGuard([&] { return this->RegisterObject(method, array, stepKind, 0xFFFFFFFF); });
    }
    STDMETHOD(PrepareForAction)(long bits) override {
        return TestObjectGuard([&]() -> HRESULT {
            kcom::CComPtr<IStdReplay> replay;
            IUnknown* identity = Owner()->GetControllingUnknown();
            if (!identity || FAILED(identity->QueryInterface(__uuidof(IStdReplay), reinterpret_cast<void**>(replay.Put()))) ||
                !replay)
                return E_NOINTERFACE;
            return replay->PrepareObject((bits & 1) ? 1 : 0, (bits & 2) ? 1 : 0, (bits & 4) ? 1 : 0, (bits & 8) ? 1 : 0);
        });
    }
    STDMETHOD(ReportStep)(BSTR first, BSTR second, VARIANT args) override {
        SAFEARRAY* array = ArrayOf(args);
        if (!array) return E_INVALIDARG;
        return TestObjectGuard([&] {
            this->ReportDirectEvent(first, kStatusDone, array, second);
            DWORD node = static_cast<DWORD>(Owner()->ReportNode());
            const HRESULT hr = this->ReplayReport(first, kStatusDone, array, &node, nullptr, second);
            Owner()->SetReportNode(static_cast<LONG>(node));
            return hr;
        });
    }
    // Closes the open report node as failed, reports hr and raises the replay error; the error
    // comes back as the result, since it cannot travel through the custom object's frames.
    STDMETHOD(ReportFailure)(HRESULT failure) override {
        return TestObjectGuard([&]() -> HRESULT {
            const LONG node = Owner()->ReportNode();
            if (node != -1) {
                kcom::CComPtr<IObjectRack> rack;
                kcom::CComPtr<IUnknown> object;
                kcom::CComPtr<IKorTestReport> report;
                if (SUCCEEDED(this->GetRack(rack.Put())) && rack &&
                    SUCCEEDED(rack->GetObject(kcom::CComBSTR(L"TestReport"), __uuidof(IKorTestReport), object.Put())) &&
                    object && SUCCEEDED(object.QueryInterface(report.Put())) && report)
                    report->SetEventStatus(node, kStatusStepFailed);
                Owner()->SetReportNode(-1);
            }
            this->ReportReplayLog(failure);
            this->RaiseReplayError(failure, kStatusStepFailed);
            return failure;  // not reached: the error is raised
        });
    }
    STDMETHOD(GetWindowHandle)(long* window) override {
        if (!window) return E_POINTER;
        const HRESULT hr = ReadCustomControlWindow();
        *window = static_cast<long>(reinterpret_cast<LONG_PTR>(m_customControlWindow));
        return hr;
    }
    STDMETHOD(GetTestOption)(BSTR section, BSTR key, VARIANT* value) override {
        if (!value) return E_POINTER;
        ::VariantInit(value);  // an [out] value: what the caller left there is not ours to free
        return TestObjectGuard([&] {
            kcom::CComVariant read;
            const HRESULT hr = Base::GetTestOption(section, key, read.Put());
            if (FAILED(hr)) return hr;
            return ::VariantCopy(value, &read);
        });
    }

protected:
    enum RunMode { kRecording = 0, kRecordOn = 1, kIdle = 2 };
    static constexpr ULONG kSimClassFlag = 0x200000;

    T* Owner() noexcept { return static_cast<T*>(this); }
    // Off while an outer object handles it.
    bool IsCustomSupportOn() const noexcept { return this->m_outer == nullptr; }

    // 0 while the record manager records, 1 while recording is switched on, else 2.
    int GetRunMode() {
        kcom::CComPtr<IObjectRack> rack;
        kcom::CComPtr<IUnknown> object;
        kcom::CComPtr<IKorRecordMgrState> state;
        long recording = 0;
        if (SUCCEEDED(this->GetRack(rack.Put())) && rack &&
            SUCCEEDED(rack->GetObject(kcom::CComBSTR(L"RecordMgr"), __uuidof(IKorRecordMgrState), object.Put())) &&
            object && SUCCEEDED(object.QueryInterface(state.Put())) && state &&
            SUCCEEDED(state->GetRecordingState(&recording)) && recording != 0)
            return kRecording;
        return this->IsOnRecord() ? kRecordOn : kIdle;
    }

    // Identifies the control and keeps its window; the identification's or the read's result.
    HRESULT ReadCustomControlWindow() {
        return TestObjectGuard([&]() -> HRESULT {
            kcom::CComPtr<IUnknown> found;
            HRESULT hr = this->ITestObject_FindObjectId(found.Put(), nullptr);
            if (FAILED(hr)) return hr;
            if (!found) return E_FAIL;
            long value = 0;
            hr = CRuntimeId(kcom::CComVariant(found.get())).GetLong(L"hwnd", &value);
            if (SUCCEEDED(hr)) m_customControlWindow = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
            return hr;
        });
    }

    // A custom object from its ProgID; the failure of the look-up or of the creation.
    template <class I>
    static HRESULT MakeCustomObject(BSTR progId, REFIID iid, kcom::CComPtr<I>& object) {
        CLSID clsid;
        const HRESULT hr = ::CLSIDFromProgID(progId, &clsid);
        if (FAILED(hr)) return hr;
        return ::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, reinterpret_cast<void**>(object.Put()));
    }

    // The end of CreateCustomHelper: the helper gets its owner and the owner's default dispatch
    // interface, both borrowed.
    HRESULT AttachCustomHelper(CustomHelper* helper, IUnknown* identity) {
        if (m_customHelper) {
            delete helper;
            return S_OK;
        }
        if (!helper) return E_OUTOFMEMORY;
        kcom::CComPtr<IDispatch> dispatch;
        if (FAILED(Owner()->GetDefaultDispatch(dispatch.Put())) || !dispatch) {
            delete helper;
            return E_UNEXPECTED;
        }
        helper->Attach(Owner(), dispatch.get());  // part of the owner, so it lives as long
        m_helperObject = helper;
        m_customHelper = identity;
        return S_OK;
    }

    // Lets the custom objects go; a helper they keep answers errors from now on.
    void DropCustomObjects() noexcept {
        if (m_helperObject) m_helperObject->Detach();
        m_helperObject = nullptr;
        m_customHelper.Release();
        m_customRecorder.Release();
        m_customReplay.Release();
    }

    // The array a VARIANT holds, also by reference; null for anything else.
    static SAFEARRAY* ArrayOf(const VARIANT& value) noexcept {
        if (!(value.vt & VT_ARRAY)) return nullptr;
        if (value.vt & VT_BYREF) return value.pparray ? *value.pparray : nullptr;
        return value.parray;
    }

    kcom::CComBSTR m_customProgIdKey;
    // The custom record object, the record filter mode it asked for (0 the control's own window,
    // 1 every window, 2 the control's window and its children), and the control's window.
    kcom::CComPtr<ICustomRecorder> m_customRecorder;
    kcom::CComPtr<IDispatch> m_customReplay;
    long m_recordFilterMode = 0;
    HWND m_customControlWindow = nullptr;
    // Set before creation is tried.
    bool m_recordObjectMade = false;
    bool m_replayObjectMade = false;
    bool m_identificationNoticeGiven = false;
    kcom::CComPtr<IUnknown> m_customHelper;
    CustomHelper* m_helperObject = nullptr;  // the object behind m_customHelper
};
