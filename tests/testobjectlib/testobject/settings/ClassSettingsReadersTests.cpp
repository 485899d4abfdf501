// The readers of a class's identification settings against a settings tree whose order and types
// the test controls, and the helpers that create selectors and build description tables.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "DescribedObject.h"
#include "com/ComSafeArray.h"
#include "testobject/settings/ClassSettingsReaders.h"
#include "testobject/settings/PropertyAttributes.h"
#include "testobject/settings/Selectors.h"

using kcom::CComBSTR;
using kcom::CComVariant;

namespace {

constexpr wchar_t kDescription[] = L"Test Objects\\TestClass\\Description";

// Column c of every row, as text ("I4:5", "BSTR:x", "EMPTY").
std::vector<std::wstring> Column(SAFEARRAY* psa, LONG c) {
    std::vector<std::wstring> out;
    CKorSafeArray t;
    t.Attach(psa, false);
    for (ULONG r = 0; psa && r < t.GetRowCount(); ++r) {
        CComVariant v;
        t.GetElement(v.Put(), static_cast<LONG>(r), c);
        out.push_back(standin::VariantText(v));
    }
    return out;
}

using Texts = std::vector<std::wstring>;

class ClassSettingsTest : public ::testing::Test {
protected:
    standin::CTestHost host;
    CComBSTR cls{L"TestClass"};
    kcom::CComSafeArray table;
};

}  // namespace

TEST_F(ClassSettingsTest, IdentificationRowsKeepTextNamesWithFlag10AndAMaskBit) {
    host.options->Put(kDescription, L"text", 0x18);
    host.options->Put(kDescription, L"index", 0x448);
    host.options->Put(kDescription, L"typed", L"16");  // a text, not VT_I4
    host.options->Put(kDescription, L"rel", 0x50);
    ASSERT_EQ(S_OK, ReadClassSettingKind3(host.Rack(), cls, table.Put(), nullptr, 0xFFFFFFFF));
    EXPECT_EQ(Column(table, 0), (Texts{L"BSTR:text", L"BSTR:rel"}));
    EXPECT_EQ(Column(table, 2), (Texts{L"I4:24", L"I4:80"}));
    EXPECT_EQ(Column(table, 1), (Texts{L"EMPTY", L"EMPTY"}));
    CKorSafeArray view;
    view.Attach(table, false);
    EXPECT_EQ(view.GetColumnCount(), 5u);

    ASSERT_EQ(S_OK, ReadClassSettingKind3(host.Rack(), cls, table.Put(), nullptr, 0x40));
    EXPECT_EQ(Column(table, 0), (Texts{L"BSTR:rel"}));
    ASSERT_EQ(S_OK, ReadClassSettingKind3(host.Rack(), cls, table.Put(), nullptr, 0x1000));
    EXPECT_TRUE(Column(table, 0).empty());
}

TEST_F(ClassSettingsTest, UserDefinedVariantHasItsOwnDescription) {
    host.options->Put(kDescription, L"text", 0x10);
    host.options->Put(L"Test Objects\\TestClass\\Description\\UserDefined\\Grid\\Description", L"caption", 0x10);
    CComBSTR variant(L"Grid");
    ASSERT_EQ(S_OK, ReadClassSettingKind3(host.Rack(), cls, table.Put(), variant, 0xFFFFFFFF));
    EXPECT_EQ(Column(table, 0), (Texts{L"BSTR:caption"}));
    CComBSTR missing(L"Tree");
    EXPECT_EQ(S_FALSE, ReadClassSettingKind3(host.Rack(), cls, table.Put(), missing, 0xFFFFFFFF));
    EXPECT_EQ(table.get(), nullptr);
}

TEST_F(ClassSettingsTest, MissingOrMistypedNodesGiveCodesNotCrashes) {
    // No class node at all: the opening failure comes back; no description node: S_FALSE.
    EXPECT_EQ(E_FAIL, ReadClassSettingKind3(host.Rack(), cls, table.Put(), nullptr, 0xFFFFFFFF));
    host.options->AddSection(L"Test Objects\\TestClass");
    EXPECT_EQ(S_FALSE, ReadClassSettingKind3(host.Rack(), cls, table.Put(), nullptr, 0xFFFFFFFF));
    CComBSTR name;
    EXPECT_EQ(E_FAIL, ReadClassSettingKind5(host.Rack(), cls, name.Put(), nullptr));
    EXPECT_EQ(E_FAIL, ReadClassSettingKind0(host.Rack(), cls, table.Put(), nullptr));
    EXPECT_EQ(E_FAIL, ReadClassSettingList(host.Rack(), cls, table.Put(), 0xFFFFFFFF));

    // "Description" as a plain value is no node.
    host.options->Put(L"Test Objects\\TestClass", L"Description", L"text");
    EXPECT_EQ(S_FALSE, ReadClassSettingKind3(host.Rack(), cls, table.Put(), nullptr, 0xFFFFFFFF));
    EXPECT_EQ(E_FAIL, ReadClassSettingKind5(host.Rack(), cls, name.Put(), nullptr));

    EXPECT_EQ(E_POINTER, ReadClassSettingKind3(nullptr, cls, table.Put(), nullptr, 0xFFFFFFFF));
    CComBSTR empty(L"");
    EXPECT_EQ(E_POINTER, ReadClassSettingKind3(host.Rack(), empty, table.Put(), nullptr, 0xFFFFFFFF));
    host.rack->Drop(L"TestOptions");
    EXPECT_EQ(E_FAIL, ReadClassSettingKind5(host.Rack(), cls, name.Put(), nullptr));
}

