// The texts of report events, byte for byte: step arguments, HTML escapes, and the description
// of an object from a snapshot the test controls.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "../settings/DescribedObject.h"
#include "description/TOPropertiesSnapshot.h"
#include "testobject/reporting/ReportTexts.h"

using kcom::CComBSTR;
using kcom::CComVariant;

namespace {

std::wstring ArgumentsText(std::vector<CComVariant> values, const wchar_t* prefix = nullptr,
                           const wchar_t* htmlPrefix = nullptr, std::wstring* html = nullptr) {
    CKorSafeArray table(static_cast<ULONG>(values.size()), 1, VT_VARIANT);
    for (size_t r = 0; r < values.size(); ++r) table.PutElement(&values[r], static_cast<LONG>(r), 0);
    CComBSTR text, htmlText;
    EXPECT_EQ(S_OK, AppendParams(table.psa, prefix, text.Put(), htmlPrefix, htmlPrefix ? htmlText.Put() : nullptr));
    if (html) *html = htmlText.c_str();
    return text.c_str();
}

// The value as the system writes it in this locale.
std::wstring SystemText(const CComVariant& v) {
    CComVariant text;
    ::VariantChangeType(text.Put(), const_cast<CComVariant*>(&v), 0, VT_BSTR);
    return text.bstrVal ? text.bstrVal : L"";
}

CComVariant Date(double d) {
    CComVariant v(d);
    v.vt = VT_DATE;
    return v;
}

// Rows as the formatter reads them.
struct Row {
    std::wstring name;
    DWORD flags;
    CComVariant value;
    CComVariant data;
    CComVariant expression;
    DWORD compareType = 0;
};

class CFakeSnapshot : public ITOPropertiesSnapshot {
public:
    std::vector<Row> rows;
    long GetRowCount() override { return static_cast<long>(rows.size()); }
    HRESULT GetRow(long row, BSTR& name, DWORD* flags, DWORD* type, DWORD* compareType, VARIANT* value,
                   VARIANT* data, VARIANT* expression) override {
        const Row& r = rows.at(static_cast<size_t>(row));
        name = ::SysAllocString(r.name.c_str());
        *flags = r.flags;
        *type = 0;
        *compareType = r.compareType;
        if (value) r.value.CopyTo(value);
        if (data) r.data.CopyTo(data);
        if (expression) r.expression.CopyTo(expression);
        return S_OK;
    }
};

// Property data whose "Order" row holds the number.
CComVariant OrderData(const CComVariant& order) {
    CKorSafeArray table(2, 2, VT_VARIANT);
    CComVariant other(L"Other"), key(L"order"), one(1L);
    table.PutElement(&other, 0, 0);
    table.PutElement(&one, 0, 1);
    table.PutElement(&key, 1, 0);
    table.PutElement(const_cast<CComVariant*>(&order), 1, 1);
    CComVariant v;
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = table.Detach();
    return v;
}

class DescriptionTextTest : public ::testing::Test {
protected:
    HRESULT Format(ITOAttributesChangeSummary* changes = nullptr) {
        return object->FormatDescriptionReport(plain.Put(), html.Put(), &snapshot, changes);
    }
    standin::CTestHost host;
    DescribedHolder object = NewDescribedObject(host);
    CFakeSnapshot snapshot;
    CComBSTR plain, html;
};

}  // namespace

TEST(AppendParamsTest, ArgumentsAsTheReportWritesThem) {
    EXPECT_EQ(ArgumentsText({CComVariant(L"abc"), CComVariant(5L), CComVariant(true)}), L"\"abc\", 5, True");
    EXPECT_EQ(ArgumentsText({CComVariant(false), CComVariant(2.5)}), L" False, " + SystemText(CComVariant(2.5)));
    EXPECT_EQ(ArgumentsText({CComVariant(L"KorScriptConstant::micLeftBtn"), CComVariant(L"<b>")}),
              L"micLeftBtn, \"&ltb&gt\"");
    EXPECT_EQ(ArgumentsText({Date(2.0), Date(3.0)}),
              L"#" + SystemText(Date(2.0)) + L"#, #" + SystemText(Date(3.0)) + L"#");
    // Other types are left out and do not count as a value before.
    EXPECT_EQ(ArgumentsText({CComVariant(static_cast<IUnknown*>(nullptr)), CComVariant(true)}), L" True");
    std::wstring html;
    EXPECT_EQ(ArgumentsText({CComVariant(7L)}, L"Set", L"<b>Set</b>", &html), L"Set 7");
    EXPECT_EQ(html, L"<b>Set</b> 7");
    CComBSTR text;
    EXPECT_EQ(E_INVALIDARG, AppendParams(nullptr, nullptr, text.Put(), nullptr, nullptr));
}

