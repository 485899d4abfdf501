// The window-kind strategies' reading side: the control's handles come from the identifier's
// own package, a strategy that meets the other kind of identifier reads nothing, and the handles
// found are kept in the object.
#include <gtest/gtest.h>
#include <windows.h>
#include "AcxObjectFixture.h"
#include "tables/KorSafeArray.h"

using kcom::CComBSTR;
using kcom::CComVariant;

namespace {

using Strategies = AcxObjectFixture;

HRESULT ReadCaption(const AcxObject& object, CComVariant& value) {
    return object.as<IKorActiveXBaseReplay>()->GetPropertyByName(CComBSTR(L"Caption"), value.Put());
}

TEST_F(Strategies, EachReadsTheHandlesOfItsOwnKind) {
    AcxObject windowless = Windowless(8);
    CComVariant caption;
    ASSERT_EQ(S_OK, ReadCaption(windowless, caption));
    EXPECT_STREQ(L"Eight", caption.bstrVal);
    EXPECT_EQ(main_, windowless->Window());
    EXPECT_EQ(8, windowless->Cookie());

    // A windowed strategy whose identifier names a windowless control finds no window to ask.
    AcxObject mixed = New(WindowlessId(main_, 7), g_cfShelHalonotRegilim);
    EXPECT_EQ(static_cast<HRESULT>(0x80040202), ReadCaption(mixed, caption));
    // A windowless one given a window's identifier has no container to ask: nothing is asked of
    // window 0.
    AcxObject other = New(WindowId(ctl_), g_cfWindowlessAcxControl);
    EXPECT_EQ(static_cast<HRESULT>(0x80040202), ReadCaption(other, caption));
    EXPECT_EQ(nullptr, other->Window());
    EXPECT_EQ(0, other->Cookie());
}

TEST_F(Strategies, AWindowlessControlsRuntimeValuesComeFromTheQueryEngine) {
    AcxObject object = Windowless(7);
    CKorSafeArray table(2, 2, VT_VARIANT);
    CComVariant caption(L"Caption"), x(L"x");
    table.PutElement(&caption, 0, 0);
    table.PutElement(&x, 1, 0);
    SAFEARRAY* psa = table.psa;
    ASSERT_EQ(S_OK, object.as<ITestObjectInfo>()->FillRTAttribsValues(&psa));
    CComVariant first, second;
    table.GetElement(&first, 0, 1);
    table.GetElement(&second, 1, 1);
    EXPECT_EQ(VT_BSTR, first.vt);
    EXPECT_STREQ(L"Seven", first.bstrVal);
    EXPECT_EQ(VT_I4, second.vt);
    EXPECT_EQ(20, second.lVal);
}

}  // namespace
