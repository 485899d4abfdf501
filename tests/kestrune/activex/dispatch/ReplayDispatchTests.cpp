// Script actions of the ActiveX test object as replay steps, and what its replay methods do on the
// real controls, from a C++ client: exact HRESULTs and DISPIDs, the error information a failed
// step leaves, the control's events, the recovery texts and buttons, the dynamic list.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "AcxObjectFixture.h"
#include "OrlentyStandIn.h"
#include "errors/TestObjectError.h"
#include "testobject/replay/ReplaySkeletonContext.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

std::wstring Text(const VARIANT& v) { return v.vt == VT_BSTR && v.bstrVal ? v.bstrVal : L"<no text>"; }

// Its step can be made to fail closing.
class CClosingObject : public CKorActiveXProbe {
public:
    HRESULT STDMETHODCALLTYPE EndReplayStep() override {
        const HRESULT hr = CComTestObject::EndReplayStep();
        return failClosing ? E_ABORT : hr;
    }
    bool failClosing = false;
};

class ReplayDispatch : public AcxObjectFixture {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(bed_.Start(std::wstring(kAutControlsScenario) + kAutRecoveryChildren));
        main_ = bed_.aut.Window(L"main");
        ctl_ = bed_.aut.Window(L"ctl");
        OrlentyStandIn_SetRecordMgr(bed_.recordMgr.as<IKorDataTarget>());
    }
    void TearDown() override {
        OrlentyStandIn_SetRecordMgr(nullptr);
    }
    static standin::CWinObjectStandIn* Inner(const AcxObject& object) {
        return standin::CWinObjectStandIn::OfOuter(U(object));
    }
    // Through the object's IDispatch, as a script client calls: the arguments from the first.
    static HRESULT Call(const AcxObject& object, DISPID id, std::vector<CComVariant> args, EXCEPINFO* excep = nullptr,
                        VARIANT* result = nullptr) {
        std::reverse(args.begin(), args.end());
        DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        return Itf<IDispatch>(U(object))->Invoke(id, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                                                 result, excep, nullptr);
    }
    size_t Reports() const { return bed_.report->Events().size(); }
};

TEST_F(ReplayDispatch, AnActionIsOneStepNamedWithoutItsPrefix) {
    AcxObject object = Windowed();
    Inner(object)->Log().Clear();
    ASSERT_EQ(S_OK, Call(object, 0x53, {CComVariant(L"ab")}));
    const Lines calls = Inner(object)->Log().Lines();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(0u, calls.front().rfind(L"BeginReplayStep(", 0));
    EXPECT_EQ(L"EndReplayStep()", calls.back());
    // "Type" (0xA50300) reports its arguments at every attempt, under the step's name.
    bool reported = false;
    for (const standin::ReportedEvent& e : bed_.report->Events())
        for (const auto& [key, value] : e.items) reported |= value.vt == VT_BSTR && Text(value).find(L"Type") == 0;
    EXPECT_TRUE(reported);
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, object.as<IStdObjectReplay>()->Invoke(0x53, IID_IDispatch, 0, DISPATCH_METHOD,
                                                                             nullptr, nullptr, nullptr, nullptr));
}

// The step's replay error ends the call, never the process: DISP_E_EXCEPTION with the error in
// EXCEPINFO and as the thread's error information, or the code itself without an EXCEPINFO.
// The step is closed, and the next call opens its own.
TEST_F(ReplayDispatch, AReplayErrorEndsTheCallWithItsErrorInformation) {
    bed_.options->Put(L"", L"AutMode", 1L);
    AcxObject object = Windowed();
    EXCEPINFO excep;
    std::memset(&excep, 0xCD, sizeof excep);  // an out parameter: nothing in it is the callee's to free
    const size_t reports = Reports();
    ASSERT_EQ(DISP_E_EXCEPTION, Call(object, 0x51, {}, &excep));
    EXPECT_EQ(KOR_E_CLICK_REFUSED, excep.scode);
    ASSERT_NE(nullptr, excep.bstrDescription);
    EXPECT_GT(::SysStringLen(excep.bstrDescription), 0u);
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(S_OK, ::GetErrorInfo(0, info.Put()));
    CComBSTR description;
    info->GetDescription(description.Put());
    EXPECT_STREQ(excep.bstrDescription, description.c_str());
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrSource);
    ::SysFreeString(excep.bstrHelpFile);
    EXPECT_GT(Reports(), reports);
    EXPECT_EQ(L"EndReplayStep()", Inner(object)->Log().Lines().back());

    EXPECT_EQ(KOR_E_CLICK_REFUSED, Call(object, 0x52, {CComVariant(1L), CComVariant(2L)}));
}

