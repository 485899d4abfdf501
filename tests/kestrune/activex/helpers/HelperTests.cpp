// The window-kind strategies' reading side: the control's handles come from the identifier's
// own package, a strategy that meets the other kind of identifier reads nothing, and the handles
// found are kept in the object.
#include <gtest/gtest.h>
#include <windows.h>
#include "AcxObjectFixture.h"

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

}  // namespace
