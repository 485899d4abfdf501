// Recorder records through the standard factory base, on the real windows of the application under
// test; the skip lists and the class map on the same windows.
#include <cstring>
#include "FactoryFixture.h"
#include "com/ComBSTR.h"
#include "com/Handles.h"

using kcom::CComPtr;
using kcom::CComVariant;
using standin::CTestObjectStandIn;
using standin::Holder;

namespace {

// A window-format record as the recorder lays it out.
struct Record {
    BYTE bytes[32] = {};
    Record(HWND window, UINT message, DWORD lParam = 0) {
        const DWORD w = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window));
        std::memcpy(bytes + 8, &w, 4);
        std::memcpy(bytes + 12, &message, 4);
        std::memcpy(bytes + 24, &lParam, 4);
    }
};

// The value the next handle of this process gets.
HANDLE FreshHandle() {
    kcom::CHandle event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    return event.get();
}

DWORD Word(HWND window) { return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window)); }

}  // namespace

class StdFactoryRecords : public FactoryFixture {
protected:
    void SetUp() override {
        FactoryFixture::SetUp();
        windowFormat_ = factory_->WindowFormat();
    }

    // Hands the record to the factory as the recorder does; answers the code it set.
    ULONG Deliver(const void* data, UINT format = 0, HRESULT expected = S_OK) {
        return DeliverTo(factory_.as<IKorDataTarget>(), data, format, expected);
    }
    ULONG DeliverTo(IKorDataTarget* target, const void* data, UINT format = 0, HRESULT expected = S_OK) {
        FORMATETC fmt{static_cast<CLIPFORMAT>(format ? format : windowFormat_), nullptr, DVASPECT_CONTENT, -1,
                      TYMED_HGLOBAL};
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = const_cast<void*>(data);
        ULONG mdRet = 0;
        EXPECT_EQ(expected, target->ReceiveData(&fmt, &medium, &mdRet));
        return mdRet;
    }

    // The window of the object that the site received last.
    HWND LastRecorded() {
        if (site_->Received().empty()) return nullptr;
        CComVariant id = Of(site_->Received().back())->Peek(L"objectid");
        long window = 0;
        if (id.vt == VT_UNKNOWN) CRuntimeId(id).GetLong(L"hwnd", &window);
        return reinterpret_cast<HWND>(static_cast<LONG_PTR>(window));
    }

    void SkipList(const wchar_t* key, const wchar_t* name, const VARIANT& value) { settings_->Put(key, name, value); }

    UINT windowFormat_ = 0;
};