TEST_F(ClassSettingsTest, LastResortIsTheLastValueWith400) {
    host.options->Put(kDescription, L"index", 0x448);
    host.options->Put(kDescription, L"text", 0x10);
    host.options->Put(kDescription, L"position", 0x400);
    CComBSTR name;
    ASSERT_EQ(S_OK, ReadClassSettingKind5(host.Rack(), cls, name.Put(), nullptr));
    EXPECT_STREQ(name.c_str(), L"position");

    host.options->Put(kDescription, L"index", 0x48);
    host.options->Put(kDescription, L"position", L"1024");
    EXPECT_EQ(S_FALSE, ReadClassSettingKind5(host.Rack(), cls, name.Put(), nullptr));
    EXPECT_TRUE(name.IsNull());
}

TEST_F(ClassSettingsTest, AssistivePropertiesByNumberFirstReadWins) {
    const wchar_t* assistive = L"Test Objects\\TestClass\\Description\\Assistive";
    host.options->Put(assistive, L"b", 3);
    host.options->Put(assistive, L"a", 1);
    host.options->Put(assistive, L"z", 0L);
    host.options->Put(assistive, L"c", 3);
    host.options->Put(assistive, L"t", L"2");
    host.options->Put(assistive, L"m", -4);
    ASSERT_EQ(S_OK, ReadClassSettingKind0(host.Rack(), cls, table.Put(), nullptr));
    EXPECT_EQ(Column(table, 0), (Texts{L"BSTR:m", L"BSTR:a", L"BSTR:b"}));
}

TEST_F(ClassSettingsTest, PropertiesListWholeOrByMask) {
    const wchar_t* properties = L"Test Objects\\TestClass\\Properties";
    host.options->Put(properties, L"text", 0x10);
    host.options->Put(properties, L"odd", L"x");
    host.options->Put(properties, L"width", 0x20);
    ASSERT_EQ(S_OK, ReadClassSettingList(host.Rack(), cls, table.Put(), 0xFFFFFFFF));
    EXPECT_EQ(Column(table, 0), (Texts{L"BSTR:text", L"BSTR:odd", L"BSTR:width"}));
    ASSERT_EQ(S_OK, ReadClassSettingList(host.Rack(), cls, table.Put(), 0x30));
    EXPECT_EQ(Column(table, 0), (Texts{L"BSTR:text", L"BSTR:width"}));
    EXPECT_EQ(Column(table, 1), (Texts{L"I4:16", L"I4:32"}));
}

TEST_F(ClassSettingsTest, AttributesFoundWithoutCaseAndTypedFieldsOnly) {
    host.options->Put(L"Attributes\\Caption", L"helpstring", L"The caption");
    host.options->Put(L"Attributes\\Caption", L"helpfile", L"help.chm");
    host.options->Put(L"Attributes\\Caption", L"helpcontext", L"12");  // not VT_I4: left alone
    host.options->Put(L"Attributes\\Caption", L"vtType", 0x10008);
    PropertyAttributes attributes;
    attributes.helpContext = 7;
    ASSERT_EQ(S_OK, ReadPropertyAttributes(host.Rack(), L"caption", &attributes));
    EXPECT_STREQ(attributes.name.c_str(), L"caption");
    EXPECT_STREQ(attributes.helpString.c_str(), L"The caption");
    EXPECT_STREQ(attributes.helpFile.c_str(), L"help.chm");
    EXPECT_EQ(attributes.helpContext, 7u);
    EXPECT_EQ(attributes.type, VT_BSTR);  // kept as 16 bits
    EXPECT_EQ(attributes.kind, 3u);
    EXPECT_EQ(E_FAIL, ReadPropertyAttributes(host.Rack(), L"other", &attributes));
    EXPECT_EQ(E_POINTER, ReadPropertyAttributes(host.Rack(), nullptr, &attributes));
}

TEST_F(ClassSettingsTest, SelectorCreatedByProgIdGetsTheRack) {
    auto selector = standin::Holder<standin::CSelectorStandIn>::New();
    standin::CProgIdObjectRegistration registration(L"Kestrune.Test.Selector", selector.as<IKorSelector>());
    host.options->Put(L"Selectors\\index", L"ProgID", L"Kestrune.Test.Selector");
    CComBSTR index(L"index");
    kcom::CComPtr<IUnknown> created;
    ASSERT_EQ(S_OK, CreateSelector(host.Rack(), index, created.Put()));
    EXPECT_TRUE(created.IsEqualObject(selector.as<IKorSelector>()));
    EXPECT_EQ(selector->Log().Joined(), L"SetRack(obj)");

    selector->SetRackResult(E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, CreateSelector(host.Rack(), index, created.Put()));
    EXPECT_FALSE(created);
    host.options->Put(L"Selectors\\index", L"ProgID", 5);
    EXPECT_EQ(E_FAIL, CreateSelector(host.Rack(), index, created.Put()));
    CComBSTR none(L"none");
    EXPECT_EQ(E_FAIL, CreateSelector(host.Rack(), none, created.Put()));
}