TEST_F(ReplayDispatch, AutModeRefusesADirectClickBeforeIdentification) {
    bed_.options->Put(L"", L"AutMode", 1L);
    AcxObject object = Windowless(7);
    Inner(object)->Log().Clear();
    const size_t reports = Reports();
    EXPECT_EQ(KOR_E_CLICK_REFUSED, object.as<IStdObjectReplay>()->do_Click(-9999, -9999, BUTTON_LEFT));
    EXPECT_EQ(KOR_E_CLICK_REFUSED, object.as<IStdObjectReplay>()->do_DblClick(1, 1, BUTTON_RIGHT));
    EXPECT_EQ(Reports(), reports);
    EXPECT_EQ(Lines{}, Inner(object)->Log().Lines());
    EXPECT_EQ(Lines{}, InputLog(Control(main_, 7)));
}

TEST_F(ReplayDispatch, AStepThatCannotOpenRunsNothingAndOneThatCannotCloseFails) {
    standin::Holder<CClosingObject> object = standin::Holder<CClosingObject>::New();
    ASSERT_EQ(S_OK, object.as<IObjectRackClient>()->SetRack(bed_.Rack()));
    ASSERT_EQ(S_OK, object.as<ITestObjectInfo>()->put_PropExpr(CComBSTR(L"objectid"), nullptr, nullptr, nullptr,
                                                                 WindowId(ctl_)));
    ASSERT_EQ(S_OK, object.as<IKorActiveXInit>()->Init(g_cfShelHalonotRegilim));
    IDispatch* dispatch = Itf<IDispatch>(object->GetControllingUnknown());
    CComVariant text(L"q");
    DISPPARAMS params{&text, nullptr, 1, 0};

    // Another step of the object is running.
    CReplaySkeletonContext running(&IID_IStdObjectReplay, 0x53, L"Type", &params, 0);
    VARIANT context{};
    context.vt = VT_BYREF;
    context.byref = &running;
    ASSERT_EQ(S_OK, object.as<IReplaySkeleton>()->BeginReplayStep(context));
    EXPECT_EQ(E_FAIL, dispatch->Invoke(0x53, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    ASSERT_EQ(S_OK, object.as<IReplaySkeleton>()->EndReplayStep());
    EXPECT_EQ(Lines{}, InputLog(Control(ctl_)));

    object->failClosing = true;
    EXPECT_EQ(E_FAIL, dispatch->Invoke(0x53, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    EXPECT_EQ((Lines{L"WM_KEYDOWN 0x51", L"WM_CHAR 0x71", L"WM_KEYUP 0x51"}), InputLog(Control(ctl_)));
}

// The sinks' view of it is the script client's test: a proxy of the control's enumerator of
// connections, called from outside an incoming call, sometimes answers garbage under Wine.
TEST_F(ReplayDispatch, FireEventTakesAnEventNameTheControlKnows) {
    AcxObject windowed = Windowed(), windowless = Windowless(8);
    SAFEARRAYBOUND bound{2, 0};
    kcom::CComSafeArray list(::SafeArrayCreate(VT_VARIANT, 1, &bound));
    for (LONG i = 0; i < 2; ++i) {
        CComVariant v(i + 3L);
        ::SafeArrayPutElement(list, &i, &v);
    }
    IKorActiveXBaseReplay* replay = windowed.as<IKorActiveXBaseReplay>();
    EXPECT_EQ(S_OK, replay->FireEvent(CComVariant(L"Clicked"), list));
    // A script's variable arrives by reference.
    CComVariant name(L"Changed"), byRef;
    byRef.vt = VT_BYREF | VT_VARIANT;
    byRef.pvarVal = &name;
    EXPECT_EQ(S_OK, replay->FireEvent(byRef, nullptr));
    EXPECT_EQ(S_OK, windowless.as<IKorActiveXBaseReplay>()->FireEvent(CComVariant(L"Clicked"), list));

    EXPECT_EQ(DISP_E_BADVARTYPE, replay->FireEvent(CComVariant(static_cast<LPCOLESTR>(nullptr)), list));
}

TEST_F(ReplayDispatch, TheControlItselfAndItsProperties) {
    AcxObject object = Windowless(7);
    CComPtr<IDispatch> control;
    ASSERT_EQ(S_OK, object.as<IKorActiveXBaseReplay>()->get_Object(control.Put()));
    ASSERT_HRESULT_SUCCEEDED(DispPut(control, L"Caption", CComVariant(L"Renamed")));

    // GetPropertyByName is not on the object's IDispatch, but on its replay interface's.
    CComVariant value;
    IDispatch* base = object.as<IKorActiveXBaseReplay>();
    CComVariant name(L"Caption");
    DISPPARAMS params{&name, nullptr, 1, 0};
    ASSERT_EQ(S_OK, base->Invoke(0x214, IID_NULL, 0, DISPATCH_METHOD, &params, value.Put(), nullptr, nullptr));
    EXPECT_EQ(L"Renamed", Text(value));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(object, 0x214, {name}));
    IDispatch* again = nullptr;
    EXPECT_EQ(S_OK, object.as<IKorActiveXBaseReplay>()->GetObject(&again));
    EXPECT_TRUE(kcom::CComPtr<IDispatch>(again).IsEqualObject(control));
    again->Release();

    CComPtr<IDispatch> none;
    AcxObject lost = Windowless(99);
    EXPECT_EQ(KOR_E_OBJECT_NOT_FOUND, lost.as<IKorActiveXBaseReplay>()->get_Object(none.Put()));
    EXPECT_EQ(nullptr, none.get());
}

TEST_F(ReplayDispatch, TheEventNamesAreTheListOfFireEventsFirstArgument) {
    AcxObject object = Windowed();
    IDynamicListOfValuesProvider* list = object.as<IDynamicListOfValuesProvider>();
    BOOL has = FALSE;
    EXPECT_EQ(S_OK, list->HasDynamicList(nullptr, CComBSTR(L"fireevent"), 1, &has));
    EXPECT_TRUE(has);
    for (long index : {0L, 2L}) {
        EXPECT_EQ(S_OK, list->HasDynamicList(nullptr, CComBSTR(L"FireEvent"), index, &has));
        EXPECT_FALSE(has);
    }
    EXPECT_EQ(E_NOINTERFACE, list->HasDynamicList(nullptr, nullptr, 1, &has));
    EXPECT_EQ(E_NOINTERFACE, list->HasDynamicList(nullptr, CComBSTR(L"FireEvent"), 1, nullptr));

    SAFEARRAY* raw = nullptr;
    ASSERT_EQ(S_OK, list->GetDynamicList(nullptr, CComBSTR(L"FireEvent"), 1, nullptr, &raw));
    kcom::CComSafeArray names(raw);
    Lines got;
    LONG lower = 0, upper = -1;
    ::SafeArrayGetLBound(names, 1, &lower);
    ::SafeArrayGetUBound(names, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
        CComVariant v;
        ::SafeArrayGetElement(names, &i, &v);
        got.push_back(Text(v));
    }
    EXPECT_EQ((Lines{L"\"Clicked\"", L"\"Changed\""}), got);
    EXPECT_EQ(E_FAIL, list->GetDynamicList(nullptr, CComBSTR(L"FireEvent"), 0, nullptr, &raw));
    EXPECT_EQ(E_NOINTERFACE, list->GetDynamicList(nullptr, nullptr, 1, nullptr, &raw));
}

TEST_F(ReplayDispatch, RecoveryFindsTheTextsAndButtonsOfAPopUp) {
    AcxObject windowed = Windowed(), windowless = Windowless(7);
    IReplayRecoverySupport* recovery = windowed.as<IReplayRecoverySupport>();
    CComBSTR text;
    ASSERT_EQ(S_OK, recovery->GetContainedText(text.Put()));
    // Every child's text, hidden ones too; the control window has no windowless controls.
    EXPECT_STREQ(L"okOKCheckLater", text.c_str());
    EXPECT_EQ(1, Inner(windowed)->Log().Count(L"PrepareObject"));
    long found = 0;
    EXPECT_EQ(S_OK, recovery->ContainsText(CComBSTR(L"OK"), 0, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ(S_OK, recovery->ContainsText(CComBSTR(L"Cancel"), 0, &found));
    EXPECT_EQ(0, found);

    // In the container: the children of every window below it and its windowless controls'
    // "Text" (an empty one counts: only a missing one gives way to "Caption").
    ASSERT_HRESULT_SUCCEEDED(DispPut(Control(main_, 9), L"Text", CComVariant(L"Cancel it")));
    IReplayRecoverySupport* inContainer = windowless.as<IReplayRecoverySupport>();
    ASSERT_EQ(S_OK, inContainer->GetContainedText(text.Put()));
    EXPECT_STREQ(L"HellookOKCheckLaterCancel it", text.c_str());
    EXPECT_EQ(S_OK, inContainer->ContainsText(CComBSTR(L"CANCEL"), 0, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ(S_OK, inContainer->ContainsText(CComBSTR(L"c.NCEL i"), 1, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ(S_OK, inContainer->ContainsText(CComBSTR(L"^Cancel"), 1, &found));
    EXPECT_EQ(0, found);
    EXPECT_TRUE(FAILED(inContainer->ContainsText(CComBSTR(L"(unclosed"), 1, &found)));

    // Visible push buttons and "CommandButton" controls; the check box and the hidden button
    // are left out.
    SAFEARRAY* raw = nullptr;
    ASSERT_EQ(S_OK, inContainer->GetButtonObjects(&raw));
    CKorSafeArray buttons;
    buttons.Attach(raw, true);
    ASSERT_EQ(2u, buttons.GetRowCount());
    for (LONG row = 0; row < 2; ++row) {
        CComVariant object, caption;
        buttons.GetElement(&object, row, 0);
        buttons.GetElement(&caption, row, 1);
        EXPECT_EQ(VT_DISPATCH, object.vt);
        EXPECT_EQ(row == 0 ? L"OK" : L"Cancel", Text(caption));
    }
    EXPECT_EQ(2, bed_.recordMgr->Log().Count(L"CreateTestObjFromRuntimeId"));
    ASSERT_EQ(S_OK, recovery->GetButtonObjects(&raw));
    buttons.Attach(raw, true);
    EXPECT_EQ(1u, buttons.GetRowCount());

    // Without the host's record manager there are no test objects to hand out.
    OrlentyStandIn_SetRecordMgr(nullptr);
    EXPECT_EQ(S_OK, recovery->GetButtonObjects(&raw));
    EXPECT_EQ(nullptr, raw);
}

TEST_F(ReplayDispatch, VisibleTextOfAWindowlessControlIsReadOverItsAreaOfTheContainer) {
    AcxObject object = Windowless(7);
    IStdCaptureTextReplay* text = object.as<IStdCaptureTextReplay>();
    CComBSTR read;
    ASSERT_EQ(S_OK, text->do_GetVisibleText(-1, -1, -1, -1, read.Put()));
    EXPECT_EQ(L"do_GetVisibleText(20,80,120,110,window=" + std::to_wstring(L(main_)) + L")",
              Inner(object)->Log().Lines().back());
    ASSERT_EQ(S_OK, text->do_GetVisibleText(5, 6, 50, -1, read.Put()));
    EXPECT_EQ(L"do_GetVisibleText(25,86,70,110,window=" + std::to_wstring(L(main_)) + L")",
              Inner(object)->Log().Lines().back());

    // A control that is not there has no area.
    AcxObject lost = Windowless(99);
    EXPECT_EQ(KOR_E_EMPTY_RECT, lost.as<IStdCaptureTextReplay>()->do_GetVisibleText(-1, -1, -1, -1, read.Put()));
}

// The found object goes to the inner object (as the delegate replay skeleton) as a window, and
// to the object itself, as the running method's flags say.
TEST_F(ReplayDispatch, TheFoundObjectIsHandedOnAsTheMethodsFlagsSay) {
    AcxObject windowless = Windowless(7), windowed = Windowed();
    auto handOver = [](const AcxObject& object, const wchar_t* method, const CComVariant& found) {
        CReplaySkeletonContext step(&IID_IStdObjectReplay, 0, method, nullptr, 0);
        VARIANT context{};
        context.vt = VT_BYREF;
        context.byref = &step;
        IReplaySkeleton* skeleton = object.as<IReplaySkeleton>();
        EXPECT_EQ(S_OK, skeleton->BeginReplayStep(context));
        const HRESULT hr = skeleton->SetRuntimeId(found.punkVal);
        skeleton->EndReplayStep();
        return hr;
    };
    auto innerId = [&](const AcxObject& object) {
        CComVariant id;
        Inner(object)->get_Prop(CComBSTR(L"objectid"), nullptr, nullptr, nullptr, id.Put());
        long window = 0;
        CRuntimeId(id).GetLong(L"hwnd", &window);
        return std::to_wstring(CRuntimeId(id).GetPackage() == g_cfShelHalonotRegilim) + L":" + std::to_wstring(window);
    };
    const CComVariant eight = WindowlessId(main_, 8);

    // "MouseMove" (0xF50300): the delegate gets the container as a window; the object keeps none.
    EXPECT_EQ(S_OK, handOver(windowless, L"MouseMove", eight));
    EXPECT_EQ(L"1:" + std::to_wstring(L(main_)), innerId(windowless));
    EXPECT_EQ(0, windowless->Cookie());
    // "Object" (0x100): neither.
    Inner(windowless)->Log().Clear();
    EXPECT_EQ(S_OK, handOver(windowless, L"Object", eight));
    EXPECT_EQ(0, Inner(windowless)->Log().Count(L"SetRuntimeId"));
    // "Click" (0x315): the object's own handles, from the identifier given.
    EXPECT_EQ(S_OK, handOver(windowless, L"Click", eight));
    EXPECT_EQ(main_, windowless->Window());
    EXPECT_EQ(8, windowless->Cookie());
    EXPECT_EQ(0, Inner(windowless)->Log().Count(L"SetRuntimeId"));

    // A windowed control's identifier goes to the delegate as it is.
    EXPECT_EQ(S_OK, handOver(windowed, L"Type", WindowId(main_)));
    EXPECT_EQ(L"1:" + std::to_wstring(L(main_)), innerId(windowed));
    // A windowless control that cannot be found: nothing to hand over.
    AcxObject unknown = New(CComVariant(), g_cfWindowlessAcxControl);
    EXPECT_EQ(KOR_E_OBJECT_NOT_FOUND, handOver(unknown, L"DblClick", eight));
}

TEST_F(ReplayDispatch, DirectClicksAndTheirFailures) {
    // A direct click goes through the click core, which makes -9999 the centre; a direct double
    // click hands -9999 on as it is.
    AcxObject windowed = Windowed();
    Inner(windowed)->Log().Clear();
    EXPECT_EQ(S_OK, windowed.as<IStdReplay>()->DoClick(-9999, -9999, BUTTON_LEFT));
    EXPECT_EQ(S_OK, windowed.as<IStdReplay>()->DoDblClick(-9999, -9999, BUTTON_LEFT));
    Lines actions = Inner(windowed)->Log().Lines();
    std::erase_if(actions, [](const std::wstring& l) { return l.rfind(L"Do", 0) != 0; });
    EXPECT_EQ((Lines{L"DoClick(50,20,0)", L"DoDblClick(-9999,-9999,0)"}), actions);

    AcxObject lost = Windowless(99);
    const size_t reports = Reports();
    // An empty rectangle: not visible, reported as a replay error and answered.
    EXPECT_EQ(KOR_E_OBJECT_NOT_VISIBLE, lost.as<IStdReplay>()->DoClick(-9999, -9999, BUTTON_LEFT));
    EXPECT_GT(Reports(), reports);

    AcxObject unknown = New(CComVariant(), g_cfShelHalonotRegilim);
    EXPECT_EQ(KOR_E_OBJECT_NOT_FOUND, unknown.as<IMakeObjVisible>()->MakeVisible());
}

}  // namespace