TEST(EscapeHtmlTest, EntitiesAndLineBreaksInOnePass) {
    CComBSTR text(L"a&b \"c\" <d>\r\n");
    BSTR raw = text.Detach();
    ASSERT_EQ(S_OK, EscapeHtml(&raw));
    text.Attach(raw);
    EXPECT_STREQ(text.c_str(), L"a&amp;b &quot;c&quot; &lt;d&gt;<br><br>");
    EXPECT_EQ(E_INVALIDARG, EscapeHtml(nullptr));
    BSTR empty = nullptr;
    EXPECT_EQ(S_OK, EscapeHtml(&empty));
    EXPECT_EQ(empty, nullptr);
}

TEST_F(DescriptionTextTest, PlainAndOrderedRows) {
    snapshot.rows.push_back({L"text", 0x10, CComVariant(L"abc"), CComVariant(), CComVariant()});
    snapshot.rows.push_back({L"index", 0x210, CComVariant(2L), OrderData(CComVariant(1L)), CComVariant()});
    snapshot.rows.push_back({L"SimClass", 0x200000, CComVariant(L"x"), CComVariant(), CComVariant()});
    auto plainObject = standin::Holder<standin::CSelectorStandIn>::New();  // no text form
    snapshot.rows.push_back({L"object", 0x10, CComVariant(static_cast<IUnknown*>(plainObject.as<IKorSelector>())),
                             CComVariant(), CComVariant()});
    snapshot.rows.push_back({L"top", 0x210, CComVariant(9L), OrderData(CComVariant(0L)), CComVariant()});
    ASSERT_EQ(S_OK, Format());
    EXPECT_STREQ(html.c_str(), L"text = abc<br>top = 9<br>|index = 2<br>");
    EXPECT_STREQ(plain.c_str(), L"text = abc\ntop = 9\n|index = 2\n");
}

TEST_F(DescriptionTextTest, AngleBracketsWithoutSemicolonsAndQuotes) {
    snapshot.rows.push_back({L"tag", 0x10, CComVariant(L"<a href=\\\"x\\\">"), CComVariant(), CComVariant()});
    snapshot.rows.push_back({L"half", 0x10, CComVariant(L"a > \\\"b\\\""), CComVariant(), CComVariant()});
    ASSERT_EQ(S_OK, Format());
    EXPECT_STREQ(html.c_str(), L"tag = &lta href=\"x\"&gt<br>half = a &gt \\\"b\\\"<br>");
    EXPECT_STREQ(plain.c_str(), L"tag = &lta href=\"x\"&gt\nhalf = a &gt \\\"b\\\"\n");
}

TEST_F(DescriptionTextTest, HelpStringNamesParametersAndCaseChanges) {
    host.options->Put(L"Attributes\\text", L"helpstring", L"The text");
    host.options->Put(L"Attributes\\width", L"helpstring", L"   ");
    snapshot.rows.push_back({L"text", 0x10, CComVariant(L"abc"), CComVariant(), CComVariant(), 4});
    snapshot.rows.push_back({L"width", 0x110, CComVariant(5L), CComVariant(), CComVariant(L"Parameter(\"w\")")});
    CTOPropertiesFlagsChangeSummary changes;
    CFakeSnapshot before;
    before.rows.push_back({L"text", 0x10, CComVariant(L"abc"), CComVariant(), CComVariant(), 0});
    before.rows.push_back({L"width", 0x110, CComVariant(5L), CComVariant(), CComVariant(L"p")});
    ASSERT_EQ(S_OK, changes.Compute(&before, &snapshot));
    ASSERT_EQ(S_OK, Format(&changes));
    EXPECT_STREQ(html.c_str(), L"The text = abc (match case)<br>width = 5 = Parameter(\"w\")<br>");
}

TEST_F(DescriptionTextTest, OrderDataMustBeATableWithANumber) {
    snapshot.rows.push_back({L"index", 0x200, CComVariant(2L), CComVariant(L"not a table"), CComVariant()});
    EXPECT_EQ(E_INVALIDARG, Format());
    snapshot.rows[0].data = OrderData(CComVariant(L"1"));
    EXPECT_EQ(E_INVALIDARG, Format());
}
