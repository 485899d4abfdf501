// The Cerulin stand-in, found by name at run time as the package finds it.
#include <gtest/gtest.h>
#include "contracts/Cerulin.h"
#include "CerulinStandIn.h"

namespace {

TEST(Cerulin, IsInLearnIsFoundByNameAndAnswersTheKnob) {
    HMODULE module = ::LoadLibraryW(L"Cerulin.dll");
    ASSERT_NE(module, nullptr);
    auto isInLearn = reinterpret_cast<IsInLearnFn>(::GetProcAddress(module, "IsInLearn"));
    ASSERT_NE(isInLearn, nullptr);
    EXPECT_FALSE(isInLearn());
    CerulinStandIn_SetInLearn(TRUE);
    EXPECT_TRUE(isInLearn());
    CerulinStandIn_SetInLearn(FALSE);
    EXPECT_FALSE(isInLearn());
    EXPECT_EQ(CerulinStandIn_GetCallCount(), 3);
}

}  // namespace
