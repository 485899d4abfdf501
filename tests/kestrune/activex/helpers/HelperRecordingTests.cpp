// Recording through the host's road with input posted to the application under test: the hook's
// records go to the recorder, the ActiveX factory and the test object it hands over.
#include "RecordingFixture.h"

using HelperRecording = RecordingFixture;

TEST_F(HelperRecording, AWindowedClickGoesToTheInnerRecorder) {
    Click(L"ctl", {50, 20}, L"window 202");
    const auto records = Records();
    for (const wchar_t* line : {L"window 201: factory 4, object 1", L"window 202: factory 4, object 1"})
        EXPECT_NE(records.end(), std::find(records.begin(), records.end(), line)) << line;
    // The standard window object records it, as a step of its outer object.
    EXPECT_EQ(std::vector<std::wstring>{L"Click [I4:50,I4:20]"}, Steps());
    ASSERT_EQ(1u, bed_.recordMgr->Steps().size());
    kcom::CComPtr<IUnknown> stepObject;
    bed_.recordMgr->Steps()[0].object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(stepObject.Put()));
    EXPECT_EQ(standin::CWinObjectStandIn::Last()->Outer(), stepObject.get());
    const auto inner = standin::CWinObjectStandIn::Last()->Log().Lines();
    EXPECT_EQ(1, std::count(inner.begin(), inner.end(), L"ReceiveData(FormaShelHalonotRegilim,513)"));
    EXPECT_EQ(1, std::count(inner.begin(), inner.end(), L"ReceiveData(FormaShelHalonotRegilim,514)"));
}

TEST_F(HelperRecording, SkippedClassesAreNotRecorded) {
    bed_.options->Put(L"Packages\\Kestrune\\SkipRecordClasses", L"KorTestControl", 1L);
    kcom::CComQIPtr<IObjectRackClient>(factory_.get())->SetRack(bed_.Rack());
    Click(L"ctl", {50, 20}, L"window 202");
    const auto records = Records();
    EXPECT_NE(records.end(), std::find(records.begin(), records.end(), L"window 202: factory 8"));
    EXPECT_TRUE(standin::CWinObjectStandIn::Last() == nullptr ||
                standin::CWinObjectStandIn::Last()->Log().Lines().empty());
}

TEST_F(HelperRecording, WindowlessClicksAreStepsRelativeToTheControl) {
    const LONG sizes = bed_.aut.HookCount(L"GET_WLS_SIZE_MSG");
    Click(L"main", {30, 95}, L"windowless 7 202");
    EXPECT_EQ(sizes + 1, bed_.aut.HookCount(L"GET_WLS_SIZE_MSG"));  // both offsets share one reading
    Click(L"main", {160, 84}, L"windowless 8 205", MouseButton::Right);
    EXPECT_EQ((std::vector<std::wstring>{L"Click [I4:10,I4:15]", L"Click [I4:10,I4:4,I4:1]"}), Steps());
    const auto records = Records();
    EXPECT_NE(records.end(), std::find(records.begin(), records.end(), L"windowless 7 202: factory 4, object 1"));
    EXPECT_NE(records.end(), std::find(records.begin(), records.end(), L"windowless 8 205: factory 4, object 1"));
}

class HelperRecords : public HelperRecording {
protected:
    // The container's window is known to the hook by a cookie of its own.
    HelperRecords() { scenario_ += L"fact main handlecookie=7\n"; }
    kcom::CComPtr<IKorDataTarget> Object(CRuntimeId id) {
        kcom::CComPtr<IPackageServices> services;
        kcom::CComPtr<IDispatch> object;
        kcom::CComPtr<IKorDataTarget> target;
        if (SUCCEEDED(factory_.QueryInterface(services.Put())) &&
            services->CreateTestObjFromRuntimeId(id, object.Put()) == S_OK)
            object.QueryInterface(target.Put());
        kcom::CComQIPtr<ITestObject> testObject(object.get());
        if (testObject) testObject->SetRecordMgr(bed_.RecordTarget());
        return target;
    }
    CRuntimeId Id(bool windowless, HWND window, long cookie = 0) {
        CRuntimeId id(windowless ? g_cfWindowlessAcxControl : g_cfShelHalonotRegilim);
        id.PutVariantValue(L"hwnd", kcom::CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(window))));
        if (windowless) id.PutVariantValue(L"punknown", kcom::CComVariant(cookie));
        return id;
    }
};

