// Rows of a typical description compared per second, plain rows as the baseline: through the value
// comparison (pattern rows create their regular-expression object per comparison) and through the
// query engine's description comparison (one matcher kept by the engine).
#include <windows.h>
#include <objbase.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <map>
#include <string>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"
#include "host/ObjectRackClientImpl.h"
#include "environment/ComKorQuery.h"
#include "kestrune.h"
#include "values/RegExpMatcher.h"
#include "values/ValueComparison.h"

using kcom::CComVariant;

namespace {

struct Row {
    CComVariant expected, actual;
    long compareType;
    VARTYPE expectedType, actualType;
};

std::vector<Row> PlainRows() {
    std::vector<Row> rows;
    rows.push_back({CComVariant(L"AcxCheckBox"), CComVariant(L"acxcheckbox"), 0, VT_BSTR, VT_BSTR});
    rows.push_back({CComVariant(L"MSComctlLib.TreeCtrl.2"), CComVariant(L"MSComctlLib.TreeCtrl.2"), 4, VT_BSTR, VT_BSTR});
    rows.push_back({CComVariant(L"Order details"), CComVariant(L"  Order details "), 0, VT_EMPTY, VT_EMPTY});
    rows.push_back({CComVariant(3L), CComVariant(L"3"), 0, VT_I4, VT_EMPTY});
    rows.push_back({CComVariant(true), CComVariant(-1L, VT_BOOL), 0, VT_BOOL, VT_BOOL});
    rows.push_back({CComVariant(L"Ok"), CComVariant(L"Click Ok to continue"), 8, VT_BSTR, VT_BSTR});
    return rows;
}

std::vector<Row> PatternRows() {
    std::vector<Row> rows;
    rows.push_back({CComVariant(L"Order \\d+"), CComVariant(L"Order 4711"), 1, VT_BSTR, VT_BSTR});
    rows.push_back({CComVariant(L"Sav(e|ing)"), CComVariant(L"Please wait, saving the file"), 9, VT_BSTR, VT_BSTR});
    return rows;
}

// Rows compared per second over at least the given time.
double RowsPerSecond(const std::vector<Row>& rows, double seconds) {
    using clock = std::chrono::steady_clock;
    long long compared = 0;
    auto start = clock::now();
    double elapsed = 0;
    do {
        for (const Row& r : rows) {
            VARIANT_BOOL result = VARIANT_FALSE;
            HRESULT hr = CompareTypedValues(r.expected, r.actual, r.compareType, &result, r.expectedType, r.actualType);
            if (FAILED(hr) || result != VARIANT_TRUE) {
                std::printf("row %lld did not match (0x%08lx)\n", compared, static_cast<unsigned long>(hr));
                std::exit(1);
            }
        }
        compared += static_cast<long long>(rows.size());
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    } while (elapsed < seconds);
    return compared / elapsed;
}

// Pattern rows through one matcher held for the whole run, as a long-lived owner keeps it.
double HeldMatcherRowsPerSecond(double seconds) {
    using clock = std::chrono::steady_clock;
    RegExpMatcher matcher;
    kcom::CComBSTR patterns[2] = {L"Order \\d+", L"Sav(e|ing) .*"}, texts[2] = {L"Order 4711", L"Saving the file"};
    long long compared = 0;
    auto start = clock::now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 2; ++i) {
            VARIANT_BOOL result = VARIANT_FALSE;
            if (FAILED(matcher.SetIgnoreCase(VARIANT_FALSE)) || FAILED(matcher.SetPattern(patterns[i])) ||
                FAILED(matcher.IsFullMatch(texts[i], &result)) || result != VARIANT_TRUE) {
                std::printf("held matcher did not match\n");
                std::exit(1);
            }
        }
        compared += 2;
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    } while (elapsed < seconds);
    return compared / elapsed;
}

// The host's query engine, reduced to a table of current values.
class CValueTable : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorQuery {
public:
    BEGIN_COM_MAP(CValueTable)
        COM_INTERFACE_ENTRY(IKorQuery)
    END_COM_MAP()
    std::map<std::wstring, CComVariant> values;
    STDMETHOD(QueryIdFromContainer)(SAFEARRAY*, IDispatch*, SAFEARRAY**, QueryIdInfo*, SAFEARRAY*) override {
        return E_NOTIMPL;
    }
    STDMETHOD(QueryIdFromSet)(SAFEARRAY*, SAFEARRAY**) override { return E_NOTIMPL; }
    STDMETHOD(QueryValue)(IRuntimeID*, SAFEARRAY* table) override {
        CKorSafeArray rows;
        rows.Attach(table, false);
        for (LONG i = 0; i < static_cast<LONG>(rows.GetRowCount()); ++i) {
            CComVariant name;
            rows.GetElement(&name, i, 0);
            auto found = values.find(name.bstrVal ? name.bstrVal : L"");
            if (found != values.end()) rows.PutElement(&found->second, i, 1);
        }
        return S_OK;
    }
};