TEST_F(StdFactoryRecords, ReceiveDataChecksItsArguments) {
    Record record(reinterpret_cast<HWND>(0x10), WM_LBUTTONDOWN);
    FORMATETC fmt{static_cast<CLIPFORMAT>(windowFormat_), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.hGlobal = &record;
    ULONG mdRet = 0;
    IKorDataTarget* target = factory_.as<IKorDataTarget>();
    EXPECT_EQ(E_POINTER, target->ReceiveData(&fmt, &medium, nullptr));
    EXPECT_EQ(E_POINTER, target->ReceiveData(nullptr, &medium, &mdRet));
    EXPECT_EQ(8u, mdRet);
    EXPECT_EQ(E_POINTER, target->ReceiveData(&fmt, nullptr, &mdRet));
    EXPECT_EQ(8u, Deliver(nullptr, 0, E_POINTER));
    // Another format is not this factory's.
    EXPECT_EQ(8u, Deliver(&record, ::RegisterClipboardFormatW(L"SomeOtherFormat")));
    EXPECT_EQ(0, Created());
}

TEST_F(StdFactoryRecords, KeptRecordsOfOneWindowGiveTheSiteOneObject) {
    StartAut(kScenario);
    Recording(true);
    Record click(W(L"alpha"), WM_LBUTTONDOWN);
    EXPECT_EQ(4u, Deliver(&click));
    EXPECT_EQ(4u, Deliver(&click));
    EXPECT_EQ(1, Created());
    ASSERT_EQ(2u, site_->Received().size());
    EXPECT_EQ(site_->Received()[0], site_->Received()[1]);
    EXPECT_EQ(W(L"alpha"), LastRecorded());
    EXPECT_EQ(1, site_->Log().Count(L"CreateTestObj"));
    EXPECT_EQ(L"ReceiveRecord(TestClass,18,52,86)", site_->Log().Lines().back());
    EXPECT_EQ(L"put_Cookie(0)", Of(site_->Received()[1])->Log().Lines().back());

    // Menu messages (looked at in their low word), filtered records and classes the factory has
    // none for are not recorded.
    Record menu(W(L"button"), 0x10000 | WM_INITMENUPOPUP);
    EXPECT_EQ(8u, Deliver(&menu));
    Record other(W(L"button"), WM_LBUTTONDOWN);
    factory_->keep = false;
    EXPECT_EQ(8u, Deliver(&other));
    factory_->keep = true;
    factory_->classIds = S_FALSE;
    EXPECT_EQ(1u, Deliver(&other));
    EXPECT_EQ(1, Created());
}

TEST_F(StdFactoryRecords, NotifyRecordsNameTheSenderReadFromTheApplication) {
    StartAut(kScenario);
    Recording(true);
    Record notify(W(L"button"), WM_NOTIFY, static_cast<DWORD>(aut_.NotifyAddress()));
    EXPECT_EQ(4u, Deliver(&notify));
    EXPECT_EQ(W(L"alpha"), LastRecorded());

    // A header that cannot be read, the window of no process, or a sender of null: nothing.
    // Handles are taken from the lowest free slot: a handle left open would move the next one.
    const HANDLE before = FreshHandle();
    for (int i = 0; i < 20; ++i) {
        Record unreadable(W(L"button"), WM_NOTIFY, 0x10);
        EXPECT_EQ(1u, Deliver(&unreadable));
        Record dead(reinterpret_cast<HWND>(0x0BAD0000), WM_NOTIFY, static_cast<DWORD>(aut_.NotifyAddress()));
        EXPECT_EQ(1u, Deliver(&dead));
        EXPECT_EQ(4u, Deliver(&notify));
    }
    EXPECT_EQ(before, FreshHandle());
    EXPECT_EQ(1, Created());
}

TEST_F(StdFactoryRecords, CommandRecordsNameTheControlOrTheirOwnWindow) {
    StartAut(kScenario);
    Record command(W(L"main"), WM_COMMAND, Word(W(L"button")));
    EXPECT_EQ(4u, Deliver(&command));
    EXPECT_EQ(W(L"button"), LastRecorded());
    Record menuCommand(W(L"alpha"), WM_COMMAND);
    EXPECT_EQ(4u, Deliver(&menuCommand));
    EXPECT_EQ(W(L"alpha"), LastRecorded());
    // No window at all.
    Record nowhere(nullptr, WM_LBUTTONDOWN);
    EXPECT_EQ(1u, Deliver(&nowhere));
}

TEST_F(StdFactoryRecords, DestroyAndClearRecordsEmptyTheCache) {
    StartAut(kScenario);
    Recording(true);
    Record click(W(L"alpha"), WM_LBUTTONDOWN), buttonClick(W(L"button"), WM_LBUTTONDOWN);
    Deliver(&click);
    Deliver(&buttonClick);
    ASSERT_EQ(2, Created());
    Record destroy(W(L"alpha"), WM_DESTROY);
    EXPECT_EQ(8u, Deliver(&destroy));
    EXPECT_EQ(4u, Deliver(&click));
    EXPECT_EQ(3, Created());  // a new one for the destroyed window, the button's still cached
    EXPECT_EQ(4u, Deliver(&buttonClick));
    EXPECT_EQ(3, Created());

    for (const wchar_t* format : {L"TchilatHacklata", L"SofHacklata"}) {
        EXPECT_EQ(8u, Deliver(nullptr, ::RegisterClipboardFormatW(format)));
        Deliver(&click);
        Deliver(&buttonClick);
    }
    EXPECT_EQ(7, Created());
}

TEST_F(StdFactoryRecords, NothingIsHandedOverWithoutASiteThatTakesIt) {
    StartAut(kScenario);
    Record click(W(L"alpha"), WM_LBUTTONDOWN);
    auto siteless = Holder<CTestFactory>::New();
    siteless->SetRack(rack_.as<IObjectRack>());
    // The object cannot get a parent without a site: creation fails, nothing is recorded.
    EXPECT_EQ(8u, DeliverTo(siteless.as<IKorDataTarget>(), &click, 0, E_FAIL));

    site_->SetReceiveResult(E_ACCESSDENIED);
    EXPECT_EQ(8u, Deliver(&click, 0, E_ACCESSDENIED));
    site_->SetReceiveResult(S_OK);
    CTestObjectStandIn::Defaults().refused = {__uuidof(IKorDataTarget)};
    EXPECT_EQ(8u, Deliver(&click, 0, E_NOINTERFACE));
    EXPECT_EQ(1u, site_->Received().size());
}

TEST_F(StdFactoryRecords, RecordedStepsOfHiddenWindowsAreMarkedInvisible) {
    StartAut(kScenario);
    const UINT steps = ::RegisterClipboardFormatW(L"FormatVovuvarShellTestObjects");
    auto step = [&](HWND window, const VARIANT* visible = nullptr, UINT format = 0) {
        auto object = Holder<CTestObjectStandIn>::New();
        CRuntimeId id = WindowId(window, format);
        object->Put(L"objectid", CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id))));
        if (visible) object->Put(L"visible", *visible);
        IDispatch* data = object.as<IDispatch>();
        EXPECT_EQ(8u, Deliver(&data, steps));
        return object->Peek(L"visible");
    };
    CComVariant hidden = step(W(L"hidden"));
    EXPECT_EQ(VT_BOOL, hidden.vt);
    EXPECT_EQ(VARIANT_FALSE, hidden.boolVal);
    EXPECT_EQ(VT_EMPTY, step(W(L"alpha")).vt);
    const CComVariant known(L"yes");
    EXPECT_EQ(VT_BSTR, step(W(L"hidden"), &known).vt);
    // An identifier that failed, one of another format, or no object at all: nothing happens.
    EXPECT_EQ(VT_EMPTY, step(W(L"hidden"), nullptr, ::RegisterClipboardFormatW(L"SomeOtherFormat")).vt);
    auto failed = Holder<CTestObjectStandIn>::New();
    failed->Put(L"objectid", CComVariant(static_cast<long>(E_FAIL), VT_ERROR));
    IDispatch* data = failed.as<IDispatch>();
    EXPECT_EQ(8u, Deliver(&data, steps));
    EXPECT_EQ(VT_EMPTY, failed->Peek(L"visible").vt);
    IDispatch* none = nullptr;
    EXPECT_EQ(8u, Deliver(&none, steps));
}

