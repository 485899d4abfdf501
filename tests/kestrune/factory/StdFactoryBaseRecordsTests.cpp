// Recorder records through the standard factory base on the real windows of the application under
// test; the skip lists and the class map on the same windows.
#include <cstring>
#include "FactoryFixture.h"
#include "com/ComBSTR.h"
#include "com/Handles.h"

using kcom::CComVariant;

namespace {

// A window-format record as the recorder lays it out.
struct Record {
    BYTE bytes[32] = {};
    Record(HWND window, UINT message, UINT_PTR lParam = 0) {
        const DWORD w = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window)), l = static_cast<DWORD>(lParam);
        std::memcpy(bytes + 8, &w, 4);
        std::memcpy(bytes + 12, &message, 4);
        std::memcpy(bytes + 24, &l, 4);
    }
};

// Handles come from the lowest free slot: one left open moves the next.
HANDLE FreshHandle() { return kcom::CHandle(::CreateEventW(nullptr, FALSE, FALSE, nullptr)).get(); }

const HWND kDeadWindow = reinterpret_cast<HWND>(0x0BAD0000);

}  // namespace

class StdFactoryRecords : public FactoryFixture {
protected:
    // Hands the data to the factory as the recorder does; answers the code it set.
    ULONG DeliverData(const void* data, UINT format = 0, HRESULT expected = S_OK) {
        FORMATETC fmt{static_cast<CLIPFORMAT>(format ? format : factory_->WindowFormat()), nullptr, DVASPECT_CONTENT,
                      -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = const_cast<void*>(data);
        ULONG mdRet = 0;
        EXPECT_EQ(expected, factory_.as<IKorDataTarget>()->ReceiveData(&fmt, &medium, &mdRet));
        return mdRet;
    }
    ULONG Deliver(HWND window, UINT message, UINT_PTR lParam = 0, HRESULT expected = S_OK) {
        Record record(window, message, lParam);
        return DeliverData(&record, 0, expected);
    }
    HWND LastRecorded() { return site_->Received().empty() ? nullptr : WindowOf(site_->Received().back()); }
};

TEST_F(StdFactoryRecords, BadArgumentsAndForeignFormats) {
    Record record(kDeadWindow, WM_LBUTTONDOWN);
    FORMATETC fmt{static_cast<CLIPFORMAT>(factory_->WindowFormat()), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    ULONG mdRet = 0;
    EXPECT_EQ(E_POINTER, factory_.as<IKorDataTarget>()->ReceiveData(&fmt, &medium, nullptr));
    EXPECT_EQ(E_POINTER, factory_.as<IKorDataTarget>()->ReceiveData(nullptr, &medium, &mdRet));
    EXPECT_EQ(8u, mdRet);
    EXPECT_EQ(8u, DeliverData(nullptr, 0, E_POINTER));
    EXPECT_EQ(8u, DeliverData(&record, ::RegisterClipboardFormatW(L"SomeOtherFormat")));
    EXPECT_EQ(1u, Deliver(HWND{}, WM_LBUTTONDOWN));  // no window
    EXPECT_EQ(0, Created());
}

TEST_F(StdFactoryRecords, KeptRecordsOfOneWindowGiveTheSiteOneObject) {
    StartAut();
    Recording(true);
    EXPECT_EQ(4u, Deliver(W(L"alpha"), WM_LBUTTONDOWN));
    EXPECT_EQ(4u, Deliver(W(L"alpha"), WM_LBUTTONUP));
    EXPECT_EQ(1, Created());
    ASSERT_EQ(2u, site_->Received().size());
    EXPECT_EQ(site_->Received()[0], site_->Received()[1]);
    EXPECT_EQ(W(L"alpha"), LastRecorded());
    EXPECT_EQ(L"ReceiveRecord(TestClass,18,52,86)", site_->Log().Lines().back());
    // Menu messages (their low word), filtered records and windows without a class: not recorded.
    EXPECT_EQ(8u, Deliver(W(L"button"), 0x10000 | WM_INITMENUPOPUP));
    factory_->keep = false;
    EXPECT_EQ(8u, Deliver(W(L"button"), WM_LBUTTONDOWN));
    factory_->keep = true;
    factory_->classIds = S_FALSE;
    EXPECT_EQ(1u, Deliver(W(L"button"), WM_LBUTTONDOWN));
    EXPECT_EQ(1, Created());
}

TEST_F(StdFactoryRecords, NotifyRecordsNameTheSenderReadFromTheApplication) {
    StartAut();
    Recording(true);
    EXPECT_EQ(4u, Deliver(W(L"button"), WM_NOTIFY, aut_.NotifyAddress()));
    EXPECT_EQ(W(L"alpha"), LastRecorded());
    // A header that cannot be read, or the window of no process: nothing, and no handle left open.
    const HANDLE before = FreshHandle();
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(1u, Deliver(W(L"button"), WM_NOTIFY, 0x10));
        EXPECT_EQ(1u, Deliver(kDeadWindow, WM_NOTIFY, aut_.NotifyAddress()));
        EXPECT_EQ(4u, Deliver(W(L"button"), WM_NOTIFY, aut_.NotifyAddress()));
    }
    EXPECT_EQ(before, FreshHandle());
    EXPECT_EQ(1, Created());
}

TEST_F(StdFactoryRecords, CommandRecordsNameTheControlOrTheirOwnWindow) {
    StartAut();
    EXPECT_EQ(4u, Deliver(W(L"main"), WM_COMMAND, reinterpret_cast<UINT_PTR>(W(L"button"))));
    EXPECT_EQ(W(L"button"), LastRecorded());
    EXPECT_EQ(4u, Deliver(W(L"alpha"), WM_COMMAND));
    EXPECT_EQ(W(L"alpha"), LastRecorded());
}

TEST_F(StdFactoryRecords, DestroyAndClearRecordsEmptyTheCache) {
    StartAut();
    Recording(true);
    auto clickBoth = [&] {
        Deliver(W(L"alpha"), WM_LBUTTONDOWN);
        Deliver(W(L"button"), WM_LBUTTONDOWN);
    };
    clickBoth();
    EXPECT_EQ(8u, Deliver(W(L"alpha"), WM_DESTROY));
    clickBoth();
    EXPECT_EQ(3, Created());  // a new object for the destroyed window only
    for (const wchar_t* format : {L"TchilatHacklata", L"SofHacklata"}) {
        EXPECT_EQ(8u, DeliverData(nullptr, ::RegisterClipboardFormatW(format)));
        clickBoth();
    }
    EXPECT_EQ(7, Created());
}

TEST_F(StdFactoryRecords, NothingIsHandedOverWithoutASiteThatTakesIt) {
    StartAut();
    site_->SetReceiveResult(E_ACCESSDENIED);
    EXPECT_EQ(8u, Deliver(W(L"alpha"), WM_LBUTTONDOWN, 0, E_ACCESSDENIED));
    site_->SetReceiveResult(S_OK);
    standin::CTestObjectStandIn::Defaults().refused = {__uuidof(IKorDataTarget)};
    EXPECT_EQ(8u, Deliver(W(L"alpha"), WM_LBUTTONDOWN, 0, E_NOINTERFACE));
    EXPECT_EQ(1u, site_->Received().size());
    // Without a site the object gets no parent, so it is not made at all.
    factory_ = New<CTestFactory>(false);
    EXPECT_EQ(8u, Deliver(W(L"alpha"), WM_LBUTTONDOWN, 0, E_FAIL));
}

TEST_F(StdFactoryRecords, RecordedStepsOfHiddenWindowsAreMarkedInvisible) {
    StartAut();
    const UINT steps = ::RegisterClipboardFormatW(L"FormatVovuvarShellTestObjects");
    auto step = [&](const VARIANT& objectId, const VARIANT* visible = nullptr) {
        auto object = TestObject::New();
        object->Put(L"objectid", objectId);
        if (visible) object->Put(L"visible", *visible);
        IDispatch* data = object.as<IDispatch>();
        EXPECT_EQ(8u, DeliverData(&data, steps));
        return object->Peek(L"visible");
    };
    CRuntimeId hidden = WindowId(W(L"hidden")), alpha = WindowId(W(L"alpha"));
    CRuntimeId foreign = WindowId(W(L"hidden"), ::RegisterClipboardFormatW(L"SomeOtherFormat"));
    const CComVariant marked = step(AsVariant(hidden)), known(L"yes");
    EXPECT_EQ(VT_BOOL, marked.vt);
    EXPECT_EQ(VARIANT_FALSE, marked.boolVal);
    EXPECT_EQ(VT_EMPTY, step(AsVariant(alpha)).vt);
    EXPECT_EQ(VT_BSTR, step(AsVariant(hidden), &known).vt);
    EXPECT_EQ(VT_EMPTY, step(AsVariant(foreign)).vt);
    EXPECT_EQ(VT_EMPTY, step(CComVariant(static_cast<long>(E_FAIL), VT_ERROR)).vt);
    IDispatch* none = nullptr;
    EXPECT_EQ(8u, DeliverData(&none, steps));
}

TEST_F(StdFactoryRecords, SkipListsByClassAndTitleAndTheRunDialog) {
    StartAut();
    const wchar_t* classes = L"Packages\\StdPackage\\Common\\SkipRecordClasses";
    settings_->Put(classes, L"skipOUTER", 1L);
    settings_->Put(classes, L"SkipSolo", 2L);
    settings_->Put(classes, L"Button", L"not a number");
    // The factory's own list comes second: a name it repeats keeps the first value.
    settings_->Put(L"Packages\\Test\\SkipRecordClasses", L"SKIPSOLO", 1L);
    settings_->Put(L"Packages\\Test\\SkipRecordTitles", L"secret PANE", 2L);
    ASSERT_EQ(S_OK, factory_->SetRack(rack_.as<IObjectRack>()));
    for (const wchar_t* name : {L"outer", L"inner", L"solo", L"titled", L"run", L"runfield"})
        EXPECT_TRUE(factory_->IsSkippedWindow(W(name))) << name;
    for (const wchar_t* name : {L"soloinner", L"button", L"alpha", L"main", L"fakeprompt"})
        EXPECT_FALSE(factory_->IsSkippedWindow(W(name))) << name;
    EXPECT_FALSE(factory_->IsSkippedWindow(kDeadWindow));
    EXPECT_EQ(S_OK, factory_->SetRack(nullptr));  // without a rack the lists stay
    EXPECT_TRUE(factory_->IsSkippedWindow(W(L"inner")));
}

TEST_F(StdFactoryRecords, TheClassMapTranslatesTheObjectClassOrTheWindowClass) {
    StartAut();
    const wchar_t* map = L"Packages\\StdPackage\\ClassMap";
    settings_->Put(map, L"GridKind", L"MappedGrid");
    settings_->Put(map, L"KorGrid", L"MappedByWindowClass");
    settings_->Put(map, L"Button", 5L);
    engine_->PutValue(L"Object Class", CComVariant(L"GridKind"));
    kcom::CComBSTR mapped;
    EXPECT_EQ(S_OK, factory_->GetObjectClass(W(L"alpha"), mapped.Put()));
    EXPECT_STREQ(L"MappedGrid", mapped.c_str());
    engine_->PutValue(L"Object Class", CComVariant());
    EXPECT_EQ(S_OK, factory_->GetObjectClass(W(L"alpha"), mapped.Put()));
    EXPECT_STREQ(L"MappedByWindowClass", mapped.c_str());
    EXPECT_EQ(E_FAIL, factory_->GetObjectClass(W(L"button"), mapped.Put()));
    EXPECT_HRESULT_FAILED(factory_->GetObjectClass(W(L"main"), mapped.Put()));
    EXPECT_EQ(E_POINTER, factory_->GetObjectClass(W(L"alpha"), nullptr));
}
