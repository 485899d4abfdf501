// Replay errors: the error information and reports of RaiseReplayError, and an error raised under
// oleaut32's ITypeInfo::Invoke, which waits in its step and is raised again once Invoke returned.
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include "FakeClock.h"
#include "StepTestObject.h"
#include "com/ComBSTR.h"
#include "errors/TestObjectError.h"
#include "testobject/forwarding/Forwarding.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

TEST(ReplayError, RaisedWithItsInformationAfterOneReportAndTheDescription) {
    CTestHost host;
    StepObject object = NewStepObject(host);
    object.as<ITestObject>()->SetLogicalName(CComBSTR(L"OK"));
    long identifying = 0x10;
    object->ITestObjectInfo_put_PropExpr(CComBSTR(L"text"), &identifying, nullptr, nullptr, CComVariant(L"OK"));
    CKorException* raised = nullptr;
    try {
        object->RaiseReplayError(KOR_E_OBJECT_NOT_FOUND, 3);
    } catch (CKorException* e) {
        raised = e;
    }
    ASSERT_NE(raised, nullptr);
    EXPECT_EQ(raised->Error(), KOR_E_OBJECT_NOT_FOUND);
    CComPtr<IErrorInfo> thread;
    ASSERT_EQ(::GetErrorInfo(0, thread.Put()), S_OK);
    EXPECT_EQ(thread.get(), raised->ErrorInfo());  // the thread's, on the way to the COM boundary
    CComBSTR description, source, helpFile;
    GUID guid{};
    DWORD context = 0;
    thread->GetDescription(description.Put());
    thread->GetSource(source.Put());
    thread->GetHelpFile(helpFile.Put());
    thread->GetHelpContext(&context);
    thread->GetGUID(&guid);
    EXPECT_STREQ(description.c_str(), L"Cannot identify the object \"OK\" (of class TestClass).");
    EXPECT_STREQ(source.c_str(), L"Run Error");
    EXPECT_STREQ(helpFile.c_str(), L"Error_Cannot_ID.htm");
    EXPECT_EQ(context, 1u);
    EXPECT_TRUE(::IsEqualGUID(guid, IID_IDispatch));
    // The error's report, then the object's description under it in direct mode.
    const auto& events = host.report->Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].Text(L"NodeType"), L"Run Error");
    EXPECT_EQ(events[0].Text(L"StepInfo"), std::wstring(description.c_str()));
    EXPECT_EQ(events[0].Item(L"Status").lVal, 2);
    EXPECT_EQ(raised->Extra(), static_cast<DWORD>(events[0].id));
    EXPECT_NE(events[2].Text(L"StepInfo").find(L"text = OK"), std::wstring::npos);
    delete raised;

    // Filtered out, the error is raised all the same, without a report.
    host.options->Put(L"", L"ReportEventMask", 0L);
    StepObject filtered = NewStepObject(host);
    try {
        filtered->RaiseReplayError(E_ACCESSDENIED, 3);
    } catch (CKorException* e) {
        CComBSTR file;
        e->ErrorInfo()->GetHelpFile(file.Put());
        EXPECT_EQ(file.Length(), 0u);  // a code without a help page
        EXPECT_EQ(e->Extra(), 0u);
        delete e;
    }
    EXPECT_EQ(events.size(), 4u);
}

struct CCounted : CKorException {
    explicit CCounted(HRESULT hr) : CKorException(hr, nullptr, 0) { ++alive; }
    ~CCounted() override { --alive; }
    static inline int alive = 0;
};

TEST(ReplayError, AStepKeepsTheFirstErrorAndItsRecordKeepsItsLayout) {
    CReplaySkeletonContext step(&IID_IDispatch, 7, L"Click", nullptr, 0);
    CReplaySkeletonContext::Park(new CCounted(E_FAIL));  // no step runs: dropped
    {
        CReplaySkeletonContext::CParkingScope scope(step);
        CReplaySkeletonContext::Park(new CCounted(KOR_E_OBJECT_NOT_FOUND));
        CReplaySkeletonContext::Park(new CCounted(KOR_E_OBJECT_NOT_UNIQUE));
        EXPECT_EQ(CCounted::alive, 1);
        try {
            step.RaiseParked();
        } catch (CKorException* e) {
            EXPECT_EQ(e->Error(), KOR_E_OBJECT_NOT_FOUND);
            delete e;
        }
        step.RaiseParked();  // nothing left
        CReplaySkeletonContext::Park(new CCounted(E_FAIL));
    }
    EXPECT_EQ(CCounted::alive, 1);  // held by the step until it ends

    // The fields the inner object reads, at their places behind the virtual table.
    const char* base = reinterpret_cast<const char*>(&step);
    auto at = [&](const void* field) { return static_cast<const char*>(field) - base; };
    const std::vector<ptrdiff_t> offsets = {
        at(&step.m_iid), at(&step.m_dispid), at(std::addressof(step.m_methodName)), at(&step.m_params), at(&step.m_startTick),
        at(&step.m_findContext), at(&step.m_deadline), at(std::addressof(step.m_innerSkeleton)), at(&step.m_retry),
        at(&step.m_attemptCount), at(&step.m_maxAttempts), at(&step.m_lastResult), at(&step.m_rows)};
    EXPECT_EQ(offsets, (std::vector<ptrdiff_t>{4, 8, 12, 16, 20, 24, 32, 36, 40, 44, 48, 52, 56}));
    EXPECT_GT(at(&step.m_parkedError), at(&step.m_rows));
}

// ---- Through ITypeInfo::Invoke -----------------------------------------------------------------

