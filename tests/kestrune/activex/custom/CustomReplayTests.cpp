// Custom replay objects named by ProgID for a control class in the host's settings, against the
// windowless controls of the application under test: the object's members join the test object's
// dispatch interface for that class only, and the helper it keeps answers for the test object
// only as long as the test object lives.
#include "AcxObjectFixture.h"
#include "CustomObjectStandIns.h"
#include "errors/TestObjectError.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;
using standin::CustomObjectOf;

class CustomReplay : public AcxObjectFixture {
protected:
    void SetUp() override {
        AcxObjectFixture::SetUp();
        ASSERT_EQ(S_OK, replayClass_.Result());
        ReplayOnTheDesktop();
        bed_.options->Put(L"ActiveX Add-in\\ProgID\\KorTest.WlsButton", L"CustReplayProgID", standin::kCustReplayProgId);
    }
    static CComPtr<IDispatch> Dispatch(const AcxObject& object) { return Itf<IDispatch>(U(object)); }
    Lines Clicks(long cookie) {
        Lines clicks;
        for (const auto& line : InputLog(Control(main_, cookie)))
            if (line.find(L"BUTTON") != std::wstring::npos) clicks.push_back(line);
        return clicks;
    }

    standin::CProgIdRegistration replayClass_{standin::kCustReplayProgId, standin::kCustReplayClsid,
                                              &standin::CCustomReplayerStandIn::Create};
};

TEST_F(CustomReplay, TheReplayObjectTakesOverTheMembersItDefinesForItsClassOnly) {
    AcxObject seven = Windowless(7), eight = Windowless(8);
    EXPECT_EQ(S_OK, DispCall(Dispatch(seven), L"Click", {CComVariant(3L), CComVariant(4L)}, nullptr));
    EXPECT_EQ(S_OK, DispCall(Dispatch(eight), L"Click", {CComVariant(3L), CComVariant(4L)}, nullptr));
    ASSERT_NE(nullptr, seven->CustomReplay());
    EXPECT_EQ(nullptr, eight->CustomReplay());
    // The custom Click found the control's window through the helper; the control got nothing.
    EXPECT_EQ((Lines{L"SetContainer(helper)", L"Click(3,4) 0"}), CustomObjectOf(seven->CustomReplay())->Log().Lines());
    EXPECT_TRUE(Clicks(7).empty());
    EXPECT_EQ((Lines{L"WM_LBUTTONDOWN 3,4", L"WM_LBUTTONUP 3,4"}), Clicks(8));
    // Its own members and the standard ones side by side.
    CComVariant told, caption;
    EXPECT_EQ(S_OK, DispCall(Dispatch(seven), L"Tell", {}, told.Put()));
    ASSERT_EQ(VT_BSTR, told.vt);
    EXPECT_STREQ(L"0 window", told.bstrVal);
    EXPECT_EQ(S_OK, DispCall(Dispatch(seven), L"GetROProperty", {CComVariant(L"Caption")}, caption.Put()));
    ASSERT_EQ(VT_BSTR, caption.vt);
    EXPECT_STREQ(L"Seven", caption.bstrVal);
    // The custom object's report of its step.
    bool reported = false;
    for (const auto& event : bed_.report->Events()) {
        const CComVariant node = event.Item(L"NodeName");
        reported = reported || (node.vt == VT_BSTR && std::wstring(node.bstrVal).find(L"CustClick") != std::wstring::npos);
    }
    EXPECT_TRUE(reported);
    // A failure comes back as the result: it cannot travel through a custom object's frames.
    kcom::CComPtr<IKorUtilities> utilities = CustomObjectOf(seven->CustomReplay())->Utilities();
    ASSERT_TRUE(utilities);
    const size_t before = bed_.report->Events().size();
    EXPECT_EQ(KOR_E_OBJECT_NOT_FOUND, utilities->ReportFailure(KOR_E_OBJECT_NOT_FOUND));
    EXPECT_LT(before, bed_.report->Events().size());
}

