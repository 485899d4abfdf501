// The handler in a process where the hook DLL is loaded: work on a control owned by another
// thread runs in that thread through the DLL's switcher.
#include <gtest/gtest.h>
#include <windows.h>
#include "environment/AcxHandler.h"
#include "com/ComBSTR.h"
#include "com/Handles.h"
#include "TestControl.h"

namespace {

// A thread that owns a control and takes switched calls until it is told to end.
class COwnerThread {
public:
    explicit COwnerThread(CThreadContextSwitch* switcher) : switcher_(switcher) {
        ready_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        thread_.Reset(::CreateThread(nullptr, 0, &COwnerThread::Main, this, 0, &tid_));
        ::WaitForSingleObject(ready_, 10000);
    }
    ~COwnerThread() {
        ::PostThreadMessageW(tid_, WM_QUIT, 0, 0);
        ::WaitForSingleObject(thread_, 10000);
    }
    DWORD Id() const { return tid_; }
    kcom::CComObject<CTestControl>* control = nullptr;

private:
    static DWORD WINAPI Main(LPVOID self) { return static_cast<COwnerThread*>(self)->Run(); }
    DWORD Run() {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        HWND window = ::CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        kcom::CComPtr<IDispatch> dictionary;
        kcom::CComPtr<IDispatch> keep;
        if (SUCCEEDED(NewDictionary(dictionary.Put())) && SUCCEEDED(kcom::CComObject<CTestControl>::CreateInstance(&control))) {
            keep = control;
            DictionaryAdd(dictionary, kcom::CComVariant(L"k"), kcom::CComVariant(L"v"));
            control->inner = dictionary;
            control->window = window;
        }
        switcher_->RegisterThread();
        ::SetEvent(ready_);
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        switcher_->UnregisterThread();
        keep.Release();
        dictionary.Release();
        ::DestroyWindow(window);
        ::CoUninitialize();
        return 0;
    }

    CThreadContextSwitch* switcher_;
    kcom::CHandle ready_, thread_;
    DWORD tid_ = 0;
};

class AcxHandlerSwitch : public ::testing::Test {
protected:
    static void SetUpTestSuite() { quillon_ = ::LoadLibraryW(L"Quillon.dll"); }

    void SetUp() override {
        ASSERT_TRUE(quillon_);
        switcher_ = FindThreadContextSwitch();
        ASSERT_TRUE(switcher_);
        switchCount_ = reinterpret_cast<LONG (*)()>(
            reinterpret_cast<void*>(::GetProcAddress(quillon_, "QuillonStub_GetSwitchCount")));
        ASSERT_TRUE(switchCount_);
        owner_ = std::make_unique<COwnerThread>(switcher_);
        ASSERT_TRUE(owner_->control);
        handler_.Attach(owner_->control);
    }
    void TearDown() override {
        handler_.Attach(nullptr);
        owner_.reset();
    }

    static HMODULE quillon_;
    CThreadContextSwitch* switcher_ = nullptr;
    LONG (*switchCount_)() = nullptr;
    std::unique_ptr<COwnerThread> owner_;
    CAcxHandler handler_;
};
HMODULE AcxHandlerSwitch::quillon_ = nullptr;

TEST_F(AcxHandlerSwitch, PropertyReadRunsInTheOwningThread) {
    EXPECT_EQ(owner_->Id(), handler_.OwningThread());
    EXPECT_EQ(::GetCurrentThreadId(), handler_.CreatorThread());
    const LONG before = switchCount_();
    kcom::CComVariant value;
    ASSERT_EQ(S_OK, handler_.GetProperty(kcom::CComBSTR(L"Count"), &value, TRUE));
    EXPECT_EQ(1, value.lVal);
    EXPECT_EQ(owner_->Id(), owner_->control->lastThread);
    EXPECT_EQ(before + 1, switchCount_());
    // What the read in the other thread gave comes back.
    EXPECT_EQ(DISP_E_UNKNOWNNAME, handler_.GetProperty(kcom::CComBSTR(L"Missing"), &value, TRUE));
    // Switching not allowed: the call runs here.
    ASSERT_EQ(S_OK, handler_.GetProperty(kcom::CComBSTR(L"Count"), &value, FALSE));
    EXPECT_EQ(::GetCurrentThreadId(), owner_->control->lastThread);
    EXPECT_EQ(before + 2, switchCount_());
}

TEST_F(AcxHandlerSwitch, MemberListAndMarshallingRunInTheOwningThread) {
    const LONG before = switchCount_();
    kcom::CComBSTR names;
    handler_.GetMemberList(names.Put(), TRUE);
    EXPECT_NE(std::wstring::npos, std::wstring(names.c_str()).find(L"Count"));
    EXPECT_EQ(before + 1, switchCount_());

    kcom::CComPtr<IStream> stream;
    HRESULT result = E_FAIL;
    ASSERT_EQ(S_OK, handler_.MarshalToStream(stream.Put(), static_cast<IDispatch*>(owner_->control), &result, TRUE));
    EXPECT_EQ(S_OK, result);
    EXPECT_EQ(before + 2, switchCount_());
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    kcom::CComPtr<IDispatch> proxy;
    ASSERT_HRESULT_SUCCEEDED(::CoUnmarshalInterface(stream, IID_IDispatch, reinterpret_cast<void**>(proxy.Put())));
    kcom::CComVariant value;
    const LONG invokes = owner_->control->invokes;
    ASSERT_HRESULT_SUCCEEDED(CallByName(proxy, L"Count", DISPATCH_PROPERTYGET, &value));
    EXPECT_EQ(1, value.lVal);
    EXPECT_EQ(invokes + 1, owner_->control->invokes);
    EXPECT_EQ(owner_->Id(), owner_->control->lastThread);  // the proxy's call is served there
    EXPECT_EQ(before + 2, switchCount_());
}

TEST_F(AcxHandlerSwitch, ControlOfTheCallingThreadIsNotSwitched) {
    kcom::CComObject<CTestControl>* local = nullptr;
    ASSERT_HRESULT_SUCCEEDED(kcom::CComObject<CTestControl>::CreateInstance(&local));
    kcom::CComPtr<IDispatch> keep(local);
    kcom::CComPtr<IDispatch> dictionary;
    ASSERT_HRESULT_SUCCEEDED(NewDictionary(dictionary.Put()));
    local->inner = dictionary;
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    local->window = window;
    CAcxHandler handler;
    handler.Attach(keep);
    const LONG before = switchCount_();
    kcom::CComVariant value;
    ASSERT_EQ(S_OK, handler.GetProperty(kcom::CComBSTR(L"Count"), &value, TRUE));
    EXPECT_EQ(0, value.lVal);
    EXPECT_EQ(before, switchCount_());
    // The inner-object read of the events goes through the switcher for a switched control only.
    EXPECT_EQ(E_NOINTERFACE, handler.FireEvent(kcom::CComBSTR(L"Click"), nullptr));
    EXPECT_EQ(before, switchCount_());
    EXPECT_EQ(E_NOINTERFACE, handler_.FireEvent(kcom::CComBSTR(L"Click"), nullptr));
    EXPECT_EQ(before + 1, switchCount_());
    ::DestroyWindow(window);
}

}  // namespace
