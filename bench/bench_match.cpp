// Descriptions of 10 rows matched per second by the test object's IsMatch, plain and with
// regular-expression rows; the baseline is the plain value comparison of the same rows. Sections of
// one IsMatch, each timed alone on the same two objects: reading both descriptions (of which
// listing both objects' property names), finding each own row's name in the other description,
// deciding each row's values, and the rest.
#include <windows.h>
#include <objbase.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/forwarding/ITestObjectImpl.h"
#include "testobject/forwarding/ITestObjectInfoImpl.h"
#include "testobject/matching/VariantEqualNoCase.h"
#include "testobject/settings/DescriptionTable.h"
#include "values/ValueComparison.h"

using kcom::CComVariant;

namespace {

class CBenchObject : public CComTestObject,
                     public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                     public ITestObject7Impl<CBenchObject>,
                     public ITestObjectInfo3Impl<CBenchObject> {
public:
    BEGIN_COM_MAP(CBenchObject)
        COM_INTERFACE_ENTRY(ITestObject)
        COM_INTERFACE_ENTRY(ITestObject4)
        COM_INTERFACE_ENTRY(ITestObjectInfo)
    END_COM_MAP()
    HRESULT STDMETHODCALLTYPE InternalQueryInterface(REFIID iid, void** out) override {
        return _InternalQueryInterface(iid, out);
    }
    UINT STDMETHODCALLTYPE GetClipboardFormat() override { return ::RegisterClipboardFormatW(L"Kestrune bench"); }
    HRESULT STDMETHODCALLTYPE GetTestObjectClass(BSTR* name) override {
        if (!name) return E_POINTER;
        *name = ::SysAllocString(L"BenchClass");
        return S_OK;
    }
};

struct Row {
    const wchar_t* name;
    CComVariant expected, actual;
    long compareType;
};

std::vector<Row> Rows(bool patterns) {
    std::vector<Row> rows = {
        {L"progid", CComVariant(L"Grid.Control.1"), CComVariant(L"Grid.Control.1"), 0},
        {L"text", CComVariant(L"Order details"), CComVariant(L"Order details"), 0},
        {L"index", CComVariant(2L), CComVariant(2L), 0},
        {L"visible", CComVariant(true), CComVariant(true), 0},
        {L"width", CComVariant(120L), CComVariant(120L), 0},
        {L"name", CComVariant(L"grdOrders"), CComVariant(L"grdOrders"), 0},
        {L"caption", CComVariant(L"Orders"), CComVariant(L"Orders"), 0},
        {L"status", CComVariant(L"Ready"), CComVariant(L"Ready"), 0},
        {L"class", CComVariant(L"AfxGrid"), CComVariant(L"AfxGrid"), 4},
        {L"height", CComVariant(40L), CComVariant(40L), 0},
    };
    if (patterns) {
        rows[6] = {L"caption", CComVariant(L"Order \\d+"), CComVariant(L"Order 4711"), 1};
        rows[7] = {L"status", CComVariant(L".*sav(e|ing).*"), CComVariant(L"Please wait, saving the file"), 1};
        rows[8] = {L"class", CComVariant(L"Afx.*"), CComVariant(L"AfxGrid"), 5};
        rows[1] = {L"text", CComVariant(L"Order (details|items)"), CComVariant(L"Order details"), 1};
    }
    return rows;
}

kcom::CComObject<CBenchObject>* NewObject() {
    kcom::CComObject<CBenchObject>* p = nullptr;
    if (FAILED(kcom::CComObject<CBenchObject>::CreateInstance(&p))) std::exit(2);
    p->AddRef();
    return p;
}

void Describe(CBenchObject* object, const std::vector<Row>& rows, bool expected) {
    for (const Row& r : rows) {
        kcom::CComBSTR name(r.name);
        long flags = 0x50, type = 0, compareType = expected ? r.compareType : 0;
        object->ITestObjectInfo_put_PropExpr(name, &flags, &type, &compareType, expected ? r.expected : r.actual);
    }
}

template <class F>
double PerSecond(F&& once, double seconds) {
    using clock = std::chrono::steady_clock;
    long long done = 0;
    const auto start = clock::now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 20; ++i) once();
        done += 20;
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    } while (elapsed < seconds);
    return done / elapsed;
}

// The two objects one IsMatch compares, described by the same rows; released with the pair.
struct DescribedPair {
    explicit DescribedPair(const std::vector<Row>& rows) : own(NewObject()), other(NewObject()) {
        Describe(own, rows, true);
        Describe(other, rows, false);
    }
    ~DescribedPair() {
        own->Release();
        other->Release();
    }
    DescribedPair(const DescribedPair&) = delete;
    DescribedPair& operator=(const DescribedPair&) = delete;
    ITestObject* OtherObject() const { return static_cast<ITestObject7Impl<CBenchObject>*>(other); }

    kcom::CComObject<CBenchObject>* own;
    kcom::CComObject<CBenchObject>* other;
};

