// A thousand replayed steps in one process through the package DLL itself, as a script client
// calls them: clicks on the windowed and on a windowless control and steps that fail, on test
// objects made and let go along the way. Memory stays flat, no test object outlives its last
// reference and the DLL can be unloaded at the end.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include <string>
#include <vector>
#include "AcxHostBed.h"
#include "AutTestBed.h"
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "com/Handles.h"
#include "environment/LoadTimeValues.h"
#include "errors/TestObjectError.h"
#include "tables/RuntimeId.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

template <class F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// The committed memory of the process (Wine reports no private usage).
SIZE_T Committed() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters) ? counters.PagefileUsage : 0;
}

// The host's test report, keeping a count only: the report stand-in keeps every event, which
// would grow with the run.
class CCountingReport : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorTestReport {
public:
    BEGIN_COM_MAP(CCountingReport)
        COM_INTERFACE_ENTRY(IKorTestReport)
    END_COM_MAP()
    STDMETHOD(ReportEvent)(BSTR, IDispatch*, long, long* id) override {
        if (id) *id = ++events;
        return S_OK;
    }
    STDMETHOD(StartDirectMode)(long, long) override { return S_OK; }
    STDMETHOD(EndDirectMode)() override { return S_OK; }
    STDMETHOD(SetEventStatus)(long, long) override { return S_OK; }
    long events = 0;
};

// Forgets the calls a stand-in noted, when it notes them.
template <class Holder>
void ForgetCalls(Holder& standIn) {
    if constexpr (requires { standIn->Log().Clear(); }) standIn->Log().Clear();
}

class ThousandSteps : public ::testing::Test {
protected:
    void SetUp() override {
        dll_.Reset(::LoadLibraryW(L"Kestrune.dll"));
        ASSERT_TRUE(dll_);
        getClassObject_ = Export<decltype(getClassObject_)>(dll_, "DllGetClassObject");
        canUnload_ = Export<decltype(canUnload_)>(dll_, "DllCanUnloadNow");
        ASSERT_TRUE(getClassObject_ && canUnload_);
        ASSERT_HRESULT_SUCCEEDED(bed_.Start(kAutControlsScenario));
        bed_.rack->Put(L"TestReport", report_.as<IKorTestReport>());
        bed_.options->Put(L"", L"OnReplay", CComVariant(true));
        // A control that is not there fails at once instead of being looked for.
        bed_.options->Put(L"", L"DefaultTimeout", 0L);
        bed_.options->Put(L"", L"DefaultDelay", 0L);
        main_ = bed_.aut.Window(L"main");
        bed_.TakeDesktop(main_);
        ASSERT_EQ(S_OK, getClassObject_(CLSID_KorActiveX, IID_IClassFactory, reinterpret_cast<void**>(factory_.Put())));
    }

