// The Orlenty stand-in: null until set, one reference per answer, the interface each promises.
#include <gtest/gtest.h>
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "OrlentyStandIn.h"

namespace {

class CPlain : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IPersist {
public:
    BEGIN_COM_MAP(CPlain)
        COM_INTERFACE_ENTRY(IPersist)
    END_COM_MAP()
    STDMETHOD(GetClassID)(CLSID* out) override { *out = CLSID_NULL; return S_OK; }
};

class CQuery : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorQuery {
public:
    BEGIN_COM_MAP(CQuery)
        COM_INTERFACE_ENTRY(IKorQuery)
    END_COM_MAP()
    STDMETHOD(QueryIdFromContainer)(SAFEARRAY*, IDispatch*, SAFEARRAY**, QueryIdInfo*, SAFEARRAY*) override {
        return E_NOTIMPL;
    }
    STDMETHOD(QueryIdFromSet)(SAFEARRAY*, SAFEARRAY**) override { return S_OK; }
    STDMETHOD(QueryValue)(IRuntimeID*, SAFEARRAY*) override { return E_NOTIMPL; }
};

class OrlentyTest : public ::testing::Test {
protected:
    void TearDown() override { OrlentyStandIn_Reset(); }
};

TEST_F(OrlentyTest, AnswersNullUntilSet) {
    EXPECT_EQ(OztGetApplicationSettings(), nullptr);
    EXPECT_EQ(OztGetInputChannel(), nullptr);
    EXPECT_EQ(OztGetEventConnector(), nullptr);
    EXPECT_EQ(OztGetKorQuery(), nullptr);
    EXPECT_EQ(OztGetRecordMgr(), nullptr);
    EXPECT_EQ(OrlentyStandIn_GetCallCount(L"OztGetKorQuery"), 1);
}

TEST_F(OrlentyTest, HandsOutOneReferenceOfWhatWasSet) {
    kcom::CComPtr<IKorQuery> query;
    ASSERT_EQ(kcom::CreateObject<CQuery>(query.Put()), S_OK);
    kcom::CComPtr<IPersist> plain;
    ASSERT_EQ(kcom::CreateObject<CPlain>(plain.Put()), S_OK);
    OrlentyStandIn_SetKorQuery(query);
    OrlentyStandIn_SetRecordMgr(plain);
    OrlentyStandIn_SetApplicationSettings(plain);  // lacks the settings interface

    kcom::CComPtr<IKorQuery> got;
    got.Attach(OztGetKorQuery());
    ASSERT_NE(got.get(), nullptr);
    EXPECT_TRUE(got.IsEqualObject(query));
    EXPECT_EQ(got->QueryIdFromSet(nullptr, nullptr), S_OK);

    kcom::CComPtr<IUnknown> mgr;
    mgr.Attach(OztGetRecordMgr());
    EXPECT_TRUE(mgr.IsEqualObject(plain));
    EXPECT_EQ(OztGetApplicationSettings(), nullptr);

    OrlentyStandIn_Reset();
    EXPECT_EQ(OztGetKorQuery(), nullptr);
    // Only the test's references remain.
    EXPECT_EQ(got.Detach()->Release(), 1u);
}

}  // namespace