double MatchesPerSecond(bool patterns, double seconds) {
    const DescribedPair pair(Rows(patterns));
    return PerSecond([&] {
        VARIANT_BOOL result = VARIANT_FALSE;
        if (FAILED(pair.own->ITestObject4_IsMatch(pair.OtherObject(), &result)) || !result) {
            std::printf("descriptions did not match\n");
            std::exit(1);
        }
    }, seconds);
}

// One description as IsMatch reads it.
CKorSafeArray ReadTable(CBenchObject* object) {
    SAFEARRAY* psa = nullptr;
    if (FAILED(BuildDescriptionTable(static_cast<ITestObject7Impl<CBenchObject>*>(object), &psa, 0xFFFFFFFF, false)))
        std::exit(1);
    CKorSafeArray table;
    table.Attach(psa, true);
    return table;
}

// Each section of one IsMatch timed alone, in microseconds per match.
struct Sections {
    double whole = 0, read = 0, names = 0, lookup = 0, decide = 0;
};

Sections TimeSections(bool patterns, double seconds) {
    const std::vector<Row> rows = Rows(patterns);
    const DescribedPair pair(rows);
    auto* own = pair.own;
    auto* other = pair.other;
    const CKorSafeArray ownTable = ReadTable(own), otherTable = ReadTable(other);
    ITestObject* otherObject = pair.OtherObject();
    long sink = 0;
    Sections s;
    s.whole = 1e6 / PerSecond([&] {
        VARIANT_BOOL result = VARIANT_FALSE;
        own->ITestObject4_IsMatch(otherObject, &result);
        sink += result != VARIANT_FALSE;
    }, seconds);
    s.read = 1e6 / PerSecond([&] { sink += ReadTable(own).GetRowCount() + ReadTable(other).GetRowCount(); }, seconds);
    s.names = 1e6 / PerSecond([&] {
        for (auto* object : {own, other}) {
            kcom::CComSafeArray names;
            object->ITestObjectInfo_GetProps(names.Put(), 0xFFFFFFFF);
            sink += names != nullptr;
        }
    }, seconds);
    s.lookup = 1e6 / PerSecond([&] {
        for (ULONG r = 0; r < ownTable.GetRowCount(); ++r) {
            CComVariant name;
            ownTable.GetElement(name.Put(), static_cast<LONG>(r), 0);
            sink += FindRowNoCase(otherTable, name, 0);
        }
    }, seconds);
    // The rows' own decisions: texts matched under their compare type (the pattern rows make their
    // matcher each time), other values compared.
    s.decide = 1e6 / PerSecond([&] {
        for (const Row& r : rows) {
            if (r.expected.vt != VT_BSTR) {
                sink += CompareVariantValues(r.expected, r.actual);
                continue;
            }
            VARIANT_BOOL matched = VARIANT_FALSE;
            MatchValuePattern(r.expected.bstrVal, r.actual.bstrVal, r.compareType, &matched);
            sink += matched != VARIANT_FALSE;
        }
    }, seconds);
    if (sink < 0) std::printf("never\n");
    return s;
}

// The same rows' values compared as plain values, one description of 10 rows at a time.
double ValueComparisonsPerSecond(bool patterns, double seconds) {
    const std::vector<Row> rows = Rows(patterns);
    int equal = 0;
    const double rate = PerSecond([&] {
        for (const Row& r : rows) equal += CompareVariantValues(r.expected, r.actual) ? 1 : 0;
    }, seconds);
    if (equal < 0) std::printf("never\n");  // keeps the comparisons from being optimised away
    return rate;
}

}  // namespace

int main() {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    MatchesPerSecond(true, 0.2);  // warm up: loads the script component once
    for (bool patterns : {false, true}) {
        const double baseline = ValueComparisonsPerSecond(patterns, 1.0);
        const double matches = MatchesPerSecond(patterns, 1.0);
        const char* kind = patterns ? "regexp" : "plain";
        std::printf("BENCH value_compare_%s_10_rows %.0f matches/s\n", kind, baseline);
        std::printf("BENCH ismatch_%s_10_rows %.0f matches/s ratio %.6f vs value_compare_%s_10_rows\n", kind, matches,
                    matches / baseline, kind);
        const Sections s = TimeSections(patterns, 0.3);
        std::printf("BENCH ismatch_%s_section_whole %.1f us/match\n", kind, s.whole);
        std::printf("BENCH ismatch_%s_section_read_descriptions %.1f us/match\n", kind, s.read);
        std::printf("BENCH ismatch_%s_section_read_descriptions_names %.1f us/match\n", kind, s.names);
        std::printf("BENCH ismatch_%s_section_find_rows %.1f us/match\n", kind, s.lookup);
        std::printf("BENCH ismatch_%s_section_decide_values %.1f us/match\n", kind, s.decide);
        std::printf("BENCH ismatch_%s_section_rest %.1f us/match\n", kind, s.whole - s.read - s.lookup - s.decide);
    }
    ::CoUninitialize();
    return 0;
}
