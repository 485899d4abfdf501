// The switcher side of the Quillon stand-in: work handed to a registered thread runs there.
#include <gtest/gtest.h>
#include <windows.h>
#include <atomic>
#include <thread>
#include "com/ComBSTR.h"
#include "com/ComVariant.h"
#include "com/Handles.h"
#include "contracts/ThreadContextSwitch.h"

namespace {

template <class F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Records on which thread, and with which switch permission, each operation ran.
class CRecordingTarget : public IAcxSwitchTarget {
public:
    HRESULT MarshalToStream(IStream** stream, IUnknown*, HRESULT* result, BOOL allowSwitch) override {
        Note(allowSwitch);
        if (stream) *stream = nullptr;
        if (result) *result = S_OK;
        return S_FALSE;
    }
    void GetMemberList(BSTR* names, BOOL allowSwitch) override {
        Note(allowSwitch);
        *names = ::SysAllocString(L"A\tB");
    }
    HRESULT GetProperty(BSTR path, VARIANT* value, BOOL allowSwitch) override {
        Note(allowSwitch);
        value->vt = VT_BSTR;
        value->bstrVal = ::SysAllocString(path);
        return DISP_E_TYPEMISMATCH;
    }
    DWORD thread = 0;
    BOOL allowed = TRUE;

private:
    void Note(BOOL allowSwitch) {
        thread = ::GetCurrentThreadId();
        allowed = allowSwitch;
    }
};

// An object with one readable property, "Object", that answers with the reading thread.
class CThreadProperty : public IDispatch {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) { *ppv = this; return S_OK; }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(GetTypeInfoCount)(UINT* n) override { *n = 0; return S_OK; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT, LCID lcid, DISPID* ids) override {
        namesLocale = lcid;
        if (_wcsicmp(names[0], L"Object") != 0) return DISP_E_UNKNOWNNAME;
        ids[0] = 7;
        return S_OK;
    }
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
        invokeLocale = lcid;
        if (id != 7 || flags != DISPATCH_PROPERTYGET) return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(::GetCurrentThreadId());
        return S_OK;
    }
    LCID namesLocale = 0, invokeLocale = 0;
};

class ThreadContextSwitch : public ::testing::Test {
protected:
    void SetUp() override {
        module_.Reset(::LoadLibraryW(L"Quillon.dll"));
        ASSERT_TRUE(module_);
        auto getInstance = Export<PFN_CThreadContextSwitch_GetInstance>(module_, "CThreadContextSwitch_GetInstance");
        ASSERT_NE(nullptr, getInstance);
        switcher_ = getInstance();
        ASSERT_NE(nullptr, switcher_);
        worker_ = std::thread([this] {
            switcher_->RegisterThread();
            workerId_ = ::GetCurrentThreadId();
            ready_ = true;
            MSG msg;
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
            switcher_->UnregisterThread();
        });
        for (int i = 0; i < 500 && !ready_; ++i) ::Sleep(10);
        ASSERT_TRUE(ready_);
    }
    void TearDown() override {
        if (worker_.joinable()) {
            ::PostThreadMessageW(workerId_, WM_QUIT, 0, 0);
            worker_.join();
        }
    }

    kcom::CLibrary module_;
    CThreadContextSwitch* switcher_ = nullptr;
    std::thread worker_;
    std::atomic<DWORD> workerId_{0};
    std::atomic<bool> ready_{false};
};

TEST_F(ThreadContextSwitch, ExportsLeadToOneProcessWideSwitcher) {
    auto getModule = Export<PFN_CThreadContextSwitch_GetHModule>(module_, "CThreadContextSwitch_GetHModule");
    ASSERT_NE(nullptr, getModule);
    EXPECT_EQ(::GetModuleHandleW(L"Quillon.dll"), getModule());
    auto getInstance = Export<PFN_CThreadContextSwitch_GetInstance>(getModule(), "CThreadContextSwitch_GetInstance");
    EXPECT_EQ(switcher_, getInstance());
    EXPECT_EQ(1u, switcher_->GetVersion());
}

TEST_F(ThreadContextSwitch, OnlyRegisteredOtherThreadsNeedASwitch) {
    EXPECT_TRUE(switcher_->NeedsSwitch(workerId_));
    EXPECT_FALSE(switcher_->NeedsSwitch(::GetCurrentThreadId()));
    EXPECT_FALSE(switcher_->NeedsSwitch(workerId_ + 4000));
    HRESULT result = S_OK;
    CRecordingTarget target;
    EXPECT_HRESULT_FAILED(switcher_->Run(&target, workerId_ + 4000, AcxSwitchGetProperty, nullptr, nullptr, nullptr, &result));
    EXPECT_EQ(0u, target.thread);
}

