// Rows of a typical description compared per second through the value comparison, plain rows as
// the baseline; pattern rows create their regular-expression object per comparison.
#include <windows.h>
#include <objbase.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include "ComVariant.h"
#include "ComBSTR.h"
#include "datamodel/RegExpMatcher.h"
#include "datamodel/ValueComparison.h"

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
    ::CoUninitialize();
    return 0;
}