// A small interface that oleaut32 invokes from its type information: IDispatch's slots, then one
// method, a guarded COM method of the test object that raises a replay error for a failing code.
struct IStepAction : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE DoStep(long code) = 0;
};

class CStepAction : public IStepAction {
public:
    explicit CStepAction(CStepTestObject* object) : m_object(object) {}
    STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
        *out = (iid == IID_IUnknown || iid == IID_IDispatch) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(GetTypeInfoCount)(UINT*) override { return E_NOTIMPL; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
    STDMETHOD(DoStep)(long code) override {
        ++calls;
        return TestObjectGuard([&]() -> HRESULT {
            if (FAILED(code)) m_object->RaiseReplayError(code, 3);
            return S_OK;
        });
    }
    int calls = 0;

private:
    CStepTestObject* m_object;
};

class ParkedError : public ::testing::Test {
protected:
    void SetUp() override {
        control = host.queryEngine->AddObject(L"Button1");
        object->ITestObjectInfo_put_PropExpr(CComBSTR(L"objectid"), nullptr, nullptr, nullptr,
                                             CComVariant(static_cast<IUnknown*>(control.as<IRuntimeID>())));
        object->methods = {{L"Click", kRunOwnHooks}};
        static PARAMDATA param = {const_cast<OLECHAR*>(L"code"), VT_I4};
        static METHODDATA method = {const_cast<OLECHAR*>(L"DoStep"), &param, 1, 7, CC_STDCALL, 1, DISPATCH_METHOD,
                                    VT_ERROR};
        static INTERFACEDATA data = {&method, 1};
        CComPtr<ITypeInfo> coclass;
        ASSERT_EQ(::CreateDispTypeInfo(&data, LOCALE_SYSTEM_DEFAULT, coclass.Put()), S_OK);
        HREFTYPE itf = 0;  // the interface the class implements holds the method
        ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &itf), S_OK);
        ASSERT_EQ(coclass->GetRefTypeInfo(itf, typeInfo.Put()), S_OK);
    }
    static HRESULT Invoke(void* target, DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* excepInfo, UINT* argErr) {
        auto* self = static_cast<ParkedError*>(target);
        return self->typeInfo->Invoke(static_cast<IStepAction*>(&self->action), dispid, flags, params, result,
                                      excepInfo, argErr);
    }
    StepOutcome Run(long code) {
        CComVariant argument(code);
        DISPPARAMS params{&argument, nullptr, 1, 0};
        EXCEPINFO info{};
        StepOutcome out = RunStep(object.get(), this, &ParkedError::Invoke, &params, &info);
        ::SysFreeString(info.bstrSource);
        ::SysFreeString(info.bstrDescription);
        ::SysFreeString(info.bstrHelpFile);
        return out;
    }
    int ErrorReports() const {
        int n = 0;
        for (const auto& e : host.report->Events()) n += e.Text(L"NodeType") == L"Run Error";
        return n;
    }

    CFakeClock clock{100};
    CTestHost host;
    RuntimeObject control;
    StepObject object = NewStepObject(host);
    CStepAction action{object.get()};
    CComPtr<ITypeInfo> typeInfo;
};

TEST_F(ParkedError, ComesOutOfTheStepAfterInvokeWithItsInformationOneReportAndTheStepClosed) {
    const StepOutcome out = Run(KOR_E_OBJECT_NOT_UNIQUE);
    EXPECT_EQ(action.calls, 1);
    EXPECT_TRUE(out.raised);
    EXPECT_EQ(out.hr, KOR_E_OBJECT_NOT_UNIQUE);
    ASSERT_TRUE(out.errorInfo);
    CComBSTR description;
    out.errorInfo->GetDescription(description.Put());
    EXPECT_STREQ(description.c_str(),
                 L"The object \"[ TestClass ]\" (of class TestClass) has more than one match in the application.");
    // Raised again as it was: no arguments report and no second raise after the operation.
    EXPECT_EQ(ErrorReports(), 1);
    EXPECT_EQ(out.eventId, static_cast<DWORD>(host.report->Events()[0].id));
    EXPECT_EQ(object->Count(L"ReportReplayArguments"), 0);
    EXPECT_EQ(object->Count(L"AfterReplayAction"), 0);
    EXPECT_EQ(object->m_currentStep, nullptr);
    // oleaut32 took the thread's error information for its answer; it is the thread's again.
    CComPtr<IErrorInfo> thread;
    EXPECT_EQ(::GetErrorInfo(0, thread.Put()), S_OK);
    EXPECT_EQ(thread.get(), out.errorInfo.get());

    const StepOutcome passed = Run(S_OK);
    EXPECT_FALSE(passed.raised);
    EXPECT_EQ(passed.hr, S_OK);
    EXPECT_EQ(object->Count(L"AfterReplayAction"), 1);
}

TEST_F(ParkedError, AnErrorRaisedBehindAComMethodCalledByAHookIsRaisedOnce) {
    object->onNote = [&](const wchar_t* hook) {
        if (std::wstring(hook) == L"BeforeActionFirst") action.DoStep(KOR_E_OBJECT_NOT_VISIBLE);
    };
    const StepOutcome out = Run(S_OK);
    EXPECT_TRUE(out.raised);
    EXPECT_EQ(out.hr, KOR_E_OBJECT_NOT_VISIBLE);
    EXPECT_EQ(ErrorReports(), 1);
    EXPECT_EQ(object->Count(L"BeforeActionSecond"), 0);
    EXPECT_EQ(object->Count(L"ReportReplayArguments"), 0);
    EXPECT_EQ(action.calls, 1);  // the hook's call; the operation never ran
}

}  // namespace
