// Recorder records through the ActiveX factory on the application's real windows: what makes a
// step, the windows recorded on their parent, and records that cannot be trusted.
#include <cstring>
#include "AcxFactoryFixture.h"
#include "com/Handles.h"

namespace {

// A record as the recorder lays it out: window format, or windowless with a cookie.
struct Record {
    BYTE bytes[32] = {};
    Record(HWND window, UINT message, UINT_PTR lParam = 0) {
        Write(8, static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window)));
        Write(12, message);
        Write(24, static_cast<DWORD>(lParam));
    }
    Record(HWND container, LONG cookie, UINT message, UINT_PTR lParam) {
        Write(4, static_cast<DWORD>(reinterpret_cast<UINT_PTR>(container)));
        Write(8, static_cast<DWORD>(cookie));
        Write(12, message);
        Write(20, static_cast<DWORD>(lParam));
    }
    void Write(size_t at, DWORD value) { std::memcpy(bytes + at, &value, 4); }
    HWND Window() const {
        DWORD value = 0;
        std::memcpy(&value, bytes + 8, 4);
        return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
    }
};

const HWND kDeadWindow = reinterpret_cast<HWND>(0x0BAD0000);

}  // namespace

class AcxFactoryRecords : public AcxFactoryFixture {
protected:
    ULONG DeliverData(void* data, UINT format, HRESULT expected = S_OK) {
        FORMATETC fmt{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = data;
        ULONG mdRet = 0;
        EXPECT_EQ(expected, factory_.as<IKorDataTarget>()->ReceiveData(&fmt, &medium, &mdRet));
        return mdRet;
    }
    ULONG Deliver(Record& record, HRESULT expected = S_OK) { return DeliverData(&record, factory_->WindowFormat(), expected); }
    ULONG Deliver(HWND window, UINT message, UINT_PTR lParam = 0) {
        Record record(window, message, lParam);
        return Deliver(record);
    }
    ULONG DeliverWindowless(HWND container, LONG cookie, UINT message, HRESULT expected = S_OK) {
        Record record(container, cookie, message, MAKELPARAM(5, 7));
        return DeliverData(&record, factory_->WindowlessFormat(), expected);
    }
    std::wstring LastRecorded() { return site_->Received().empty() ? L"(none)" : Names(site_->Received().back()); }
};

TEST_F(AcxFactoryRecords, ClicksAndKeysOnControlsGoToTheSite) {
    EXPECT_EQ(4u, Deliver(W(L"ctl"), WM_LBUTTONUP, MAKELPARAM(5, 7)));
    EXPECT_EQ(L"ctl", LastRecorded());
    EXPECT_EQ(1, Lines(site_->Log(), L"ReceiveRecord(ActiveX,45055,45055,0)"));
    EXPECT_EQ(4u, DeliverWindowless(W(L"main"), 7, WM_RBUTTONUP));
    EXPECT_EQ(L"main:7", LastRecorded());
    EXPECT_EQ(4u, Deliver(W(L"inner"), WM_KEYDOWN, 0));
    EXPECT_EQ(1u, Deliver(W(L"ctl"), WM_MOUSEMOVE));
    EXPECT_EQ(8u, Deliver(W(L"frame"), WM_COMMAND));
    // A command of an image combo's combo box is the image combo's own business.
    EXPECT_EQ(1u, Deliver(W(L"image"), WM_COMMAND, reinterpret_cast<UINT_PTR>(W(L"combo"))));
    EXPECT_EQ(3u, site_->Received().size());
}

TEST_F(AcxFactoryRecords, DrawnPartsAndImageCombosAreRecordedOnTheirParent) {
    Record afx(W(L"afx"), WM_LBUTTONDOWN);
    EXPECT_EQ(4u, Deliver(afx));
    EXPECT_EQ(L"afxhost", LastRecorded());
    EXPECT_EQ(W(L"afxhost"), afx.Window());  // the record itself names the parent now
    Record combo(W(L"combo"), WM_LBUTTONUP);
    EXPECT_EQ(4u, Deliver(combo));
    EXPECT_EQ(L"image", LastRecorded());
    // Not of the parent's place, a standard class, a mapped class, a skipped class, no control.
    for (const wchar_t* name : {L"afxsmall", L"button", L"mapped", L"skipped", L"plain"})
        EXPECT_EQ(8u, Deliver(W(name), WM_LBUTTONUP)) << name;
    EXPECT_EQ(2u, site_->Received().size());
}

TEST_F(AcxFactoryRecords, OnlyButtonsKeysFocusAndUserMessagesMakeSteps) {
    // {message, kept, answer code}: commands and notifications are left to their senders.
    const UINT cases[][3] = {{0x200, 0, 1}, {0x201, 1, 8}, {0x209, 1, 8}, {0x20A, 0, 1}, {0xFF, 0, 1},
                             {0x100, 1, 8}, {0x108, 1, 8}, {0x109, 0, 1}, {WM_SETFOCUS, 1, 8}, {WM_USER, 0, 1},
                             {WM_USER + 1, 1, 8}, {WM_COMMAND, 0, 8}, {WM_NOTIFY, 0, 8}, {0x10201, 1, 8}};
    FORMATETC fmt{static_cast<CLIPFORMAT>(factory_->WindowFormat()), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    for (const auto& c : cases) {
        Record record(W(L"ctl"), c[0]);
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = &record;
        ULONG mdRet = 8;
        EXPECT_EQ(c[1] != 0, factory_->FilterRecord(&fmt, &medium, &mdRet, WindowId(W(L"ctl")))) << std::hex << c[0];
        EXPECT_EQ(c[2], mdRet) << std::hex << c[0];
    }
    EXPECT_TRUE(factory_->FilterRecord(nullptr, nullptr, nullptr, WindowlessId(W(L"main"), 7)));  // not filtered
}

TEST_F(AcxFactoryRecords, RecordsThatCannotBeTrustedRecordNothing) {
    EXPECT_EQ(8u, Deliver(kDeadWindow, WM_LBUTTONUP));
    EXPECT_EQ(8u, DeliverWindowless(kDeadWindow, 7, WM_LBUTTONUP, E_FAIL));
    EXPECT_EQ(8u, DeliverWindowless(W(L"main"), 99, WM_LBUTTONUP, E_FAIL));  // no control of that cookie
    // Records in global memory too short for their fields.
    for (UINT format : {factory_->WindowFormat(), factory_->WindowlessFormat()}) {
        kcom::CGlobal shortRecord(::GlobalAlloc(GMEM_FIXED, 12));
        std::memset(shortRecord.get(), 0, 12);
        EXPECT_EQ(1u, DeliverData(shortRecord.get(), format));
    }
    EXPECT_EQ(8u, DeliverData(nullptr, factory_->WindowlessFormat()));
    EXPECT_TRUE(site_->Received().empty());
}