TEST_F(CustomReplay, ExemptNamesAndAnOuterObjectMakeNoCustomObject) {
    AcxObject seven = Windowless(7);
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"exist")};
    EXPECT_EQ(S_OK, Dispatch(seven)->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
    EXPECT_EQ(nullptr, seven->CustomReplay());

    AcxObject inner = Windowless(7);
    AcxObject outer = Windowless(8);
    ASSERT_EQ(S_OK, inner.as<ITestObject>()->SetOuterObject(U(outer)));
    EXPECT_EQ(S_FALSE, inner->EnsureCustomObjects());
    EXPECT_FALSE(inner->HasIdentity());
    EXPECT_EQ(nullptr, inner->CustomReplay());
    inner.as<ITestObject>()->SetOuterObject(nullptr);

    // A class kept under the older name stands in for the class.
    CComBSTR kept;
    EXPECT_EQ(E_FAIL, seven->GetSimClass(kept.Put()));
    ASSERT_EQ(S_OK, seven->AddProperty(L"MyIdWhenCustExists"));
    ASSERT_EQ(S_OK, seven.as<ITestObjectInfo>()->put_PropExpr(CComBSTR(L"MyIdWhenCustExists"), nullptr, nullptr,
                                                               nullptr, CComVariant(L"KorTest.WlsLabel")));
    EXPECT_EQ(S_OK, seven->GetSimClass(kept.Put()));
    EXPECT_STREQ(L"KorTest.WlsLabel", kept.c_str());

    // Recording switched on: while one of the two is missing (here the record object, which has
    // no ProgID), every call looks the class up again; neither is made twice.
    bed_.options->Put(L"", L"OnRecord", 1L);
    AcxObject nine = Windowless(7);
    EXPECT_EQ(E_FAIL, nine->EnsureCustomObjects());
    ASSERT_NE(nullptr, nine->CustomReplay());
    CComPtr<ICustomReplayer> made = standin::CCustomReplayerStandIn::Last();
    CComBSTR simClass(L"SimClass");
    ASSERT_EQ(S_OK, nine.as<ITestObjectInfo>()->put_PropExpr(simClass, nullptr, nullptr, nullptr, CComVariant(L"stale")));
    EXPECT_EQ(S_FALSE, nine->EnsureCustomObjects());
    EXPECT_EQ(S_OK, nine->GetSimClass(kept.Put()));
    EXPECT_STREQ(L"KorTest.WlsButton", kept.c_str());
    EXPECT_EQ(made.get(), standin::CCustomReplayerStandIn::Last().get());
}

