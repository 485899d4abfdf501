// The ActiveX factory on the real windows of the application under test: the class of a control,
// windowless objects and their parents, points, and the parent of a test object.
#include "AcxFactoryFixture.h"
#include "com/ComBSTR.h"
#include "environment/LoadTimeValues.h"

using kcom::CComPtr;
using kcom::CComVariant;

class AcxFactory : public AcxFactoryFixture {
protected:
    std::wstring ClassName(CRuntimeId id) {
        GUID service = CStdFactoryBase::kClassNameService;
        CComVariant in = AsVariant(id), out;
        const HRESULT hr = factory_->QueryClassService(&service, 3, &in, &out);
        return hr == S_OK && out.vt == VT_BSTR ? std::wstring(out.bstrVal) : L"hr " + std::to_wstring(hr);
    }
    std::wstring MadeAs(IUnknown* object) {
        const CComVariant kind = Of(object)->Peek(L"made as");
        return kind.vt == VT_BSTR ? kind.bstrVal : L"?";
    }
};

TEST_F(AcxFactory, ActiveXWindowsGetTheirTestObjectSetUpAsWindowed) {
    RecordedWindowMap[W(L"inner")] = 1;
    CComPtr<IDispatch> inner = FromWindow(L"inner");
    ASSERT_TRUE(inner);
    EXPECT_EQ(L"inner", Names(inner));
    EXPECT_EQ(L"ActiveX", MadeAs(inner));
    const std::wstring init = L"Init(" + std::to_wstring(factory_->WindowFormat()) + L")";
    EXPECT_EQ(2, Lines(Of(inner)->Log(), init));  // by the runtime identifier, then by the window
    EXPECT_EQ(parent_.as<IDispatch>(), Of(inner)->Peek(L"parent").pdispVal);
    EXPECT_EQ(0u, RecordedWindowMap[W(L"inner")]);  // the window is to be recorded afresh
    RecordedWindowMap.clear();

    // Standard windows, windows of a mapped class and windows of no ActiveX control are not.
    for (const wchar_t* name : {L"button", L"mapped", L"plain"}) EXPECT_FALSE(FromWindow(name, S_FALSE));
    // The combo box of an image combo stands for the image combo.
    EXPECT_EQ(L"image", Names(FromWindow(L"combo")));
    EXPECT_EQ(E_POINTER, factory_->CreateTestObjFromWindow(W(L"inner"), nullptr));
}

TEST_F(AcxFactory, ACustomClassPerControlProgIdFallsBackToTheActiveXTestObject) {
    EXPECT_EQ(L"custom", MadeAs(FromWindow(L"frame")));
    // The custom class of the control cannot be created: the ActiveX test object stands in.
    EXPECT_EQ(L"ActiveX", MadeAs(FromWindow(L"ctl")));
    EXPECT_EQ(L"AcxButton", ClassName(WindowId(W(L"ctl"))));
    EXPECT_EQ(L"hr 1", ClassName(WindowId(W(L"frame"))));  // a class of its own, not the package's
    EXPECT_EQ(L"ActiveX", ClassName(WindowId(W(L"inner"))));
    // A windowless control known by its CLSID's text maps like the ProgID of that CLSID.
    EXPECT_EQ(L"AcxButton", ClassName(WindowlessId(W(L"main"), 8)));
    EXPECT_EQ(L"ActiveX", ClassName(WindowlessId(W(L"main"), 7)));
    EXPECT_EQ(L"hr 1", ClassName(WindowId(W(L"button"))));
    EXPECT_TRUE(factory_->IsOwnClassName(kcom::CComBSTR(L"acxTREE")));
    EXPECT_FALSE(factory_->IsOwnClassName(kcom::CComBSTR(L"AcxTre")));
    EXPECT_FALSE(factory_->IsOwnClassName(nullptr));
}

