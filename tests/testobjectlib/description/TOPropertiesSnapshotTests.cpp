// Snapshots through a fake ITestObjectInfo, and the flag-change summary of two snapshots.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"
#include "description/TOPropertiesSnapshot.h"
#include "description/PropertyTestSupport.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

struct FakeProperty {
    std::wstring name;
    CComVariant value;
    DWORD flags;
    USHORT type;
    DWORD compareType;
};

// Answers GetProps, FillPropsValues and get_PropExpr from a list; everything else is not built.
class CFakeTestObjectInfo : public CTestObjectInfoStub {
public:
    std::vector<FakeProperty> props;
    std::vector<std::wstring> listed;  // GetProps' answer; repeats allowed
    HRESULT fillResult = S_OK;
    std::vector<std::wstring> exprAsked;

    BEGIN_COM_MAP(CFakeTestObjectInfo)
        COM_INTERFACE_ENTRY(ITestObjectInfo)
    END_COM_MAP()

    STDMETHOD(GetProps)(SAFEARRAY** names, ULONG) override {
        SAFEARRAYBOUND b = {static_cast<ULONG>(listed.size()), 0};
        *names = ::SafeArrayCreate(VT_BSTR, 1, &b);
        for (LONG i = 0; i < static_cast<LONG>(listed.size()); ++i)
            ::SafeArrayPutElement(*names, &i, CComBSTR(listed[i].c_str()));
        return S_OK;
    }
    STDMETHOD(FillPropsValues)(SAFEARRAY** table) override {
        if (FAILED(fillResult)) return fillResult;
        CKorSafeArray t;
        t.Attach(*table, false);
        for (LONG row = 0; row < static_cast<LONG>(t.GetRowCount()); ++row) {
            CComVariant name;
            t.GetElement(&name, row, 0);
            for (const auto& p : props) {
                if (p.name != name.bstrVal) continue;
                CComVariant flags(static_cast<long>(p.flags)), type(static_cast<long>(p.type), VT_I2),
                    cmp(static_cast<long>(p.compareType)), data(L"data");
                CComVariant value = p.value;
                t.PutElement(&value, row, 1);
                t.PutElement(&flags, row, 2);
                t.PutElement(&type, row, 3);
                t.PutElement(&cmp, row, 4);
                t.PutElement(&data, row, 5);
            }
        }
        return S_OK;
    }
    STDMETHOD(get_PropExpr)(BSTR name, LONG* flags, LONG* type, LONG* cmp, VARIANT* value) override {
        EXPECT_EQ(*flags, 0);
        EXPECT_EQ(*type, 0);
        EXPECT_EQ(*cmp, 0);
        exprAsked.emplace_back(name);
        V_VT(value) = VT_BSTR;
        V_BSTR(value) = ::SysAllocString((std::wstring(L"Parameter(\"") + name + L"\")").c_str());
        return S_OK;
    }
};

CComPtr<ITestObjectInfo> NewInfo(CFakeTestObjectInfo** raw) {
    kcom::CComObject<CFakeTestObjectInfo>* p = nullptr;
    kcom::CComObject<CFakeTestObjectInfo>::CreateInstance(&p);
    CComPtr<ITestObjectInfo> info(p);
    *raw = p;
    return info;
}

struct Row {
    CComBSTR name;
    DWORD flags = 0, type = 0, cmp = 0;
    CComVariant value, data, expression;
};

Row ReadRow(ITOPropertiesSnapshot& s, long row) {
    Row r;
    BSTR name = nullptr;
    EXPECT_EQ(s.GetRow(row, name, &r.flags, &r.type, &r.cmp, &r.value, &r.data, &r.expression), S_OK);
    r.name.Attach(name);
    return r;
}

}  // namespace

