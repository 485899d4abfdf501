// The backward-compatible windowless test object, an ActiveX test object aggregated with the outer
// object as identity, and the script utility's FireEvent with the argument forms a script passes.
#include "AcxObjectFixture.h"
#include "environment/ObjectMap.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

class SmallClasses : public AcxObjectFixture {
protected:
    void SetUp() override {
        AcxObjectFixture::SetUp();
        ASSERT_EQ(S_OK, activeXClass_.Result());
        ReplayOnTheDesktop();
    }
    static CComVariant Args(std::vector<long> values) {
        SAFEARRAYBOUND bound{static_cast<ULONG>(values.size()), 0};
        CComVariant out;
        out.vt = VT_ARRAY | VT_VARIANT;
        out.parray = ::SafeArrayCreate(VT_VARIANT, 1, &bound);
        for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
            CComVariant value(values[i]);
            ::SafeArrayPutElement(out.parray, &i, &value);
        }
        return out;
    }

    standin::CClassRegistration activeXClass_{CLSID_KorActiveX, KorActiveXCreator};
};

TEST_F(SmallClasses, TheBackwardObjectIsAWindowlessActiveXTestObjectUnderItsOwnIdentity) {
    {
        CComPtr<IUnknown> backward;
        ASSERT_EQ(S_OK, KorActiveXWlsBackwardCreator(nullptr, IID_IUnknown, reinterpret_cast<void**>(backward.Put())));
        CComPtr<IKorActiveXInit> init = Itf<IKorActiveXInit>(backward);
        ASSERT_TRUE(init);
        EXPECT_EQ(S_OK, init->IsBackwardObject());
        EXPECT_EQ(S_OK, init->IsWindowed());
        EXPECT_EQ(E_NOTIMPL, init->ReleaseHelper());
        // The inner object's interfaces lead back to the outer identity.
        CComPtr<DispTestObject> test = Itf<DispTestObject>(backward);
        ASSERT_TRUE(test);
        EXPECT_EQ(backward.get(), Itf<IUnknown>(test).get());
        EXPECT_EQ(init.get(), Itf<IKorActiveXInit>(test).get());

        ASSERT_EQ(S_OK, Itf<IObjectRackClient>(backward)->SetRack(bed_.Rack()));
        ASSERT_EQ(S_OK, Itf<ITestObjectInfo>(backward)->put_PropExpr(CComBSTR(L"objectid"), nullptr, nullptr, nullptr,
                                                                     WindowlessId(main_, 7)));
        // Without a format the inner object asks its identity, which says windowless.
        EXPECT_EQ(S_OK, init->Init(0));
        SAFEARRAY* formats = nullptr;
        ASSERT_EQ(S_OK, init->GetQueryFormats(&formats));
        CKorSafeArray table;
        table.Attach(formats, false);  // the object's own table
        ASSERT_EQ(1u, table.GetRowCount());
        LONG format = 0;
        table.GetElement(&format, 0, 0);
        EXPECT_EQ(static_cast<LONG>(g_cfQueryIdWindowlessActiveXTO), format);

    }
    EXPECT_EQ(nullptr, standin::CWinObjectStandIn::Last());  // the pair went with its last reference
    EXPECT_EQ(S_FALSE, Windowless(8).as<IKorActiveXInit>()->IsBackwardObject());

    // Initialised as the host does, a script's click goes the windowless way: through the
    // device-replay engine.
    CComPtr<IUnknown> backward;
    ASSERT_EQ(S_OK, KorActiveXWlsBackwardCreator(nullptr, IID_IUnknown, reinterpret_cast<void**>(backward.Put())));
    ASSERT_EQ(S_OK, Itf<IObjectRackClient>(backward)->SetRack(bed_.Rack()));
    ASSERT_EQ(S_OK, Itf<ITestObjectInfo>(backward)->put_PropExpr(CComBSTR(L"objectid"), nullptr, nullptr, nullptr,
                                                                 WindowlessId(main_, 7)));
    ASSERT_EQ(S_OK, Itf<IKorActiveXInit>(backward)->Init(g_cfWindowlessAcxControl));
    EXPECT_EQ(S_OK, DispCall(Itf<IDispatch>(backward), L"Click", {CComVariant(5L), CComVariant(5L)}, nullptr));
    Lines clicks;
    for (const auto& line : InputLog(Control(main_, 7)))
        if (line.find(L"BUTTON") != std::wstring::npos) clicks.push_back(line);
    EXPECT_EQ((Lines{L"WM_LBUTTONDOWN 5,5", L"WM_LBUTTONUP 5,5"}), clicks);
    EXPECT_FALSE(bed_.deviceReplay->Log().Lines().empty());
}

TEST_F(SmallClasses, FireEventTakesWhatAScriptPassesAndRefusesNoObjectOrNoName) {
    CComPtr<IDispatch> util;
    ASSERT_EQ(S_OK, AcxUtilObjCreator(nullptr, IID_IDispatch, reinterpret_cast<void**>(util.Put())));
    CComPtr<IDispatch> control = Control(ctl_);
    EXPECT_EQ(S_OK, DispCall(util, L"FireEvent", {CComVariant(control.get()), CComVariant(L"Clicked"), Args({1, 2})},
                             nullptr));
    // Variables by reference, and the arguments left out.
    CComVariant object(control.get()), name(L"Changed"), none = Args({});
    CComVariant byRef[3];
    for (int i = 0; i < 3; ++i) byRef[i].vt = VT_BYREF | VT_VARIANT;
    byRef[0].pvarVal = &object;
    byRef[1].pvarVal = &name;
    byRef[2].pvarVal = &none;
    EXPECT_EQ(S_OK, DispCall(util, L"FireEvent", {byRef[0], byRef[1], byRef[2]}, nullptr));
    EXPECT_EQ(S_OK, DispCall(util, L"FireEvent", {byRef[0], byRef[1]}, nullptr));
    for (auto& v : byRef) v.vt = VT_EMPTY;  // they do not own what they point at

    EXPECT_EQ(E_INVALIDARG, DispCall(util, L"FireEvent", {CComVariant(static_cast<IDispatch*>(nullptr)),
                                                          CComVariant(L"Clicked"), Args({})},
                                     nullptr));
    EXPECT_EQ(E_INVALIDARG, DispCall(util, L"FireEvent", {CComVariant(), CComVariant(L"Clicked")}, nullptr));
    CComVariant null;
    null.vt = VT_NULL;  // a name that no text stands for: no object is refused first
    EXPECT_EQ(E_INVALIDARG, DispCall(util, L"FireEvent", {null, null}, nullptr));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, DispCall(util, L"FireEvent", {CComVariant(control.get()), null}, nullptr));
    EXPECT_EQ(E_INVALIDARG, DispCall(util, L"FireEvent", {CComVariant(control.get()), CComVariant(L"")}, nullptr));
    EXPECT_EQ(DISP_E_UNKNOWNNAME, DispCall(util, L"FireEvent", {CComVariant(control.get()), CComVariant(L"Nothing")},
                                           nullptr));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, DispCall(util, L"FireEvent", {CComVariant(control.get())}, nullptr));
    DISPPARAMS params{nullptr, nullptr, 0, 0};
    CComVariant args[2] = {CComVariant(L"Clicked"), CComVariant(7L)};  // the last first
    params.rgvarg = args;
    params.cArgs = 2;
    UINT argErr = 99;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, util->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &argErr));
    EXPECT_EQ(1u, argErr);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, util->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &argErr));
}

