// The automatic description update: the description rebuilt from the live object, a change told
// to the object manager and reported once per object.
#include <gtest/gtest.h>
#include <string>
#include "FakeClock.h"
#include "TestHost.h"
#include "com/ComBSTR.h"
#include "testobject/forwarding/TestableObject.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComVariant;

namespace {

class CUpdatedObject : public CTestableObject {
public:
    using CComTestObject::m_descriptionUpdated;
};

class DescriptionUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        CComTestObject::ForgetDefaultPropertyCompareType();
        host.rack->Drop(L"PropertyPatternMgr");
        object.as<IObjectRackClient>()->SetRack(host.Rack());
        Op().put_CollectionName(CComBSTR(L"AcxButton"));
        host.options->Put(L"Test Objects\\TestClass\\Description", L"text", 0x10L);
        host.options->Put(L"", L"UpdateModeFlags", 2L);
        control = host.queryEngine->AddObject(L"Button1");
        control->properties.Put(L"text", CComVariant(L"OK"));
        CComBSTR id(L"objectid");
        object->ITestObjectInfo_put_PropExpr(id, nullptr, nullptr, nullptr,
                                             CComVariant(static_cast<IUnknown*>(control.as<IRuntimeID>())));
        Set(L"text", L"Old", 0x10);
    }
    void Set(const wchar_t* name, const wchar_t* value, long flags) {
        CComBSTR n(name);
        object->ITestObjectInfo_put_PropExpr(n, &flags, nullptr, nullptr, CComVariant(value));
    }
    std::wstring Text() {
        CComBSTR n(L"text");
        CComVariant v;
        object->ITestObjectInfo_get_InternalPropExpr(n, nullptr, nullptr, nullptr, v.Put());
        return v.vt == VT_BSTR ? v.bstrVal : L"";
    }
    // The operations themselves, not the interface methods of the same names.
    CComTestObject& Op() { return *object.get(); }
    int Notified() { return host.objectManager->Log().Count(L"DescriptionUpdated"); }

    CFakeClock clock{1000};
    CTestHost host;
    RuntimeObject control;
    Holder<CUpdatedObject> object = Holder<CUpdatedObject>::New();
};

TEST_F(DescriptionUpdate, AChangedDescriptionIsToldAndReportedOnce) {
    EXPECT_EQ(Op().GetFlagsChangeSummary(), S_OK);
    EXPECT_EQ(Text(), L"OK");
    EXPECT_EQ(object->m_descriptionUpdated, 1);
    EXPECT_EQ(Notified(), 1);
    ASSERT_EQ(host.report->Events().size(), 1u);
    const ReportedEvent& event = host.report->Events()[0];
    EXPECT_EQ(event.type, L"Replay");
    EXPECT_EQ(event.Item(L"Status").lVal, 2);
    EXPECT_EQ(event.Text(L"StepInfo").rfind(L"Description updated from text = Old", 0), 0u);
    EXPECT_NE(event.Text(L"StepInfo").find(L"to text = OK"), std::wstring::npos);

    Set(L"text", L"Old", 0x10);
    EXPECT_EQ(Op().GetFlagsChangeSummary(), S_OK);  // once per object
    EXPECT_EQ(Text(), L"Old");
    EXPECT_EQ(Notified(), 1);

    // A parent chain that loops back to the object ends, and the object is told once.
    object->m_descriptionUpdated = 0;
    const CComBSTR parent(L"parent");
    long flags = 9;
    object->ITestObjectInfo_put_PropExpr(parent, &flags, nullptr, nullptr, CComVariant(object.as<IDispatch>()));
    EXPECT_EQ(Op().GetFlagsChangeSummary(), S_OK);
    EXPECT_EQ(Text(), L"OK");
    EXPECT_EQ(Notified(), 2);
    object->ITestObjectInfo_put_PropExpr(parent, &flags, nullptr, nullptr, CComVariant());
}

TEST_F(DescriptionUpdate, NothingHappensUnlessTheUpdateIsOnAndTheObjectIsManaged) {
    host.options->Put(L"", L"UpdateModeFlags", 4L);
    EXPECT_EQ(Op().GetFlagsChangeSummary(), S_OK);
    host.options->Put(L"", L"UpdateModeFlags", 2L);
    host.activeFlow->Action()->SetBlocked(S_OK);
    EXPECT_EQ(Op().GetFlagsChangeSummary(), S_OK);
    host.activeFlow->Action()->SetBlocked(S_FALSE);
    Op().put_CollectionName(CComBSTR(L""));
    EXPECT_EQ(Op().GetFlagsChangeSummary(), S_OK);
    EXPECT_EQ(Text(), L"Old");
    EXPECT_EQ(Notified(), 0);
    EXPECT_TRUE(host.report->Events().empty());
}

TEST_F(DescriptionUpdate, ComputingOnlyRebuildsWithoutTelling) {
    host.options->Put(L"", L"UpdateModeFlags", 0xAL);
    EXPECT_EQ(Op().GetFlagsChangeSummary(), S_OK);
    EXPECT_EQ(Text(), L"OK");
    EXPECT_EQ(object->m_descriptionUpdated, 0);
    EXPECT_EQ(Notified(), 0);
}

TEST_F(DescriptionUpdate, AChangeOfTheOrderedPropertiesAloneIsReportedApart) {
    Set(L"text", L"OK", 0x10);
    Set(L"row", L"2", 0x200);
    EXPECT_EQ(Op().GetFlagsChangeSummary(), S_OK);
    EXPECT_EQ(object->m_descriptionUpdated, 1);
    EXPECT_EQ(Notified(), 1);
    ASSERT_EQ(host.report->Events().size(), 1u);
    EXPECT_EQ(host.report->Events()[0].Text(L"StepInfo"), L"Identification flags updated");
}

}  // namespace