TEST_F(StdFactoryRecords, SkipListsByClassAndTitleAndTheRunDialog) {
    StartAut(kScenario);
    const wchar_t* classes = L"Packages\\StdPackage\\Common\\SkipRecordClasses";
    SkipList(classes, L"skipOUTER", CComVariant(1L));
    SkipList(classes, L"SkipSolo", CComVariant(2L));
    SkipList(classes, L"Button", CComVariant(L"not a number"));
    // The package's own list comes second: a name it repeats keeps the first value.
    SkipList(L"Packages\\Test\\SkipRecordClasses", L"SKIPSOLO", CComVariant(1L));
    SkipList(L"Packages\\Test\\SkipRecordTitles", L"secret PANE", CComVariant(2L));
    ASSERT_EQ(S_OK, factory_->SetRack(rack_.as<IObjectRack>()));

    EXPECT_TRUE(factory_->IsSkippedWindow(W(L"outer")));
    EXPECT_TRUE(factory_->IsSkippedWindow(W(L"inner")));
    EXPECT_TRUE(factory_->IsSkippedWindow(W(L"solo")));
    EXPECT_FALSE(factory_->IsSkippedWindow(W(L"soloinner")));
    EXPECT_FALSE(factory_->IsSkippedWindow(W(L"button")));
    EXPECT_TRUE(factory_->IsSkippedWindow(W(L"titled")));
    EXPECT_FALSE(factory_->IsSkippedWindow(W(L"alpha")));
    EXPECT_FALSE(factory_->IsSkippedWindow(W(L"main")));
    // The Run dialog and everything in it; a look-alike with another prompt is not it.
    EXPECT_TRUE(factory_->IsSkippedWindow(W(L"run")));
    EXPECT_TRUE(factory_->IsSkippedWindow(W(L"runfield")));
    EXPECT_FALSE(factory_->IsSkippedWindow(W(L"fakeprompt")));
    EXPECT_FALSE(factory_->IsSkippedWindow(nullptr));
    EXPECT_FALSE(factory_->IsSkippedWindow(reinterpret_cast<HWND>(0x0BAD0000)));

    // Without a rack the lists stay as they were.
    EXPECT_EQ(S_OK, factory_->SetRack(nullptr));
    EXPECT_TRUE(factory_->IsSkippedWindow(W(L"inner")));
}

TEST_F(StdFactoryRecords, TheClassMapTranslatesTheObjectClassOrTheWindowClass) {
    StartAut(kScenario);
    const wchar_t* map = L"Packages\\StdPackage\\ClassMap";
    settings_->Put(map, L"GridKind", L"MappedGrid");
    settings_->Put(map, L"KorGrid", L"MappedByWindowClass");
    settings_->Put(map, L"Button", 5L);
    engine_->PutValue(L"Object Class", CComVariant(L"GridKind"));
    kcom::CComBSTR mapped;
    EXPECT_EQ(S_OK, factory_->GetObjectClass(W(L"alpha"), mapped.Put()));
    EXPECT_STREQ(L"MappedGrid", mapped.c_str());
    EXPECT_EQ(E_POINTER, factory_->GetObjectClass(W(L"alpha"), nullptr));

    // No object class from the engine: the window's class is looked up.
    engine_->PutValue(L"Object Class", CComVariant());
    EXPECT_EQ(S_OK, factory_->GetObjectClass(W(L"alpha"), mapped.Put()));
    EXPECT_STREQ(L"MappedByWindowClass", mapped.c_str());
    EXPECT_EQ(E_FAIL, factory_->GetObjectClass(W(L"button"), mapped.Put()));
    EXPECT_TRUE(mapped.IsNull());
    EXPECT_HRESULT_FAILED(factory_->GetObjectClass(W(L"main"), mapped.Put()));
}