TEST_F(CustomReplay, TheHelperServesItsOwnerAndAnswersErrorsOnceTheOwnerIsGone) {
    CComPtr<IKorCustomSupportContainer> container;
    CComPtr<IKorUtilities> utilities;
    CComPtr<ICustomReplayer> replayer;
    {
        AcxObject seven = Windowless(7);
        ASSERT_EQ(S_OK, seven->EnsureCustomObjects());
        EXPECT_EQ(S_FALSE, seven->EnsureCustomObjects());  // made once
        replayer = standin::CCustomReplayerStandIn::Last();
        ASSERT_TRUE(replayer);
        container = CustomObjectOf(replayer)->Container();
        utilities = CustomObjectOf(replayer)->Utilities();
        ASSERT_TRUE(container && utilities);

        void* out = nullptr;
        EXPECT_EQ(E_FAIL, container->QueryTestObject(IID_IDispatch, &out));
        EXPECT_EQ(E_FAIL, container->QueryTestObject(__uuidof(IKorCustomSupportContainer), &out));
        EXPECT_EQ(E_NOTIMPL, container->QueryTestObject(__uuidof(ITestObject), &out));
        CComPtr<IObjectRack> rack;
        EXPECT_EQ(S_OK, container->QueryTestObject(__uuidof(IObjectRack), reinterpret_cast<void**>(rack.Put())));
        EXPECT_EQ(bed_.Rack(), rack.get());
        CComPtr<IKorDeviceReplay> engine;
        EXPECT_EQ(S_OK, container->QueryTestObject(__uuidof(IKorDeviceReplay), reinterpret_cast<void**>(engine.Put())));
        EXPECT_TRUE(engine);

        // Its IDispatch is the test object's standard interface, not the merged one.
        CComPtr<IDispatch> standard;
        ASSERT_EQ(S_OK, container->GetDispatch(standard.Put()));
        DISPID id = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(L"Click")};
        EXPECT_EQ(S_OK, standard->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
        EXPECT_EQ(0x51, id);
        // Interfaces of its own, and the owner's for the rest.
        CComPtr<IKorAXUtilities> ax;
        ASSERT_EQ(S_OK, container.QueryInterface(ax.Put()));
        CComBSTR progId;
        EXPECT_EQ(S_OK, ax->GetProgID(progId.Put()));
        EXPECT_STREQ(L"KorTest.WlsButton", progId);
        ax.Release();
        EXPECT_TRUE(Itf<ITestObject>(container));

        EXPECT_EQ(E_INVALIDARG, utilities->RecordStep(CComBSTR(L"Step"), CComVariant(1L), 1));
        EXPECT_EQ(E_INVALIDARG, utilities->ReportStep(CComBSTR(L"Step"), nullptr, CComVariant(1L)));
        // What the caller's [out] value held before is not freed.
        VARIANT option;
        option.vt = VT_UNKNOWN;
        option.punkVal = reinterpret_cast<IUnknown*>(0x10);
        bed_.options->Put(L"Custom", L"Level", 3L);
        EXPECT_EQ(S_OK, utilities->GetTestOption(CComBSTR(L"Custom"), CComBSTR(L"Level"), &option));
        EXPECT_EQ(VT_I4, option.vt);
        EXPECT_EQ(3, option.lVal);
        EXPECT_EQ(E_POINTER, utilities->GetTestOption(CComBSTR(L"Custom"), CComBSTR(L"Level"), nullptr));

        bed_.options->Put(L"Test Objects\\ActiveX", L"CLSID", L"{41AD1E23-B340-11D4-8F6F-0050DA3B0421}");
        bed_.options->Put(L"Test Objects\\Grid", L"CLSID", 5L);
        EXPECT_TRUE(seven->CustomHelperObject()->LoadCustomClsid(CComBSTR(L"ActiveX")));
        EXPECT_FALSE(seven->CustomHelperObject()->LoadCustomClsid(CComBSTR(L"Grid")));
    }
    // The last release freed the test object, its inner object with it, though the custom object
    // still holds the helper.
    EXPECT_EQ(nullptr, standin::CWinObjectStandIn::Last());
    long window = 0;
    EXPECT_EQ(E_FAIL, utilities->GetWindowHandle(&window));
    EXPECT_EQ(E_FAIL, utilities->RecordStep(CComBSTR(L"Step"), CComVariant(), 1));
    VARIANT option;
    option.vt = VT_UNKNOWN;
    option.punkVal = reinterpret_cast<IUnknown*>(0x10);
    EXPECT_EQ(E_FAIL, utilities->GetTestOption(CComBSTR(L"Custom"), CComBSTR(L"Level"), &option));
    EXPECT_EQ(VT_EMPTY, option.vt);
    void* out = nullptr;
    EXPECT_EQ(E_FAIL, container->QueryTestObject(IID_IUnknown, &out));
    CComPtr<IKorUtilities> again;
    EXPECT_EQ(E_NOINTERFACE, container.QueryInterface(again.Put()));
    CComPtr<IDispatch> standard;
    EXPECT_NE(S_OK, container->GetDispatch(standard.Put()));
}

TEST_F(CustomReplay, AChainOfDataTargetsThatComesBackEnds) {
    AcxObject seven = Windowless(7);
    CComPtr<IUnknown> target;
    EXPECT_EQ(E_FAIL, seven->GetOutermostDataTarget(target.Put()));  // the inner object is no link
    standin::CWinObjectStandIn* inner = standin::CWinObjectStandIn::Last();
    IUnknown* next = bed_.deviceReplay->GetControllingUnknown();  // any object that is no link
    inner->SetNext(next);
    EXPECT_EQ(S_OK, seven->GetOutermostDataTarget(target.Put()));
    EXPECT_EQ(next, target.get());
    // A link back to itself.
    inner->SetNext(seven->InnerTestObject());
    EXPECT_EQ(S_OK, seven->GetOutermostDataTarget(target.Put()));
    inner->SetNext(nullptr);
}