TEST(PropertiesSnapshot, CaptureTakesEachNameOnceWithItsExpression) {
    CFakeTestObjectInfo* fake = nullptr;
    CComPtr<ITestObjectInfo> info = NewInfo(&fake);
    fake->props = {{L"text", CComVariant(L"OK"), 0x18, VT_BSTR, 0},
                   {L"param", CComVariant(L"p1"), 0x100, VT_BSTR, 1},
                   {L"both", CComVariant(L"p2"), 0x110, VT_BSTR, 2},
                   {L"index", CComVariant(3), 0x448, VT_I4, 0}};
    fake->listed = {L"text", L"param", L"text", L"both", L"index"};
    CTOPropertiesSnapshot snapshot;
    EXPECT_EQ(snapshot.GetRowCount(), 0);
    ASSERT_EQ(snapshot.Capture(info, 0x410), S_OK);
    ASSERT_EQ(snapshot.GetRowCount(), 4) << "a name listed twice gets one row";
    Row text = ReadRow(snapshot, 0);
    EXPECT_STREQ(text.name, L"text");
    EXPECT_STREQ(text.value.bstrVal, L"OK");
    EXPECT_EQ(text.flags, 0x18u);
    EXPECT_EQ(text.type, static_cast<DWORD>(VT_BSTR));
    EXPECT_STREQ(text.data.bstrVal, L"data");
    EXPECT_EQ(text.expression.vt, VT_EMPTY);
    Row param = ReadRow(snapshot, 1);
    EXPECT_STREQ(param.name, L"param");
    ASSERT_EQ(param.expression.vt, VT_BSTR);
    EXPECT_STREQ(param.expression.bstrVal, L"Parameter(\"param\")");
    Row both = ReadRow(snapshot, 2);
    EXPECT_EQ(both.expression.vt, VT_EMPTY) << "flags 0x110 are not exactly 0x100";
    EXPECT_EQ(fake->exprAsked, std::vector<std::wstring>{L"param"});
    Row index = ReadRow(snapshot, 3);
    EXPECT_EQ(index.flags, 0x448u);
    EXPECT_EQ(index.cmp, 0u);

    BSTR name = nullptr;
    EXPECT_EQ(snapshot.GetRow(4, name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(name, nullptr);
}

TEST(PropertiesSnapshot, EmptyAndFailedCaptures) {
    CFakeTestObjectInfo* fake = nullptr;
    CComPtr<ITestObjectInfo> info = NewInfo(&fake);
    CTOPropertiesSnapshot snapshot;
    ASSERT_EQ(snapshot.Capture(info, 0x200), S_OK);
    EXPECT_EQ(snapshot.GetRowCount(), 0);

    fake->props = {{L"a", CComVariant(1), 0x8, VT_I4, 0}};
    fake->listed = {L"a"};
    ASSERT_EQ(snapshot.Capture(info, 0x410), S_OK);
    EXPECT_EQ(snapshot.GetRowCount(), 1);
    fake->fillResult = E_ACCESSDENIED;
    EXPECT_EQ(snapshot.Capture(info, 0x410), E_ACCESSDENIED);
    EXPECT_EQ(snapshot.GetRowCount(), 0) << "a failed capture leaves the snapshot empty";
    EXPECT_EQ(snapshot.Capture(nullptr, 0x410), E_INVALIDARG);
}

namespace {

// Rows given directly, for the summary.
class ListSnapshot : public ITOPropertiesSnapshot {
public:
    struct Item { const wchar_t* name; DWORD flags, type, cmp; };
    std::vector<Item> items;
    HRESULT failAt = S_OK;
    long GetRowCount() override { return static_cast<long>(items.size()); }
    HRESULT GetRow(long row, BSTR& name, DWORD* flags, DWORD* type, DWORD* cmp, VARIANT*, VARIANT*, VARIANT*) override {
        if (row == 1 && FAILED(failAt)) return failAt;
        const Item& i = items[row];
        name = i.name ? ::SysAllocString(i.name) : nullptr;
        *flags = i.flags;
        *type = i.type;
        *cmp = i.cmp;
        return S_OK;
    }
};

}  // namespace

TEST(FlagsChangeSummary, PairsBeforeAndAfter) {
    ListSnapshot before, after;
    before.items = {{L"text", 0x18, 8, 0}, {L"gone", 0x8, 3, 1}};
    after.items = {{L"text", 0x8, 8, 4}, {L"new", 0x410, 3, 2}};
    CTOPropertiesFlagsChangeSummary summary;
    ASSERT_EQ(summary.Compute(&before, &after), S_OK);
    bool present = true;
    DWORD flags = 0, type = 0, cmp = 0;
    ASSERT_TRUE(summary.Lookup(L"new", &present, &flags, &type, &cmp));
    EXPECT_FALSE(present);
    EXPECT_EQ(flags, 0u) << "words are copied only for a present side";
    ASSERT_TRUE(summary.Lookup2(L"new", &present, &flags, &type, &cmp));
    EXPECT_TRUE(present);
    EXPECT_EQ(flags, 0x410u);
    EXPECT_EQ(type, 3u);
    EXPECT_EQ(cmp, 2u);
    ASSERT_TRUE(summary.Lookup(L"text", &present, &flags, &type, &cmp));
    EXPECT_EQ(flags, 0x18u);
    ASSERT_TRUE(summary.Lookup2(L"text", &present, &flags, &type, &cmp));
    EXPECT_EQ(flags, 0x8u);
    EXPECT_EQ(cmp, 4u);
    ASSERT_TRUE(summary.Lookup2(L"gone", &present, &flags, &type, &cmp));
    EXPECT_FALSE(present);
    EXPECT_FALSE(summary.Lookup(L"missing", &present, &flags, &type, &cmp));
    EXPECT_FALSE(summary.Lookup(L"TEXT", &present, &flags, &type, &cmp)) << "names are case-sensitive";
}

TEST(FlagsChangeSummary, FailedComputeLeavesItEmpty) {
    ListSnapshot before, after;
    before.items = {{L"a", 1, 2, 3}};
    after.items = {{L"b", 1, 2, 3}, {L"c", 1, 2, 3}};
    CTOPropertiesFlagsChangeSummary summary;
    ASSERT_EQ(summary.Compute(&before, &after), S_OK);
    after.failAt = E_ACCESSDENIED;
    EXPECT_EQ(summary.Compute(&before, &after), E_ACCESSDENIED);
    bool present = false;
    EXPECT_FALSE(summary.Lookup(L"a", &present, nullptr, nullptr, nullptr));
    after.failAt = S_OK;
    after.items[1].name = L"";
    EXPECT_EQ(summary.Compute(&before, &after), E_FAIL) << "an empty name";
    after.items[1].name = nullptr;
    EXPECT_EQ(summary.Compute(&before, &after), E_FAIL) << "a null name";
    EXPECT_FALSE(summary.Lookup(L"a", &present, nullptr, nullptr, nullptr));
}

TEST(FlagsChangeSummary, ReadsCapturedSnapshots) {
    CFakeTestObjectInfo* fake = nullptr;
    CComPtr<ITestObjectInfo> info = NewInfo(&fake);
    fake->props = {{L"text", CComVariant(L"OK"), 0x18, VT_BSTR, 0}};
    fake->listed = {L"text"};
    CTOPropertiesSnapshot before, after;
    ASSERT_EQ(before.Capture(info, 0x410), S_OK);
    fake->props[0].flags = 0x8;
    ASSERT_EQ(after.Capture(info, 0x410), S_OK);
    CTOPropertiesFlagsChangeSummary summary;
    ASSERT_EQ(summary.Compute(&before, &after), S_OK);
    bool present = false;
    DWORD flags = 0;
    ASSERT_TRUE(summary.Lookup(L"text", &present, &flags, nullptr, nullptr));
    EXPECT_EQ(flags, 0x18u);
    ASSERT_TRUE(summary.Lookup2(L"text", &present, &flags, nullptr, nullptr));
    EXPECT_EQ(flags, 0x8u);
}