TEST_F(ThreadContextSwitch, HandlerOperationsRunOnTheTargetThreadWithoutFurtherSwitching) {
    auto switchCount = Export<LONG (*)()>(module_, "QuillonStub_GetSwitchCount");
    ASSERT_NE(nullptr, switchCount);
    const LONG before = switchCount();
    CRecordingTarget target;
    HRESULT result = E_FAIL;
    kcom::CComBSTR path(L"Font.Size");
    kcom::CComVariant value;
    ASSERT_HRESULT_SUCCEEDED(switcher_->Run(&target, workerId_, AcxSwitchGetProperty, static_cast<BSTR>(path), &value,
                                            nullptr, &result));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, result);
    EXPECT_EQ(workerId_.load(), target.thread);
    EXPECT_FALSE(target.allowed);
    EXPECT_STREQ(L"Font.Size", value.bstrVal);

    kcom::CComBSTR names;
    target.thread = 0;
    ASSERT_HRESULT_SUCCEEDED(switcher_->Run(&target, workerId_, AcxSwitchGetMemberList, names.Put(), nullptr, nullptr, &result));
    EXPECT_EQ(S_OK, result);
    EXPECT_STREQ(L"A\tB", names.c_str());
    EXPECT_EQ(workerId_.load(), target.thread);

    IStream* stream = reinterpret_cast<IStream*>(1);
    HRESULT inner = E_FAIL;
    ASSERT_HRESULT_SUCCEEDED(switcher_->Run(&target, workerId_, AcxSwitchMarshalToStream, &stream, nullptr, &inner, &result));
    EXPECT_EQ(S_FALSE, result);
    EXPECT_EQ(S_OK, inner);
    EXPECT_EQ(nullptr, stream);
    EXPECT_EQ(before + 3, switchCount());

    EXPECT_HRESULT_SUCCEEDED(switcher_->Run(&target, workerId_, 42, nullptr, nullptr, nullptr, &result));
    EXPECT_EQ(E_INVALIDARG, result);
    EXPECT_EQ(E_POINTER, switcher_->Run(&target, workerId_, AcxSwitchGetProperty, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(ThreadContextSwitch, PlainPropertyReadNeedsNoHandler) {
    CThreadProperty object;
    kcom::CComBSTR name(L"Object");
    kcom::CComVariant value;
    HRESULT result = E_FAIL;
    ASSERT_HRESULT_SUCCEEDED(switcher_->Run(nullptr, workerId_, AcxSwitchReadProperty, static_cast<IDispatch*>(&object),
                                            static_cast<BSTR>(name), &value, &result));
    EXPECT_EQ(S_OK, result);
    EXPECT_EQ(VT_I4, value.vt);
    EXPECT_EQ(static_cast<LONG>(workerId_.load()), value.lVal);
    EXPECT_EQ(0x800u, object.namesLocale);
    EXPECT_EQ(0x400u, object.invokeLocale);

    kcom::CComBSTR unknown(L"Nothing");
    value.Clear();
    ASSERT_HRESULT_SUCCEEDED(switcher_->Run(nullptr, workerId_, AcxSwitchReadProperty, static_cast<IDispatch*>(&object),
                                            static_cast<BSTR>(unknown), &value, &result));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, result);
    // Handler operations without a handler are refused, not crashed on.
    ASSERT_HRESULT_SUCCEEDED(switcher_->Run(nullptr, workerId_, AcxSwitchGetProperty, nullptr, nullptr, nullptr, &result));
    EXPECT_EQ(E_POINTER, result);
}

TEST_F(ThreadContextSwitch, TheCallingThreadRunsItsOwnWorkDirectly) {
    ASSERT_TRUE(switcher_->RegisterThread());
    CRecordingTarget target;
    HRESULT result = E_FAIL;
    kcom::CComVariant value;
    kcom::CComBSTR path(L"x");
    EXPECT_FALSE(switcher_->NeedsSwitch(::GetCurrentThreadId()));
    ASSERT_HRESULT_SUCCEEDED(switcher_->Run(&target, ::GetCurrentThreadId(), AcxSwitchGetProperty,
                                            static_cast<BSTR>(path), &value, nullptr, &result));
    EXPECT_EQ(::GetCurrentThreadId(), target.thread);
    EXPECT_TRUE(switcher_->UnregisterThread());
    EXPECT_FALSE(switcher_->UnregisterThread());
}

}  // namespace
