// Rack access, the rack-client base, the host application services and the package exception.
#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComVariant.h"
#include "HostStandIn.h"
#include "host/HostApplication.h"
#include "errors/KorException.h"
#include "host/ObjectRackClientImpl.h"
#include "host/RackServices.h"
#include "streams/ReadStreamDword.h"
#include "com/ComError.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

// A rack that fails every look-up with a code of its own, sometimes still handing out an object.
class CFailingRack : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IObjectRack {
public:
    BEGIN_COM_MAP(CFailingRack)
        COM_INTERFACE_ENTRY(IObjectRack)
    END_COM_MAP()
    STDMETHOD(SetObject)(BSTR, IUnknown*) override { return E_NOTIMPL; }
    STDMETHOD(GetObject)(BSTR, REFIID, IUnknown** out) override {
        *out = leak;
        if (leak) leak->AddRef();
        return answer;
    }
    STDMETHOD(RemoveObject)(BSTR) override { return E_NOTIMPL; }
    HRESULT answer = E_ACCESSDENIED;
    IUnknown* leak = nullptr;
};

TEST(RackServices, FindsNamedServicesByInterface) {
    auto rack = Holder<CRackStandIn>::New();
    auto settings = Holder<CSettingsStandIn>::New();
    rack->Put(RackName::TestOptions, settings.as<IKorSettings>());

    CComPtr<IKorSettings> got;
    EXPECT_EQ(GetRackService(rack.as<IObjectRack>(), RackName::TestOptions, got.Put()), S_OK);
    EXPECT_TRUE(got.IsEqualObject(settings.as<IKorSettings>()));
    EXPECT_EQ(rack->Log().Lines().back(), L"GetObject(TestOptions,{09F864E3-8474-11D3-A86C-00104B3DEDFC})");

    CComPtr<IKorQuery> query;
    EXPECT_EQ(GetRackService(rack.as<IObjectRack>(), RackName::StdPackageQueryEngine, query.Put()), E_FAIL);
    EXPECT_FALSE(query);
    EXPECT_EQ(GetRackService(rack.as<IObjectRack>(), RackName::TestOptions, query.Put()), E_FAIL);  // no such interface
    EXPECT_EQ(GetRackObject(rack.as<IObjectRack>(), RackName::TestOptions, query.Put()), E_NOINTERFACE);
    EXPECT_EQ(GetRackService(nullptr, RackName::TestOptions, got.Put()), E_FAIL);
    EXPECT_EQ(GetRackService(rack.as<IObjectRack>(), RackName::TestOptions, IID_IKorSettings, nullptr), E_POINTER);
}

TEST(RackServices, PassesTheRacksOwnFailureOrMapsItToEFail) {
    auto rack = Holder<CFailingRack>::New();
    auto settings = Holder<CSettingsStandIn>::New();
    CComPtr<IKorSettings> got;
    EXPECT_EQ(GetRackObject(rack.as<IObjectRack>(), RackName::TestOptions, got.Put()), E_ACCESSDENIED);
    EXPECT_EQ(GetRackService(rack.as<IObjectRack>(), RackName::TestOptions, got.Put()), E_FAIL);
    rack->answer = S_OK;  // success without an object
    EXPECT_EQ(GetRackObject(rack.as<IObjectRack>(), RackName::TestOptions, got.Put()), E_FAIL);
    rack->answer = E_UNEXPECTED;  // failure that still hands something out: released, not kept
    rack->leak = settings.as<IKorSettings>();
    EXPECT_EQ(GetRackObject(rack.as<IObjectRack>(), RackName::TestOptions, got.Put()), E_UNEXPECTED);
    EXPECT_FALSE(got);
    rack->leak = nullptr;
    EXPECT_EQ(settings->AddRef(), 2u);
    settings->Release();
}

