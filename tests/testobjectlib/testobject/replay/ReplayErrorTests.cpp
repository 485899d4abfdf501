// Replay errors: the error information RaiseReplayError sets and the exception it raises, and an
// error raised under oleaut32's ITypeInfo::Invoke, which waits in the step and is raised again once
// Invoke has returned.
#include <gtest/gtest.h>
#include <string>
#include "FakeClock.h"
#include "StepTestObject.h"
#include "com/ComBSTR.h"
#include "errors/TestObjectError.h"
#include "testobject/forwarding/ForwardGuard.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

// An exception that counts the live ones.
class CCountedError : public CKorException {
public:
    explicit CCountedError(HRESULT hr) : CKorException(hr, nullptr, 0) { ++alive; }
    ~CCountedError() override { --alive; }
    static inline int alive = 0;
};

TEST(ReplayError, RaisedWithItsDescriptionSourceAndHelpPage) {
    CTestHost host;
    StepObject object = NewStepObject(host);
    object.as<ITestObject>()->SetLogicalName(CComBSTR(L"OK"));
    long identifying = 0x10;
    object->ITestObjectInfo_put_PropExpr(CComBSTR(L"text"), &identifying, nullptr, nullptr, CComVariant(L"OK"));
    ::SetErrorInfo(0, nullptr);
    CKorException* raised = nullptr;
    try {
        object->RaiseReplayError(KOR_E_OBJECT_NOT_FOUND, 3);
    } catch (CKorException* e) {
        raised = e;
    }
    ASSERT_NE(raised, nullptr);
    EXPECT_EQ(raised->Error(), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(raised->ErrorMessage(), nullptr);
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
    EXPECT_STREQ(raised->ComError().Description().c_str(), description.c_str());
    EXPECT_STREQ(source.c_str(), L"Run Error");
    EXPECT_STREQ(helpFile.c_str(), L"Error_Cannot_ID.htm");
    EXPECT_EQ(context, 1u);
    EXPECT_TRUE(::IsEqualGUID(guid, IID_IDispatch));
    // One report of the error, then the object's description under it (in direct mode).
    const auto& events = host.report->Events();
    ASSERT_GE(events.size(), 1u);
    EXPECT_EQ(events[0].type, L"Replay");
    EXPECT_EQ(events[0].Text(L"NodeType"), L"Run Error");
    EXPECT_EQ(events[0].Text(L"StepInfo"), std::wstring(description.c_str()));
    EXPECT_EQ(events[0].Item(L"Status").lVal, 2);
    EXPECT_EQ(raised->Extra(), static_cast<DWORD>(events[0].id));
    EXPECT_EQ(host.report->Log().Count(L"StartDirectMode"), 1);
    ASSERT_GE(events.size(), 3u);
    EXPECT_NE(events[2].Text(L"StepInfo").find(L"text = OK"), std::wstring::npos);
    delete raised;

    // A report filter without the replay bit drops the report; the error is raised all the same.
    host.options->Put(L"", L"ReportEventMask", 0L);
    StepObject filtered = NewStepObject(host);
    const size_t before = host.report->Events().size();
    try {
        filtered->RaiseReplayError(KOR_E_OBJECT_NOT_FOUND, 3);
    } catch (CKorException* e) {
        EXPECT_EQ(e->Extra(), 0u);
        delete e;
    }
    EXPECT_EQ(host.report->Events().size(), before);

    // A code without a help page carries no help file.
    try {
        object->RaiseReplayError(E_ACCESSDENIED, 3);
    } catch (CKorException* e) {
        CComBSTR file;
        e->ErrorInfo()->GetHelpFile(file.Put());
        EXPECT_EQ(file.Length(), 0u);
        delete e;
    }
}

TEST(ReplayError, TheFirstErrorOfAStepWaitsInItTheRestAreDropped) {
    CReplaySkeletonContext step(&IID_IDispatch, 1, L"Click", nullptr, 0);
    CReplaySkeletonContext::Park(new CCountedError(E_FAIL));  // no step runs: dropped
    EXPECT_EQ(CCountedError::alive, 0);
    {
        CReplaySkeletonContext::CParkingScope scope(step);
        CReplaySkeletonContext::Park(new CCountedError(KOR_E_OBJECT_NOT_FOUND));
        CReplaySkeletonContext::Park(new CCountedError(KOR_E_OBJECT_NOT_UNIQUE));
        EXPECT_EQ(CCountedError::alive, 1);
        try {
            step.RaiseParked();
            ADD_FAILURE() << "nothing raised";
        } catch (CKorException* e) {
            EXPECT_EQ(e->Error(), KOR_E_OBJECT_NOT_FOUND);
            delete e;
        }
        step.RaiseParked();  // nothing left
        CReplaySkeletonContext::Park(new CCountedError(E_FAIL));
    }
    CReplaySkeletonContext::Park(new CCountedError(E_FAIL));  // the scope has ended
    EXPECT_EQ(CCountedError::alive, 1);                        // the one the step still holds
}

TEST(ReplayError, StepRecordKeepsItsBinaryLayout) {
    CReplaySkeletonContext step(&IID_IDispatch, 7, L"Click", nullptr, 0);
    auto at = [&](const void* field) { return static_cast<const char*>(field) - reinterpret_cast<const char*>(&step); };
    EXPECT_EQ(at(&step.m_iid), 4);
    EXPECT_EQ(at(&step.m_dispid), 8);
    EXPECT_EQ(at(&step.m_methodName), 12);
    EXPECT_EQ(at(&step.m_params), 16);
    EXPECT_EQ(at(&step.m_startTick), 20);
    EXPECT_EQ(at(&step.m_findContext), 24);
    EXPECT_EQ(at(&step.m_deadline), 32);
    EXPECT_EQ(at(&step.m_innerSkeleton), 36);
    EXPECT_EQ(at(&step.m_retry), 40);
    EXPECT_EQ(at(&step.m_attemptCount), 44);
    EXPECT_EQ(at(&step.m_maxAttempts), 48);
    EXPECT_EQ(at(&step.m_lastResult), 52);
    EXPECT_EQ(at(&step.m_rows), 56);
    EXPECT_GT(at(&step.m_parkedError), at(&step.m_rows));
    EXPECT_EQ(step.m_attemptCount, 1u);
    EXPECT_EQ(step.m_findContext.timeout, -1);
}

// ---- Through ITypeInfo::Invoke -----------------------------------------------------------------

// A small interface that oleaut32 invokes from its type information: IDispatch's slots, then one
// method, whose body is a guarded COM method of the test object raising a replay error.
struct IStepAction : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE DoStep(long code) = 0;
};

