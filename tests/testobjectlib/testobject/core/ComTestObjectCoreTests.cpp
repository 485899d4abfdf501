#include <gtest/gtest.h>
#include "testobject/core/ComTestObject.h"

namespace {

class CTestObject : public CComTestObject {
public:
    UINT STDMETHODCALLTYPE GetClipboardFormat() override { return 0; }
};

}  // namespace

TEST(TestObjectCore, BuiltInProperties) {
    CTestObject object;
    EXPECT_EQ(object.ConstructionResult(), S_OK);
}