class CEngine : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                public IObjectRackClientImpl<CEngine>,
                public CComKorQuery<CEngine> {
public:
    BEGIN_COM_MAP(CEngine)
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()
};

template <class T>
kcom::CComObject<T>* New() {
    kcom::CComObject<T>* p = nullptr;
    if (FAILED(kcom::CComObject<T>::CreateInstance(&p))) std::exit(2);
    p->AddRef();
    return p;
}

// Description rows (name, value, compare type) and the values the table reports for them.
CKorSafeArray Description(CValueTable* table, bool withPatterns) {
    struct R { const wchar_t* name; CComVariant expected, actual; long type; };
    std::vector<R> rows = {{L"progid", CComVariant(L"Grid.Control.1"), CComVariant(L"Grid.Control.1"), 0},
                           {L"text", CComVariant(L" Order details"), CComVariant(L"Order details "), 0},
                           {L"index", CComVariant(2L), CComVariant(2L), 0},
                           {L"visible", CComVariant(true), CComVariant(true), 0},
                           {L"width", CComVariant(120L), CComVariant(120L), 0},
                           {L"name", CComVariant(L"grdOrders"), CComVariant(L"grdOrders"), 0}};
    if (withPatterns) {
        rows.push_back({L"caption", CComVariant(L"Order \\d+"), CComVariant(L"Order 4711"), 1});
        rows.push_back({L"status", CComVariant(L".*sav(e|ing).*"), CComVariant(L"Please wait, saving the file"), 1});
    }
    CKorSafeArray d(static_cast<ULONG>(rows.size()), 5, VT_VARIANT);
    for (LONG i = 0; i < static_cast<LONG>(rows.size()); ++i) {
        CComVariant name(rows[i].name), type(rows[i].type);
        d.PutElement(&name, i, 0);
        d.PutElement(&rows[i].expected, i, 1);
        d.PutElement(&type, i, 4);
        table->values[rows[i].name] = rows[i].actual;
    }
    return d;
}

double DescriptionRowsPerSecond(CEngine* engine, CValueTable* table, const CKorSafeArray& description,
                                double seconds) {
    using clock = std::chrono::steady_clock;
    const ULONG n = description.GetRowCount();
    long long compared = 0;
    auto start = clock::now();
    double elapsed = 0;
    do {
        if (!engine->CompareSet(nullptr, description.psa, table)) {
            std::printf("description did not match\n");
            std::exit(1);
        }
        compared += n;
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    } while (elapsed < seconds);
    return compared / elapsed;
}

}  // namespace

int main() {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    std::vector<Row> plain = PlainRows(), pattern = PatternRows(), description = PlainRows();
    for (Row& r : PatternRows()) description.push_back(std::move(r));

    RowsPerSecond(description, 0.2);  // warm up: loads the script component once
    double plainRate = RowsPerSecond(plain, 1.0);
    double patternRate = RowsPerSecond(pattern, 1.0);
    double descriptionRate = RowsPerSecond(description, 1.0);
    double heldRate = HeldMatcherRowsPerSecond(1.0);
    std::printf("BENCH compare_plain_rows %.0f rows/s\n", plainRate);
    std::printf("BENCH compare_regexp_rows %.0f rows/s ratio %.4f vs compare_plain_rows\n", patternRate,
                patternRate / plainRate);
    std::printf("BENCH compare_description_rows %.0f rows/s ratio %.4f vs compare_plain_rows\n", descriptionRate,
                descriptionRate / plainRate);
    std::printf("BENCH compare_regexp_rows_held_matcher %.0f rows/s ratio %.4f vs compare_plain_rows\n", heldRate,
                heldRate / plainRate);

    // A contained pattern that occurs nowhere in a long multi-line text.
    {
        std::wstring text(64000, L'a');
        for (size_t i = 40; i < text.size(); i += 41) text[i] = L'\n';
        kcom::CComBSTR expected(L"b+"), actual(text.c_str(), static_cast<UINT>(text.size()));
        VARIANT_BOOL result = VARIANT_TRUE;
        auto start = std::chrono::steady_clock::now();
        MatchValuePattern(expected, actual, CMP_REGEXP | CMP_CONTAINS, &result);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("BENCH compare_contains_pattern_64k_text_no_match %.1f ms\n", ms);
    }

    auto* engine = New<CEngine>();
    auto* table = New<CValueTable>();
    {
        CKorSafeArray plainDescription = Description(table, false), mixedDescription = Description(table, true);
        DescriptionRowsPerSecond(engine, table, mixedDescription, 0.2);
        double plainSet = DescriptionRowsPerSecond(engine, table, plainDescription, 1.0);
        double mixedSet = DescriptionRowsPerSecond(engine, table, mixedDescription, 1.0);
        std::printf("BENCH query_description_plain_rows %.0f rows/s\n", plainSet);
        std::printf("BENCH query_description_rows %.0f rows/s ratio %.4f vs query_description_plain_rows\n", mixedSet,
                    mixedSet / plainSet);
    }
    table->Release();
    engine->Release();
    ::CoUninitialize();
    return 0;
}