TEST(RackServices, ObjectManagerComesAsTheRackAnswersIt) {
    auto rack = Holder<CFailingRack>::New();
    auto manager = Holder<CSettingsStandIn>::New();  // any object stands for the manager here
    CComPtr<IUnknown> got;
    EXPECT_EQ(GetObjectManager(rack.as<IObjectRack>(), nullptr), E_POINTER);
    EXPECT_EQ(GetObjectManager(nullptr, got.Put()), E_FAIL);
    EXPECT_EQ(GetObjectManager(rack.as<IObjectRack>(), got.Put()), E_ACCESSDENIED);
    rack->answer = S_FALSE;  // a success without an object passes through
    EXPECT_EQ(GetObjectManager(rack.as<IObjectRack>(), got.Put()), S_FALSE);
    EXPECT_FALSE(got);
    rack->answer = E_UNEXPECTED;  // a failure hands nothing out
    rack->leak = manager.as<IKorSettings>();
    EXPECT_EQ(GetObjectManager(rack.as<IObjectRack>(), got.Put()), E_UNEXPECTED);
    EXPECT_FALSE(got);
    rack->answer = S_OK;
    EXPECT_EQ(GetObjectManager(rack.as<IObjectRack>(), got.Put()), S_OK);
    EXPECT_TRUE(got.IsEqualObject(manager.as<IKorSettings>()));
    rack->leak = nullptr;
    got.Release();
    EXPECT_EQ(manager->AddRef(), 2u);
    manager->Release();
}

class CRackClient : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                    public IObjectRackClientImpl<CRackClient> {
public:
    BEGIN_COM_MAP(CRackClient)
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()
};

TEST(RackClient, KeepsTheRackGivenAndHandsItBack) {
    auto client = Holder<CRackClient>::New();
    IObjectRackClient* c = client.as<IObjectRackClient>();
    EXPECT_EQ(c->GetRack(nullptr), E_POINTER);
    CComPtr<IObjectRack> got;
    EXPECT_EQ(c->GetRack(got.Put()), S_OK);
    EXPECT_FALSE(got);
    auto rack = Holder<CRackStandIn>::New();
    EXPECT_EQ(c->SetRack(rack.as<IObjectRack>()), S_OK);
    EXPECT_EQ(c->GetRack(got.Put()), S_OK);
    EXPECT_EQ(got.get(), rack.as<IObjectRack>());
    got.Release();
    EXPECT_EQ(c->SetRack(nullptr), S_OK);
    EXPECT_EQ(rack->AddRef(), 2u);  // only the holder and this call: the client let go
    rack->Release();
}

TEST(HostApplication, MessageBoxGoesToTheHostWithItsArguments) {
    auto app = Holder<CHostApplicationStandIn>::New();
    CHostApplicationRegistration reg(app.as<IKorHostApplication>());
    ASSERT_EQ(reg.Result(), S_OK);
    app->SetMessageBoxAnswer(IDYES);
    EXPECT_EQ(HostMessageBox(reinterpret_cast<HWND>(0x1234), L"Recording refused", nullptr, MB_ICONEXCLAMATION), IDYES);
    EXPECT_EQ(app->Log().Lines().back(), L"ShowMessageBox(4660,Recording refused,(null),48)");
    app->SetMessageBoxAnswer(std::nullopt);
    EXPECT_EQ(HostMessageBox(nullptr, L"t", L"c", MB_OK), -1);
    app->SetMessageBoxAnswer(IDOK, E_FAIL);
    EXPECT_EQ(HostMessageBox(nullptr, L"t", L"c", MB_OK), -1);
}

// Closes the first dialog box that the given thread shows and notes its caption.
class MessageBoxCloser {
public:
    explicit MessageBoxCloser(DWORD threadId)
        : thread_([this, threadId] {
              for (int i = 0; i < 500 && !done_; ++i) {
                  ::EnumThreadWindows(threadId, &MessageBoxCloser::Visit, reinterpret_cast<LPARAM>(this));
                  ::Sleep(10);
              }
          }) {}
    ~MessageBoxCloser() {
        done_ = true;
        thread_.join();
    }
    std::wstring caption() const { return caption_; }

private:
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM self) {
        auto* closer = reinterpret_cast<MessageBoxCloser*>(self);
        wchar_t cls[32] = {};
        ::GetClassNameW(hwnd, cls, 32);
        if (wcscmp(cls, L"#32770") != 0 || !::IsWindowVisible(hwnd)) return TRUE;
        wchar_t text[128] = {};
        ::GetWindowTextW(hwnd, text, 128);
        closer->caption_ = text;
        closer->done_ = true;
        ::PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
        return FALSE;
    }
    std::wstring caption_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST(HostApplication, WithoutTheHostClassTheSystemBoxCarriesTheDefaultCaption) {
    MessageBoxCloser closer(::GetCurrentThreadId());
    EXPECT_EQ(HostMessageBox(nullptr, L"No host here", nullptr, MB_OK), IDOK);
    EXPECT_EQ(closer.caption(), L"Nimbel");
}