    // A test object of the DLL for the control, as the host's factory hands it out.
    CComPtr<IDispatch> TestObject(HWND window, long cookie) {
        CComPtr<IDispatch> object;
        EXPECT_EQ(S_OK, factory_->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(object.Put())));
        if (!object) return object;
        CRuntimeId id(cookie ? g_cfWindowlessAcxControl : g_cfShelHalonotRegilim);
        id.PutVariantValue(L"hwnd", CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(window))));
        if (cookie) id.PutVariantValue(L"punknown", CComVariant(cookie));
        kcom::CComQIPtr<IObjectRackClient>(object.get())->SetRack(bed_.Rack());
        kcom::CComQIPtr<ITestObjectInfo>(object.get())
            ->put_PropExpr(CComBSTR(L"objectid"), nullptr, nullptr, nullptr,
                           CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id))));
        kcom::CComQIPtr<IKorActiveXInit>(object.get())->Init(cookie ? g_cfWindowlessAcxControl : g_cfShelHalonotRegilim);
        return object;
    }

    // One step by name through IDispatch, as a script calls it.
    static HRESULT Step(IDispatch* object, const wchar_t* name) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        if (FAILED(hr)) return hr;
        DISPPARAMS none{};
        EXCEPINFO excep{};
        CComVariant result;
        hr = object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, result.Put(), &excep, nullptr);
        ::SysFreeString(excep.bstrSource);
        ::SysFreeString(excep.bstrDescription);
        ::SysFreeString(excep.bstrHelpFile);
        return hr == DISP_E_EXCEPTION && excep.scode ? excep.scode : hr;
    }

    // Ten steps on fresh test objects: windowed and windowless clicks, and clicks on a control that
    // is not there, whose identity the object still holds (not visible); the first surprise, or S_OK.
    HRESULT Round() {
        CComPtr<IDispatch> windowed = TestObject(bed_.aut.Window(L"ctl"), 0);
        CComPtr<IDispatch> windowless = TestObject(main_, 7);
        CComPtr<IDispatch> lost = TestObject(main_, 99);
        if (!windowed || !windowless || !lost) return E_FAIL;
        for (int i = 0; i < 4; ++i) {
            if (HRESULT hr = Step(windowed, L"Click"); hr != S_OK) return hr;
            if (HRESULT hr = Step(windowless, L"Click"); hr != S_OK) return hr;
        }
        // The raised replay error, through its whole road: report, error information, exception.
        for (int i = 0; i < 2; ++i)
            if (HRESULT hr = Step(lost, L"Click"); hr != KOR_E_OBJECT_NOT_VISIBLE) return SUCCEEDED(hr) ? E_FAIL : hr;
        ForgetAll();
        return S_OK;
    }

    // What the host's stand-ins keep of the steps: their notes would grow with the run.
    void ForgetAll() {
        ForgetCalls(bed_.rack);
        ForgetCalls(bed_.options);
        ForgetCalls(bed_.recordMgr);
        ForgetCalls(bed_.objectManager);
        ForgetCalls(bed_.scriptManager);
        ForgetCalls(bed_.activeFlow);
        ForgetCalls(bed_.exceptionMgr);
        ForgetCalls(bed_.genericHandler);
        ForgetCalls(bed_.pkgSrvMgr);
        ForgetCalls(bed_.recordingState);
        ForgetCalls(bed_.queryEngine);
        ForgetCalls(bed_.relations);
        ForgetCalls(bed_.paramTypes);
        ForgetCalls(bed_.patternMgr);
        ForgetCalls(bed_.application);
        ForgetCalls(bed_.deviceReplay);
    }

    void TearDown() override {
        factory_.Release();
        EXPECT_FALSE(standin::CWinObjectStandIn::Last());  // every test object's inner object is gone
        EXPECT_EQ(S_OK, canUnload_());
    }

    CAcxHostBed bed_;
    standin::Holder<CCountingReport> report_ = standin::Holder<CCountingReport>::New();
    HWND main_ = nullptr;
    kcom::CLibrary dll_;
    HRESULT(WINAPI* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* canUnload_)() = nullptr;
    CComPtr<IClassFactory> factory_;
};

TEST_F(ThousandSteps, MemoryStaysFlatAndEveryObjectGoes) {
    for (int round = 0; round < 10; ++round) ASSERT_EQ(S_OK, Round()) << round;  // warm every path and the heap
    const SIZE_T before = Committed();
    ASSERT_NE(0u, before);
    const long reportsBefore = report_->events;
    for (int round = 0; round < 100; ++round) ASSERT_EQ(S_OK, Round()) << round;
    const SIZE_T after = Committed();
    EXPECT_GE(report_->events - reportsBefore, 100 * 10);  // every step reached the report
    // A leak of a few bytes a step stays below the heap's granularity; a test object, a string
    // or an array kept per step would not.
    EXPECT_LT(static_cast<LONGLONG>(after) - static_cast<LONGLONG>(before), 256 * 1024)
        << before << " -> " << after;
}

}  // namespace
