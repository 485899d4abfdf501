// Replayed clicks of the window-kind strategies, seen in the controls' own input logs, the
// device-replay engine's log and the inner standard window object's log; making a control visible.
#include "AcxObjectFixture.h"
#include "InputDelivery.h"
#include "errors/TestObjectError.h"

namespace {

// A window above part of the windowed control, and windowless controls hidden inside the windowed
// control, without a size, and beside the others.
constexpr wchar_t kReplayScenario[] = LR"(
window main KorTestContainer text="Kor Test Container" rect=40,40,400,300
window cover KorCover parent=main rect=90,10,40,20
control ctl KorTest.WndCtl parent=main rect=10,10,101,41 caption=Hello text=Alpha
windowless main 7 KorTest.WlsButton rect=20,80,100,30 caption=Seven
windowless ctl 5 KorTest.WlsHidden rect=5,5,20,10 hidden=1
windowless main 6 KorTest.WlsEmpty rect=270,80,0,0
)";

}  // namespace

class HelperReplay : public AcxObjectFixture {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(bed_.Start(kReplayScenario));
        main_ = bed_.aut.Window(L"main");
        ctl_ = bed_.aut.Window(L"ctl");
        bed_.TakeDesktop(main_);
    }
    HRESULT Click(const AcxObject& object, int x, int y, BUTTON button = BUTTON_LEFT) {
        return object.as<IKorActiveXBaseReplay>()->ReplayDoClick(x, y, button);
    }
    Lines Log(HWND window, long cookie = 0) {
        Lines lines = InputLog(Control(window, cookie));
        Lines clicks;
        for (const auto& line : lines)
            if (line.find(L"BUTTON") != std::wstring::npos) clicks.push_back(line);
        return clicks;
    }
    Lines Engine() { return bed_.deviceReplay->Log().Lines(); }
    Lines Inner() {
        Lines clicks;
        for (const auto& line : standin::CWinObjectStandIn::Last()->Log().Lines())
            if (line.rfind(L"DoClick", 0) == 0 || line.rfind(L"DoDblClick", 0) == 0) clicks.push_back(line);
        return clicks;
    }
};

TEST_F(HelperReplay, AWindowedClickGoesToTheInnerObjectAtTheControlsPoint) {
    AcxObject ctl = Windowed();
    EXPECT_EQ(S_OK, Click(ctl, -9999, -9999));
    EXPECT_EQ(S_OK, Click(ctl, 3, 4, BUTTON_RIGHT));
    EXPECT_EQ((Lines{L"DoClick(50,20,0)", L"DoClick(3,4,1)"}), Inner());
    EXPECT_EQ((Lines{L"WM_LBUTTONDOWN 50,20", L"WM_LBUTTONUP 50,20", L"WM_RBUTTONDOWN 3,4", L"WM_RBUTTONUP 3,4"}),
              Log(ctl_));
    EXPECT_TRUE(Engine().empty());
    EXPECT_TRUE(bed_.recordMgr->Log().Lines().empty());  // nothing was covered

    // Found as a control that the hook knows by a cookie in its container: found again after the
    // wait, then clicked by the engine where the control lies.
    kcom::CComPtr<IDispatch> container = Container();
    AcxObject known = New(kcom::CComVariant(), g_cfShelHalonotRegilim);
    ASSERT_EQ(S_OK, Describe(known, L"parent", kcom::CComVariant(container.get()), 9));
    ASSERT_EQ(S_OK, Describe(known, L"progid", kcom::CComVariant(L"KorTest.WlsButton"), 0x10));
    EXPECT_EQ(S_OK, Click(known, 5, 6));
    POINT corner{20, 80};
    ::ClientToScreen(main_, &corner);
    EXPECT_EQ((Lines{L"Click(" + std::to_wstring(corner.x + 5) + L"," + std::to_wstring(corner.y + 6) + L",0)"}),
              Engine());
    EXPECT_EQ((Lines{L"WM_LBUTTONDOWN 5,6", L"WM_LBUTTONUP 5,6"}), Log(main_, 7));
    EXPECT_EQ(main_, known->Window());
    EXPECT_EQ(7, known->Cookie());
}