TEST_F(AcxFactory, WindowlessObjectsGetTheirParentOrOneForAWindowOfTheirSize) {
    CComPtr<IDispatch> object;
    CRuntimeId seven = WindowlessId(W(L"main"), 7);
    ASSERT_EQ(S_OK, factory_->CreateTestObjFromRuntimeId(seven, object.Put()));
    EXPECT_EQ(L"main:7", Names(object));
    EXPECT_EQ(1, Lines(Of(object)->Log(), L"Init(" + std::to_wstring(factory_->WindowlessFormat()) + L")"));
    EXPECT_EQ(parent_.as<IDispatch>(), Of(object)->Peek(L"parent").pdispVal);

    // The site knows no parent for the control itself: it is asked for a stand-in window of the
    // control's place and size inside the container, which is gone again afterwards.
    site_->refuseWindowless = true;
    site_->asked.clear();
    ASSERT_EQ(S_OK, factory_->CreateTestObjFromRuntimeId(seven, object.Put()));
    ASSERT_EQ(1u, site_->asked.size());
    EXPECT_EQ(L"Static:tmpStaticWindow@130,10,100", site_->asked[0]);
    EXPECT_EQ(L"main:7", Names(object));
    EXPECT_EQ(nullptr, ::FindWindowExW(W(L"main"), nullptr, L"Static", L"tmpStaticWindow"));

    // A container that is gone has no control to ask about.
    CRuntimeId gone = WindowlessId(reinterpret_cast<HWND>(0x0BAD0000), 7);
    EXPECT_EQ(E_FAIL, factory_->CreateTestObjFromRuntimeId(gone, object.Put()));
    EXPECT_FALSE(object);
}

TEST_F(AcxFactory, PointsGiveWindowlessAndWindowedControls) {
    DesktopLock desktop;
    ::SetWindowPos(W(L"main"), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(L"main:7", Names(FromPoint(At(L"main", 150, 40))));
    EXPECT_EQ(L"ctl", Names(FromPoint(At(L"ctl", 50, 20))));
    EXPECT_EQ(L"image", Names(FromPoint(At(L"combo", 5, 5))));
    EXPECT_EQ(L"page", Names(FromPoint(At(L"page", 10, 10))));  // the tab control lies above its page
    // The child placed at the start of a right-to-left window shows at the window's right edge.
    EXPECT_EQ(L"rtlkid", Names(FromPoint(At(L"rtl", 100, 10))));
    EXPECT_FALSE(FromPoint(At(L"rtl", 10, 10), S_FALSE));
    EXPECT_FALSE(FromPoint(At(L"plain", 5, 5), S_FALSE));
    EXPECT_FALSE(FromPoint(At(L"skipped", 5, 5), S_FALSE));
    // Over a label of the host's own kind nothing is made, unless a windowless control is there.
    engine_->PutValue(L"get vblabel from point", CComVariant(static_cast<IUnknown*>(parent_.as<IDispatch>())));
    EXPECT_FALSE(FromPoint(At(L"inner", 5, 5), S_FALSE));
    EXPECT_EQ(L"main:7", Names(FromPoint(At(L"main", 150, 40))));
    EXPECT_EQ(E_POINTER, factory_->CreateTestObjFromPoint(0, 0, nullptr, nullptr));
}

TEST_F(AcxFactory, TheParentIsTheNearestActiveXWindowAboveTheControl) {
    auto parentOf = [&](const VARIANT& objectId, HRESULT expected = S_OK) {
        auto child = TestObject::New();
        child->Put(L"objectid", objectId);
        CComPtr<IDispatch> parent;
        EXPECT_EQ(expected, factory_->CreateParentTestObj(child.as<IDispatch>(), parent.Put()));
        return Names(parent);
    };
    EXPECT_EQ(L"frame", parentOf(AsVariant(WindowId(W(L"inner")))));
    // A window of the same place and kind as its parent is one control with it.
    EXPECT_EQ(L"outer", parentOf(AsVariant(WindowId(W(L"kid")))));
    EXPECT_EQ(L"(none)", parentOf(AsVariant(WindowId(W(L"twin"))), S_FALSE));
    EXPECT_EQ(L"(none)", parentOf(AsVariant(WindowId(W(L"frame"))), S_FALSE));  // up to the top-level window
    EXPECT_EQ(L"(none)", parentOf(AsVariant(WindowId(W(L"main"))), S_FALSE));   // which owns nothing

    CRuntimeId label(g_cfRuntimeIdForVbLabel);
    label.PutVariantValue(L"hwnd", CComVariant(L(W(L"frame"))));
    EXPECT_EQ(L"frame", parentOf(AsVariant(label)));
    CRuntimeId menu(factory_->StdMenuFormat());
    menu.PutVariantValue(L"MenuOwnerHwnd", CComVariant(L(W(L"plain"))));
    EXPECT_EQ(L"(none)", parentOf(AsVariant(menu), S_FALSE));

    CComVariant failed;
    failed.vt = VT_ERROR;
    failed.scode = 0x80040202;
    EXPECT_EQ(L"(none)", parentOf(failed, E_FAIL));
    EXPECT_EQ(L"(none)", parentOf(CComVariant(L"not an identifier"), E_FAIL));
    CComPtr<IDispatch> parent;
    EXPECT_EQ(E_POINTER, factory_->CreateParentTestObj(nullptr, parent.Put()));
}
