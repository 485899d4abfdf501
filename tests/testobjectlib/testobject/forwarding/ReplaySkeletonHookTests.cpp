// The hook rule of IReplaySkeleton: the method flags of the running step pick the delegate
// replay skeleton, the test object's own operation, both or neither.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "TestableObject.h"
#include "com/ComPtr.h"

using kcom::CComPtr;

namespace {

constexpr HRESULT kDelegateAnswer = 0x00040301;

// The delegate: records the hook methods it gets.
class CDelegateSkeleton : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IReplaySkeleton {
public:
    BEGIN_COM_MAP(CDelegateSkeleton)
        COM_INTERFACE_ENTRY(IReplaySkeleton)
    END_COM_MAP()
    std::vector<std::string> calls;
    CComPtr<IUnknown> found;  // what ReplayFindObject hands out

    HRESULT Hit(const char* name) {
        calls.push_back(name);
        return kDelegateAnswer;
    }
#define KOR_DELEGATE(name, ...) \
    STDMETHOD(name)(__VA_ARGS__) override { return Hit(#name); }
    KOR_DELEGATE(GetStepTimes, ULONG*, ULONG*)
    KOR_DELEGATE(BeginReplayStep, VARIANT)
    KOR_DELEGATE(EndReplayStep)
    KOR_DELEGATE(GetInnerReplaySkeleton, IReplaySkeleton**)
    KOR_DELEGATE(BeforeReplayAttempts)
    KOR_DELEGATE(GetMethodInfoTable)
    KOR_DELEGATE(GetReplayMethodFlags, ULONG*)
    KOR_DELEGATE(BeginReplayAttempt, QueryIdInfo*)
    KOR_DELEGATE(SetRuntimeId, IUnknown*)
    KOR_DELEGATE(AfterObjectFound)
    KOR_DELEGATE(BeforeActionSecond)
    KOR_DELEGATE(BeforeActionFirst)
    KOR_DELEGATE(WaitVisible)
    KOR_DELEGATE(WaitEnabled)
    KOR_DELEGATE(AfterReplayAction)
    KOR_DELEGATE(ReportReplayArguments)
#undef KOR_DELEGATE
    STDMETHOD(ReplayFindObject)(QueryIdInfo*, IUnknown** object) override {
        if (object) found.CopyTo(object);
        return Hit("ReplayFindObject");
    }
};

// The step's method flags and the delegate are programmed; these two operations are plain
// forwarders, so overriding them serves the interface as well.
class CHookedObject : public CTestableObject {
public:
    ULONG flags = 0;
    HRESULT flagsResult = S_OK;
    HRESULT delegateResult = S_OK;
    CComPtr<IReplaySkeleton> delegate;

    HRESULT STDMETHODCALLTYPE GetReplayMethodFlags(DWORD* out) override {
        if (out) *out = flags;
        return flagsResult;
    }
    HRESULT STDMETHODCALLTYPE GetInnerReplaySkeleton(IReplaySkeleton** out) override {
        if (out) *out = nullptr;
        if (FAILED(delegateResult)) return delegateResult;
        return delegate.CopyTo(out);
    }
};

class ReplaySkeletonHook : public ::testing::Test {
protected:
    void SetUp() override {
        kcom::CComObject<CHookedObject>* p = nullptr;
        ASSERT_EQ(S_OK, kcom::CComObject<CHookedObject>::CreateInstance(&p));
        object = p;
        ASSERT_EQ(S_OK, object->QueryInterface(__uuidof(IReplaySkeleton), reinterpret_cast<void**>(skeleton.Put())));
        delegateObject = NewDelegate();
        object->delegate = delegateObject.get();
    }
    static CComPtr<kcom::CComObject<CDelegateSkeleton>> NewDelegate() {
        kcom::CComObject<CDelegateSkeleton>* p = nullptr;
        EXPECT_EQ(S_OK, kcom::CComObject<CDelegateSkeleton>::CreateInstance(&p));
        return CComPtr<kcom::CComObject<CDelegateSkeleton>>(p);
    }
    std::vector<std::string>& DelegateCalls() { return delegateObject->calls; }
    CComTestObject& Base() { return *object; }

    CComPtr<kcom::CComObject<CHookedObject>> object;
    CComPtr<IReplaySkeleton> skeleton;
    CComPtr<kcom::CComObject<CDelegateSkeleton>> delegateObject;
};

}  // namespace

TEST_F(ReplaySkeletonHook, DelegateBitsRunTheDelegateAndDefaultBitsTheOwnOperationWhoseResultWins) {
    const HRESULT own = Base().CComTestObject::BeforeReplayAttempts();
    ASSERT_NE(own, kDelegateAnswer);

    object->flags = 0x10001;
    EXPECT_EQ(skeleton->BeforeReplayAttempts(), own);
    EXPECT_EQ(DelegateCalls(), std::vector<std::string>{"BeforeReplayAttempts"});

    DelegateCalls().clear();
    object->flags = 0x10000;
    EXPECT_EQ(skeleton->BeforeReplayAttempts(), kDelegateAnswer);
    EXPECT_EQ(DelegateCalls().size(), 1u);

    DelegateCalls().clear();
    object->flags = 0x1;
    EXPECT_EQ(skeleton->BeforeReplayAttempts(), own);
    EXPECT_TRUE(DelegateCalls().empty());

    // Neither: nothing runs and the flag read's own success code is the answer.
    object->flags = 0xFFFEFFFE;
    object->flagsResult = S_FALSE;
    EXPECT_EQ(skeleton->BeforeReplayAttempts(), S_FALSE);
    EXPECT_TRUE(DelegateCalls().empty());
}

TEST_F(ReplaySkeletonHook, EachHookHasItsOwnBitPair) {
    struct Hook {
        const char* name;
        ULONG delegateBits;
        HRESULT (STDMETHODCALLTYPE IReplaySkeleton::*call)();
    };
    const Hook hooks[] = {
        {"BeforeReplayAttempts", 0x10000, &IReplaySkeleton::BeforeReplayAttempts},
        {"AfterObjectFound", 0x80000, &IReplaySkeleton::AfterObjectFound},
        {"BeforeActionSecond", 0x100000, &IReplaySkeleton::BeforeActionSecond},
        {"BeforeActionFirst", 0x200000, &IReplaySkeleton::BeforeActionFirst},
        {"WaitVisible", 0x400000, &IReplaySkeleton::WaitVisible},
        {"WaitEnabled", 0x800000, &IReplaySkeleton::WaitEnabled},
        {"AfterReplayAction", 0x20000, &IReplaySkeleton::AfterReplayAction},
        {"ReportReplayArguments", 0x1000000, &IReplaySkeleton::ReportReplayArguments},
    };
    for (const Hook& hook : hooks) {
        SCOPED_TRACE(hook.name);
        DelegateCalls().clear();
        object->flags = 0xFFFFFFFF & ~hook.delegateBits & ~(hook.delegateBits >> 16);
        EXPECT_EQ((skeleton.get()->*hook.call)(), S_OK);  // every other bit: nothing runs
        EXPECT_TRUE(DelegateCalls().empty());
        object->flags = hook.delegateBits;
        EXPECT_EQ((skeleton.get()->*hook.call)(), kDelegateAnswer);
        EXPECT_EQ(DelegateCalls(), std::vector<std::string>{hook.name});
    }
    QueryIdInfo context{-1, -1};
    DelegateCalls().clear();
    object->flags = 0x10000 | 0x1;  // one bit of each pair is not enough
    EXPECT_EQ(skeleton->BeginReplayAttempt(&context), S_OK);
    object->flags = 0x40000;
    EXPECT_EQ(skeleton->BeginReplayAttempt(&context), S_OK);
    EXPECT_TRUE(DelegateCalls().empty());
    object->flags = 0x50000;
    EXPECT_EQ(skeleton->BeginReplayAttempt(&context), kDelegateAnswer);
    EXPECT_EQ(DelegateCalls(), std::vector<std::string>{"BeginReplayAttempt"});
}

TEST_F(ReplaySkeletonHook, FailuresOfTheFlagReadAndOfTheDelegateLookUp) {
    object->flags = 0x10001;
    object->flagsResult = E_ACCESSDENIED;
    EXPECT_EQ(skeleton->BeforeReplayAttempts(), E_ACCESSDENIED);
    EXPECT_TRUE(DelegateCalls().empty());

    object->flagsResult = S_OK;
    object->flags = 0x10000;
    object->delegateResult = E_FAIL;
    EXPECT_EQ(skeleton->BeforeReplayAttempts(), E_FAIL);
    object->delegateResult = S_OK;
    object->delegate.Release();  // no delegate: the flag read's code stays
    EXPECT_EQ(skeleton->BeforeReplayAttempts(), S_OK);
}

TEST_F(ReplaySkeletonHook, FindingRunsOnlyWhatItsOwnBitsSayAndKeepsOneObject) {
    QueryIdInfo context{-1, -1};
    IUnknown* found = nullptr;
    const HRESULT own = Base().CComTestObject::ReplayFindObject(&context, &found);
    ASSERT_EQ(found, nullptr);

    object->flags = 0x315;  // the default bit 0x4 only
    EXPECT_EQ(skeleton->ReplayFindObject(&context, &found), own);
    EXPECT_TRUE(DelegateCalls().empty());

    auto marker = NewDelegate();  // any object will do as the delegate's answer
    delegateObject->found = static_cast<IReplaySkeleton*>(marker.get());
    object->flags = 0x40000;
    EXPECT_EQ(skeleton->ReplayFindObject(&context, &found), kDelegateAnswer);
    EXPECT_EQ(found, static_cast<IUnknown*>(static_cast<IReplaySkeleton*>(marker.get())));
    found->Release();
    found = nullptr;

    // With the default as well, the delegate's object is released, not leaked or handed out.
    object->flags = 0x40004;
    const ULONG before = marker->refCount_;
    EXPECT_EQ(skeleton->ReplayFindObject(&context, &found), own);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(static_cast<ULONG>(marker->refCount_), before);
}