class CStepAction : public IStepAction {
public:
    explicit CStepAction(CStepTestObject* object) : m_object(object) {}
    STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
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
        return ForwardGuard([&]() -> HRESULT {
            if (FAILED(code)) m_object->RaiseReplayError(code, 3);
            return S_OK;
        });
    }
    int calls = 0;

private:
    CStepTestObject* m_object;
};

struct InvokeOperation {
    CComPtr<ITypeInfo> typeInfo;
    CStepAction* action;
    static HRESULT Run(void* target, DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* excepInfo, UINT* argErr) {
        auto* self = static_cast<InvokeOperation*>(target);
        return self->typeInfo->Invoke(static_cast<IStepAction*>(self->action), dispid, flags, params, result,
                                      excepInfo, argErr);
    }
};

class ParkedError : public ::testing::Test {
protected:
    void SetUp() override {
        host.options->Put(L"", L"OnReplay", CComVariant(true));
        control = host.queryEngine->AddObject(L"Button1");
        CComBSTR id(L"objectid");
        object->ITestObjectInfo_put_PropExpr(id, nullptr, nullptr, nullptr,
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
        ASSERT_EQ(coclass->GetRefTypeInfo(itf, operation.typeInfo.Put()), S_OK);
        operation.action = &action;
    }
    StepOutcome Run(long code, EXCEPINFO* info) {
        CComVariant argument(code);
        DISPPARAMS params{&argument, nullptr, 1, 0};
        return RunStep(object.get(), L"Click", &operation, &InvokeOperation::Run, &params, info);
    }

    CFakeClock clock{100};
    CTestHost host;
    RuntimeObject control;
    StepObject object = NewStepObject(host);
    CStepAction action{object.get()};
    InvokeOperation operation;
};

TEST_F(ParkedError, ComesOutOfTheStepAfterInvokeWithItsInformationAndTheStepClosed) {
    EXCEPINFO info{};
    const StepOutcome out = Run(KOR_E_OBJECT_NOT_UNIQUE, &info);
    EXPECT_EQ(action.calls, 1);
    EXPECT_TRUE(out.raised);
    EXPECT_EQ(out.hr, KOR_E_OBJECT_NOT_UNIQUE);
    ASSERT_TRUE(out.errorInfo);
    CComBSTR description;
    out.errorInfo->GetDescription(description.Put());
    EXPECT_STREQ(description.c_str(), L"The object \"[ TestClass ]\" (of class TestClass) has more than one match in the application.");
    // Raised again as it was: the step did not report the arguments and raise once more.
    EXPECT_EQ(object->Count(L"ReportReplayArguments"), 0);
    int errors = 0;
    for (const auto& e : host.report->Events()) errors += e.Text(L"NodeType") == L"Run Error";
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(out.eventId, static_cast<DWORD>(host.report->Events()[0].id));
    EXPECT_EQ(object->Count(L"AfterReplayAction"), 0);
    EXPECT_EQ(object->m_currentStep, nullptr);
    // oleaut32 took the error information for its own answer; the raised error carries it again.
    CComPtr<IErrorInfo> thread;
    EXPECT_EQ(::GetErrorInfo(0, thread.Put()), S_OK);
    EXPECT_EQ(thread.get(), out.errorInfo.get());
    ::SysFreeString(info.bstrSource);
    ::SysFreeString(info.bstrDescription);
    ::SysFreeString(info.bstrHelpFile);
}

TEST_F(ParkedError, AnOperationThatSucceedsUnderInvokeEndsTheStepNormally) {
    EXCEPINFO info{};
    const StepOutcome out = Run(S_OK, &info);
    EXPECT_FALSE(out.raised);
    EXPECT_EQ(out.hr, S_OK);
    EXPECT_EQ(action.calls, 1);
    EXPECT_EQ(object->Count(L"AfterReplayAction"), 1);
}

TEST_F(ParkedError, AnErrorRaisedBehindAComMethodCalledByAHookIsRaisedOnce) {
    object->onNote = [&](const wchar_t* hook) {
        if (std::wstring(hook) == L"BeforeActionFirst") action.DoStep(KOR_E_OBJECT_NOT_VISIBLE);
    };
    const StepOutcome out = Run(S_OK, nullptr);
    EXPECT_TRUE(out.raised);
    EXPECT_EQ(out.hr, KOR_E_OBJECT_NOT_VISIBLE);
    EXPECT_EQ(object->Count(L"BeforeActionSecond"), 0);
    EXPECT_EQ(object->Count(L"ReportReplayArguments"), 0);
    EXPECT_EQ(action.calls, 1);  // the hook's call; the operation never ran
}

}  // namespace
