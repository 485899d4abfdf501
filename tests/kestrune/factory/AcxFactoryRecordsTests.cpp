// Recorder records through the ActiveX factory on the application's real windows: what makes a
// step, the windows recorded on their parent, and records that cannot be trusted.
#include "AcxFactoryFixture.h"
#include "RecorderRecord.h"

namespace {

const HWND kDeadWindow = reinterpret_cast<HWND>(0x0BAD0000);

}  // namespace

class AcxFactoryRecords : public AcxFactoryFixture {
protected:
    ULONG DeliverData(HGLOBAL data, UINT format, HRESULT expected = S_OK) {
        FORMATETC fmt{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = data;
        ULONG mdRet = 0;
        EXPECT_EQ(expected, factory_.as<IKorDataTarget>()->ReceiveData(&fmt, &medium, &mdRet));
        return mdRet;
    }
    ULONG Deliver(const CRecorderRecord& record) { return DeliverData(record.get(), factory_->WindowFormat()); }
    ULONG Deliver(HWND window, UINT message, UINT_PTR lParam = 0) {
        return Deliver(CRecorderRecord::Window(window, message, static_cast<DWORD>(lParam)));
    }
    ULONG DeliverWindowless(HWND container, LONG cookie, UINT message, HRESULT expected = S_OK) {
        return DeliverData(CRecorderRecord::Windowless(container, cookie, message, MAKELPARAM(5, 7)).get(),
                           factory_->WindowlessFormat(), expected);
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
    const auto afx = CRecorderRecord::Window(W(L"afx"), WM_LBUTTONDOWN);
    EXPECT_EQ(4u, Deliver(afx));
    EXPECT_EQ(L"afxhost", LastRecorded());
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(W(L"afxhost")), afx.At(8));  // the record itself names the parent now
    EXPECT_EQ(4u, Deliver(W(L"combo"), WM_LBUTTONUP));
    EXPECT_EQ(L"image", LastRecorded());
    // Not of the parent's place, a standard class, a mapped class, a skipped class, no control.
    for (const wchar_t* name : {L"afxsmall", L"button", L"mapped", L"skipped", L"plain"})
        EXPECT_EQ(8u, Deliver(W(name), WM_LBUTTONUP)) << name;
    EXPECT_EQ(2u, site_->Received().size());
}

TEST_F(AcxFactoryRecords, OnlyButtonsKeysFocusAndUserMessagesMakeSteps) {
    // {message, kept, answer code}: commands and notifications are left to their senders.
    const UINT cases[][3] = {{0x200, 0, 1},       {0x201, 1, 8},   {0x209, 1, 8},       {0x20A, 0, 1},
                             {0xFF, 0, 1},        {0x100, 1, 8},   {0x108, 1, 8},       {0x109, 0, 1},
                             {WM_SETFOCUS, 1, 8}, {WM_USER, 0, 1}, {WM_USER + 1, 1, 8}, {WM_COMMAND, 0, 8},
                             {WM_NOTIFY, 0, 8},   {0x10201, 1, 8}};
    FORMATETC fmt{static_cast<CLIPFORMAT>(factory_->WindowFormat()), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    for (const auto& c : cases) {
        const auto record = CRecorderRecord::Window(W(L"ctl"), c[0]);
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = record.get();
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
    EXPECT_EQ(1u, Deliver(CRecorderRecord::Window(W(L"ctl"), WM_LBUTTONUP, 0, 20)));
    EXPECT_EQ(1u, DeliverData(CRecorderRecord::Windowless(W(L"main"), 7, WM_LBUTTONUP, 0, 20).get(),
                              factory_->WindowlessFormat()));
    EXPECT_EQ(8u, DeliverData(nullptr, factory_->WindowlessFormat()));
    EXPECT_TRUE(site_->Received().empty());
}