TEST(HostApplication, WindowHandleIsTheHostsValue) {
    EXPECT_EQ(GetHostWindowHandle(), nullptr);  // no host class
    auto app = Holder<CHostApplicationStandIn>::New();
    CHostApplicationRegistration reg(app.as<IKorHostApplication>());
    EXPECT_EQ(GetHostWindowHandle(), nullptr);  // no value
    app->Put(L"WindowHandle", CComVariant(L""));
    EXPECT_EQ(GetHostWindowHandle(), nullptr);  // not a number
    app->Put(L"WindowHandle", CComVariant(0x10042L));
    EXPECT_EQ(GetHostWindowHandle(), reinterpret_cast<HWND>(0x10042));
}

TEST(HostApplication, InstallationDirIsReadOnceWhenItIsText) {
    std::wstring dir = L"stale";
    EXPECT_FALSE(GetInstallationDir(dir));  // no host class yet: tried again later
    EXPECT_EQ(dir, L"");
    auto app = Holder<CHostApplicationStandIn>::New();
    CHostApplicationRegistration reg(app.as<IKorHostApplication>());
    app->Put(L"Installation Dir", CComVariant(5L));
    EXPECT_FALSE(GetInstallationDir(dir));  // not text: not kept
    app->Put(L"Installation Dir", CComVariant(L"C:\\Program Files\\Host"));
    EXPECT_TRUE(GetInstallationDir(dir));
    EXPECT_EQ(dir, L"C:\\Program Files\\Host");
    app->Put(L"Installation Dir", CComVariant(L"D:\\Elsewhere"));
    EXPECT_TRUE(GetInstallationDir(dir));
    EXPECT_EQ(dir, L"C:\\Program Files\\Host");
    EXPECT_EQ(app->Log().Count(L"GetValue"), 2);
}

TEST(KorException, KeepsCodeErrorInformationAndExtra) {
    CComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(::CreateErrorInfo(create.Put()), S_OK);
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.Put())), S_OK);
    {
        CKorException e(0x80040202, info, 17);
        EXPECT_EQ(e.Error(), static_cast<HRESULT>(0x80040202));
        EXPECT_EQ(e.ErrorInfo(), info.get());
        EXPECT_EQ(e.ErrorMessage(), nullptr);
        EXPECT_EQ(e.Extra(), 17u);
        EXPECT_EQ(info->AddRef(), 4u);  // create, info, the exception, this call
        info->Release();
    }
    EXPECT_EQ(info->AddRef(), 3u);
    info->Release();
}

}  // namespace

namespace {

TEST(ReadStreamDword, ReadsAWordAndRefusesAShortOne) {
    CComPtr<IStream> stream;
    ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
    const BYTE bytes[6] = {0x78, 0x56, 0x34, 0x12, 0xAA, 0xBB};
    ASSERT_EQ(stream->Write(bytes, sizeof(bytes), nullptr), S_OK);
    LARGE_INTEGER zero = {};
    ASSERT_EQ(stream->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
    DWORD value = 0;
    ReadStreamDword(stream, &value);
    EXPECT_EQ(value, 0x12345678u);
    HRESULT hr = kcom::Guard([&] {
        ReadStreamDword(stream, &value);  // two bytes left
        return S_OK;
    });
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(kcom::Guard([&] {
                  ReadStreamDword(nullptr, &value);
                  return S_OK;
              }),
              E_POINTER);
}

}  // namespace