TEST_F(HelperReplay, ACoveredWindowedControlIsMadeVisibleAtThePointFirst) {
    bed_.queryEngine->PutValue(L"GetActiveXRunTimeIDFromHwnd", WindowId(ctl_));
    AcxObject ctl = Windowed();
    EXPECT_EQ(S_OK, Click(ctl, 85, 5));
    const Lines commands = bed_.recordMgr->Log().Lines();
    ASSERT_EQ(1u, commands.size());
    EXPECT_NE(std::wstring::npos, commands[0].find(L"{DF3D0778-AD95-11D4-8F49-0050DA4F349C},2,[VT:13,I4:85,I4:5]"))
        << commands[0];
    // The click itself is the inner object's, whatever the host made of the request.
    EXPECT_EQ((Lines{L"DoClick(85,5,0)"}), Inner());
    EXPECT_EQ((Lines{L"WM_LBUTTONDOWN 85,5", L"WM_LBUTTONUP 85,5"}), Log(ctl_));
}

TEST_F(HelperReplay, AVisibleWindowlessControlIsClickedByTheEngine) {
    AcxObject seven = Windowless(7);
    EXPECT_EQ(S_OK, Click(seven, -9999, -9999));
    EXPECT_EQ(S_OK, Click(seven, 5, 6, BUTTON_MIDDLE));
    RECT container{};
    ::GetWindowRect(main_, &container);
    POINT corner{20, 80};
    ::ClientToScreen(main_, &corner);
    EXPECT_EQ((Lines{L"Click(" + std::to_wstring(corner.x + 50) + L"," + std::to_wstring(corner.y + 15) + L",0)",
                     L"Click(" + std::to_wstring(corner.x + 5) + L"," + std::to_wstring(corner.y + 6) + L",2)"}),
              Engine());
    EXPECT_EQ((Lines{L"WM_LBUTTONDOWN 50,15", L"WM_LBUTTONUP 50,15", L"WM_RBUTTONDOWN 5,6", L"WM_RBUTTONUP 5,6"}),
              Log(main_, 7));
    bed_.deviceReplay->SetResult(E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, Click(seven, 1, 1));
}

TEST_F(HelperReplay, AHiddenWindowlessControlGetsItsContainersMessages) {
    AcxObject hidden = New(WindowlessId(ctl_, 5), g_cfWindowlessAcxControl);
    EXPECT_EQ(S_OK, Click(hidden, 2, 3));
    EXPECT_EQ(S_OK, hidden.as<IKorActiveXBaseReplay>()->ReplayDoClick(2, 3, BUTTON_RIGHT));
    EXPECT_EQ(S_OK, hidden->Click(2, 3, 0, 1));
    EXPECT_TRUE(Engine().empty());
    // In the container's client coordinates: the control lies at (5,5).
    EXPECT_EQ((Lines{L"WM_LBUTTONDOWN 7,8", L"WM_LBUTTONUP 7,8", L"WM_RBUTTONDOWN 7,8", L"WM_RBUTTONUP 7,8",
                     L"WM_LBUTTONDOWN 7,8", L"WM_LBUTTONUP 7,8", L"WM_LBUTTONDOWN 7,8", L"WM_LBUTTONDBLCLK 7,8"}),
              Log(ctl_));
    AcxObject empty = Windowless(6);
    EXPECT_EQ(KOR_E_OBJECT_NOT_VISIBLE, Click(empty, 1, 1));
}

TEST_F(HelperReplay, AWindowlessObjectThatNamesNoWindowlessControlIsNotFound) {
    AcxObject object = New(WindowId(ctl_), g_cfWindowlessAcxControl);
    EXPECT_EQ(KOR_E_OBJECT_NOT_FOUND, Click(object, 1, 1));
    EXPECT_TRUE(Engine().empty());
}

TEST_F(HelperReplay, MakingVisibleIsReportedWithItsOutcome) {
    AcxObject seven = Windowless(7);
    EXPECT_EQ(S_OK, seven.as<IKorActiveXBaseReplay>()->MakeVisible(1));
    AcxObject hidden = New(WindowlessId(ctl_, 5), g_cfWindowlessAcxControl);
    EXPECT_EQ(KOR_E_OBJECT_NOT_VISIBLE, hidden.as<IKorActiveXBaseReplay>()->MakeVisible(1));
    AcxObject ctl = Windowed();
    EXPECT_EQ(S_OK, ctl.as<IKorActiveXBaseReplay>()->MakeVisible(0));
    std::vector<long> statuses;
    for (const auto& event : bed_.report->Events()) statuses.push_back(event.Item(L"Status").lVal);
    EXPECT_EQ((std::vector<long>{2, 2, 2, 3}), statuses);
}