TEST_F(HelperRecords, AWindowedControlsReleaseWithoutPressIsItsOwnClick) {
    auto ctl = Object(Id(false, W(L"ctl")));
    ASSERT_TRUE(ctl);
    EXPECT_EQ(L"1 0", Give(ctl, CRecorderRecord::Window(W(L"ctl"), WM_LBUTTONUP, MAKELPARAM(65535, 7)), false));
    EXPECT_EQ(L"1 0", Give(ctl, CRecorderRecord::Window(W(L"ctl"), WM_LBUTTONUP, MAKELPARAM(5, 7)), false));  // inner's
    // The second is the inner recorder's step.
    EXPECT_EQ((std::vector<std::wstring>{L"Click [UI2:65535,UI2:7]", L"Click [I4:5,I4:7]"}), Steps());
    EXPECT_EQ(L"8 0", Give(ctl, CRecorderRecord::Window(W(L"ctl"), WM_COMMAND, 0), false));
    EXPECT_EQ(L"1 0", Give(ctl,
                           CRecorderRecord::Window(W(L"main"), WM_COMMAND,
                                                   static_cast<DWORD>(reinterpret_cast<UINT_PTR>(W(L"ctl")))),
                           false));
    EXPECT_EQ(L"8 0", Give(ctl, CRecorderRecord::Window(W(L"main"), WM_LBUTTONUP, 0), false));
    EXPECT_EQ(L"8 0", Give(ctl, CRecorderRecord::Windowless(W(L"main"), 7, WM_LBUTTONUP), true));  // not its format
    EXPECT_EQ(L"8 80070057", Give(ctl, CRecorderRecord::Window(W(L"ctl"), WM_LBUTTONUP, 0, 20), false));
    EXPECT_EQ(2u, Steps().size());

    // On a windowed object of the container: a press over a windowless control other than the
    // window's own cookie is that control's; focus is handled here while the window has a cookie
    // and was not pressed, else it goes to the inner recorder, as it does for a window without one.
    kcom::CComPtr<IKorActiveXInit> box;
    ASSERT_HRESULT_SUCCEEDED(box.CoCreateInstance(CLSID_KorActiveX, nullptr, CLSCTX_INPROC_SERVER));
    kcom::CComQIPtr<IObjectRackClient>(box.get())->SetRack(bed_.Rack());
    ASSERT_EQ(S_OK, box->Init(g_cfShelHalonotRegilim));
    kcom::CComQIPtr<ITestObjectInfo>(box.get())
        ->put_PropExpr(kcom::CComBSTR(L"objectid"), nullptr, nullptr, nullptr,
                       kcom::CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(Id(false, W(L"main"))))));
    kcom::CComQIPtr<IKorDataTarget> container(box.get());
    auto focusesGiven = [](IUnknown* outer) {
        const auto lines = standin::CWinObjectStandIn::OfOuter(outer)->Log().Lines();
        return std::count(lines.begin(), lines.end(), L"ReceiveData(FormaShelHalonotRegilim,7)");
    };
    EXPECT_EQ(L"1 0", Give(container, CRecorderRecord::Window(W(L"main"), WM_SETFOCUS), false));
    EXPECT_EQ(0, focusesGiven(box));
    EXPECT_EQ(L"8 0", Give(container, CRecorderRecord::Window(W(L"main"), WM_LBUTTONDOWN, MAKELPARAM(160, 90)), false));
    EXPECT_EQ(L"1 0", Give(container, CRecorderRecord::Window(W(L"main"), WM_SETFOCUS), false));
    EXPECT_EQ(1, focusesGiven(box));
    RecordedWindowMap.erase(W(L"ctl"));
    EXPECT_EQ(L"1 0", Give(ctl, CRecorderRecord::Window(W(L"ctl"), WM_SETFOCUS), false));
    EXPECT_EQ(1, focusesGiven(ctl));
    EXPECT_EQ(2u, Steps().size());
}

TEST_F(HelperRecords, AWindowlessControlRecordsItsReleasesOnly) {
    auto seven = Object(Id(true, W(L"main"), 7));
    ASSERT_TRUE(seven);
    EXPECT_EQ(L"1 0", Give(seven, CRecorderRecord::Windowless(W(L"main"), 7, WM_RBUTTONUP, MAKELPARAM(-5, 7)), true));
    EXPECT_EQ(L"1 0", Give(seven, CRecorderRecord::Windowless(W(L"main"), 7, WM_LBUTTONDOWN), true));
    EXPECT_EQ(L"8 0", Give(seven, CRecorderRecord::Windowless(W(L"main"), 8, WM_LBUTTONUP), true));
    EXPECT_EQ(L"8 80070057", Give(seven, CRecorderRecord::Windowless(W(L"main"), 7, WM_LBUTTONUP, 0, 20), true));
    EXPECT_EQ((std::vector<std::wstring>{L"Click [I4:-5,I4:7,I4:1]"}), Steps());
}

TEST_F(HelperRecords, AnIdentityThatCannotBeReadRecordsNothing) {
    for (UINT format : {g_cfShelHalonotRegilim, g_cfWindowlessAcxControl}) {
        kcom::CComPtr<IKorActiveXInit> object;
        ASSERT_HRESULT_SUCCEEDED(object.CoCreateInstance(CLSID_KorActiveX, nullptr, CLSCTX_INPROC_SERVER));
        ASSERT_EQ(S_OK, object->Init(format));
        kcom::CComQIPtr<IKorDataTarget> target(object.get());
        kcom::CComQIPtr<ITestObjectInfo> info(object.get());
        kcom::CComVariant failed;
        failed.vt = VT_ERROR;
        failed.scode = 0x80040202;
        const bool windowless = format == g_cfWindowlessAcxControl;
        info->put_PropExpr(kcom::CComBSTR(L"objectid"), nullptr, nullptr, nullptr, failed);
        EXPECT_EQ(windowless ? L"10 80040202" : L"10 80004005",
                  Give(target,
                       windowless ? CRecorderRecord::Windowless(W(L"main"), 7, WM_LBUTTONUP)
                                  : CRecorderRecord::Window(W(L"main"), WM_LBUTTONUP),
                       windowless));
        // A windowless object whose identifier names a window only.
        info->put_PropExpr(kcom::CComBSTR(L"objectid"), nullptr, nullptr, nullptr,
                           kcom::CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(Id(false, W(L"main"))))));
        if (windowless) {
            EXPECT_EQ(L"3 0", Give(target, CRecorderRecord::Windowless(W(L"main"), 7, WM_LBUTTONUP), true));
        }
    }
    EXPECT_TRUE(Steps().empty());
}
