// Comparing the test object's description with another test object's: equality, whether the
// other satisfies this identification description, which of the two is more general, and the
// class's pool of identification candidates.
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "tables/KorBSTR.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"
#include "testobject/matching/VariantEqualNoCase.h"
#include "testobject/settings/ClassSettingsReaders.h"
#include "testobject/settings/DescriptionTable.h"
#include "testobject/settings/SettingsTable.h"
#include "values/ValueComparison.h"
#include "values/ValueConversion.h"

namespace {

enum Column : LONG { Name, Value, Flags, Type, CompareType };

constexpr long kIgnoredFlags = 0x1 | 0x80;
constexpr long kIdentificationFlags = 0x10 | 0x400;
constexpr long kLastResortFlag = 0x400;
constexpr long kComparedFlag = 0x40;
constexpr long kExpressionFlag = 0x100;
constexpr DWORD kAllProperties = 0xFFFFFFFF;

// Relation codes of CompareTo. The side marker of a comparison of two descriptions holds the
// first two as well: the side that supplied a pattern, or the side that lacks a property, is the
// more general one.
constexpr ULONG kOwnMoreGeneral = 1;
constexpr ULONG kOtherMoreGeneral = 2;
constexpr ULONG kContradict = 3;
constexpr ULONG kNoCountedProperty = 16;
constexpr ULONG kSameBySecondPass = 32;

bool Identifies(long flags) noexcept { return !(flags & kIgnoredFlags) && (flags & kIdentificationFlags); }

// One cell of a description table.
class Rows {
public:
    explicit Rows(CKorSafeArray& table) noexcept : table_(table) {}
    ULONG Count() const noexcept { return CComTestObject::RowCount(table_); }
    HRESULT Cell(ULONG row, LONG column, VARIANT* out) const noexcept {
        return table_.GetElement(out, static_cast<LONG>(row), column);
    }
    kcom::CComVariant Cell(ULONG row, LONG column) const {
        kcom::CComVariant v;
        kcom::ThrowIfFailed(Cell(row, column, v.Put()));
        return v;
    }
    // The cell as VT_I4; E_FAIL when it does not convert.
    HRESULT Number(ULONG row, LONG column, long* out) const {
        kcom::CComVariant v = Cell(row, column);
        if (FAILED(v.ChangeType(VT_I4))) return E_FAIL;
        *out = v.lVal;
        return S_OK;
    }
    long NumberOrFail(ULONG row, LONG column) const {
        long n = 0;
        kcom::ThrowIfFailed(Number(row, column, &n));
        return n;
    }
    LONG Find(const VARIANT& name) const noexcept { return FindRowNoCase(table_, name, Column::Name); }
    CKorSafeArray& table() noexcept { return table_; }

private:
    CKorSafeArray& table_;
};

// The description of an object read through its ITestObjectInfo, checked to be a table of
// VARIANT rows before any cell is read.
HRESULT ReadDescription(IUnknown* object, bool values, CKorSafeArray& table) {
    SAFEARRAY* psa = nullptr;
    HRESULT hr = BuildDescriptionTable(object, &psa, kAllProperties, values);
    table.Attach(psa, true);
    if (FAILED(hr)) return hr;
    return HoldsVariantCells(table.psa) && table.GetColumnCount() >= 5 ? S_OK : E_FAIL;
}

// Where the other object's description is read: its outer object when it has one.
HRESULT DescriptionSource(ITestObject* other, kcom::CComPtr<IUnknown>& source) {
    kcom::CComPtr<IUnknown> outer;
    if (SUCCEEDED(other->GetOuterObject(outer.Put())) && outer) {
        kcom::CComPtr<IDispatch> dispatch;
        if (SUCCEEDED(outer.QueryInterface(dispatch.Put())) && dispatch)
            source = dispatch;
        else
            source = outer;
    } else {
        source = other;
    }
    return S_OK;
}

// Both descriptions of a comparison, each a private copy.
struct Descriptions {
    kcom::CComPtr<IUnknown> source;  // where the other's description was read
    CKorSafeArray own, other;
};

HRESULT ReadDescriptions(CComTestObject& self, ITestObject* other, bool values, Descriptions& tables) {
    kcom::CComPtr<IUnknown> own;
    self.InternalQueryInterface(IID_IUnknown, reinterpret_cast<void**>(own.Put()));
    DescriptionSource(other, tables.source);
    HRESULT hr = ReadDescription(own, values, tables.own);
    return FAILED(hr) ? hr : ReadDescription(tables.source, values, tables.other);
}

// The value converted to vt; a conversion that fails, or a type with nothing to convert to,
// leaves it as it is.
void ConvertQuietly(kcom::CComVariant& value, long vt) {
    if (vt == VT_EMPTY || vt == VT_NULL) return;
    kcom::CComVariant converted;
    if (SUCCEEDED(ChangeValueType(converted.Put(), static_cast<VARTYPE>(vt), &value))) value = std::move(converted);
}

bool IsNullText(const VARIANT& v) noexcept { return v.vt == VT_BSTR && !v.bstrVal; }

// Both values as texts trimmed of outer white space, then matched with the own compare type.
HRESULT MatchAsText(const VARIANT& own, const VARIANT& other, long compareType, VARIANT_BOOL* matched) {
    CKorBSTR texts[2];
    const VARIANT* sides[2] = {&own, &other};
    for (int i = 0; i < 2; ++i) {
        kcom::CComVariant text;
        if (FAILED(::VariantChangeType(text.Put(), const_cast<VARIANT*>(sides[i]), VARIANT_NOVALUEPROP, VT_BSTR)) ||
            text.vt != VT_BSTR)
            return E_FAIL;
        if (text.bstrVal) {
            texts[i] = CKorBSTR(kcom::CComBSTR(text.bstrVal, ::SysStringLen(text.bstrVal)));
            texts[i].TrimLeft();
            texts[i].TrimRight();
        }
    }
    return MatchValuePattern(texts[0], texts[1], compareType, matched);
}

}  // namespace

// ---- Shared value rule -------------------------------------------------------------------------

HRESULT CComTestObject::CompareDescriptionValue(const VARIANT& a, const VARIANT& b, long flagsA, long flagsB,
                                                long compareTypeA, long compareTypeB, long typeA, long typeB,
                                                ULONG* side, VARIANT_BOOL* result) {
    if (!side || !result) return E_POINTER;
    *result = VARIANT_FALSE;
    const bool expressionA = flagsA & kExpressionFlag, expressionB = flagsB & kExpressionFlag;
    if (expressionA != expressionB) return S_OK;
    const bool patternA = compareTypeA & CMP_REGEXP, patternB = compareTypeB & CMP_REGEXP;
    if (expressionA || (patternA && patternB)) {
        *result = CompareVariantValues(a, b) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    // Once one side has supplied a pattern, a pattern on the other side contradicts it.
    if (patternA) {
        if (*side == kOtherMoreGeneral) return S_OK;
        *side = kOwnMoreGeneral;
        return CompareTypedValues(a, b, compareTypeA, result, static_cast<VARTYPE>(typeA), static_cast<VARTYPE>(typeB));
    }
    if (patternB) {
        if (*side == kOwnMoreGeneral) return S_OK;
        *side = kOtherMoreGeneral;
        return CompareTypedValues(b, a, compareTypeB, result, static_cast<VARTYPE>(typeB), static_cast<VARTYPE>(typeA));
    }
    return CompareTypedValues(a, b, compareTypeA, result, static_cast<VARTYPE>(typeA), static_cast<VARTYPE>(typeB));
}

// ---- IsEqual -----------------------------------------------------------------------------------

HRESULT CComTestObject::ITestObject_IsEqual(ITestObject* other) {
    if (!other) return E_POINTER;
    kcom::CComPtr<ITestObject> otherObject;
    if (FAILED(kcom::QueryTo(other, otherObject.Put())) || !otherObject) return E_NOINTERFACE;
    if (kcom::CComPtr<ITestObject> outer = Outer<ITestObject>()) return outer->IsEqual(other);
    return TestObjectGuard([&] {
        Descriptions tables;
        HRESULT hr = ReadDescriptions(*this, otherObject, true, tables);
        if (FAILED(hr)) return hr;
        Rows mine(tables.own), theirs(tables.other);

        ULONG matched = 0;
        for (ULONG r = 0; r < mine.Count(); ++r) {
            long flags = 0;
            if (FAILED(mine.Number(r, Column::Flags, &flags))) return E_FAIL;
            if (flags & kIgnoredFlags) continue;
            const LONG o = theirs.Find(mine.Cell(r, Column::Name));
            if (o < 0) return E_FAIL;
            long otherFlags = 0;
            if (FAILED(theirs.Number(o, Column::Flags, &otherFlags)) || otherFlags != flags) return E_FAIL;
            kcom::CComVariant value = mine.Cell(r, Column::Value), otherValue = theirs.Cell(o, Column::Value);
            bool equal = false;
            if (value.vt == VT_BSTR) {
                long compareType = 0;
                mine.Number(r, Column::CompareType, &compareType);
                const ULONG caseRule = (compareType & CMP_CASE_SENSITIVE) ? 0 : NORM_IGNORECASE;
                equal = otherValue.vt == VT_BSTR &&
                        ::VarBstrCmp(value.bstrVal, otherValue.bstrVal, LOCALE_SYSTEM_DEFAULT, caseRule) ==
                            static_cast<HRESULT>(VARCMP_EQ);
            } else {
                equal = CompareVariantValues(value, otherValue);
            }
            if (!equal) return E_FAIL;
            ++matched;
        }
        ULONG counted = 0;
        for (ULONG o = 0; o < theirs.Count(); ++o) {
            long flags = 0;
            if (FAILED(theirs.Number(o, Column::Flags, &flags))) return E_FAIL;
            if (!(flags & kIgnoredFlags)) ++counted;
        }
        return counted == matched ? S_OK : E_FAIL;
    });
}

// ---- IsMatch -----------------------------------------------------------------------------------

HRESULT CComTestObject::ITestObject4_IsMatch(ITestObject* other, VARIANT_BOOL* result) {
    if (!other || !result) return E_POINTER;
    kcom::CComPtr<ITestObject> otherObject;
    if (FAILED(kcom::QueryTo(other, otherObject.Put())) || !otherObject) return E_NOINTERFACE;
    if (kcom::CComPtr<ITestObject4> outer = Outer<ITestObject4>()) return outer->IsMatch(other, result);
    *result = VARIANT_FALSE;
    return TestObjectGuard([&] {
        Descriptions tables;
        HRESULT hr = ReadDescriptions(*this, otherObject, false, tables);
        if (FAILED(hr)) return hr;
        Rows mine(tables.own), theirs(tables.other);

        ULONG found = 0;
        const ULONG ownRows = mine.Count();
        for (ULONG r = 0; r < ownRows; ++r) {
            long flags = 0;
            if (FAILED(mine.Number(r, Column::Flags, &flags))) return E_FAIL;
            if (!Identifies(flags)) continue;
            const bool expression = flags & kExpressionFlag;
            kcom::CComVariant name = mine.Cell(r, Column::Name);
            const LONG o = theirs.Find(name);

            kcom::CComVariant otherValue;
            long otherCompareType = 0;
            if (o < 0) {
                if (expression) return S_OK;
                // A property the other description lacks: the other object's run-time value decides.
                kcom::CComPtr<DispTestObject> script;
                if (FAILED(tables.source.QueryInterface(script.Put())) || !script) return E_FAIL;
                if (name.vt != VT_BSTR || FAILED(script->QueryValue(name.bstrVal, nullptr, otherValue.Put())))
                    return S_OK;
            } else {
                ++found;
                const long otherFlags = theirs.NumberOrFail(o, Column::Flags);
                if (bool(otherFlags & kExpressionFlag) != expression) return S_OK;
                otherCompareType = theirs.NumberOrFail(o, Column::CompareType);
            }
            const long compareType = mine.NumberOrFail(r, Column::CompareType);
            const bool pattern = compareType & CMP_REGEXP;
            if (o >= 0) {
                if ((otherCompareType & CMP_REGEXP) && !pattern) return S_OK;
                if ((otherCompareType & CMP_CONTAINS) && !(compareType & CMP_CONTAINS)) return S_OK;
                otherValue = theirs.Cell(o, Column::Value);
                long otherType = 0;
                if (!pattern && !expression && SUCCEEDED(theirs.Number(o, Column::Type, &otherType)))
                    ConvertQuietly(otherValue, otherType);
            }
            kcom::CComVariant value = mine.Cell(r, Column::Value);
            if (!pattern && !expression) {
                long type = 0;
                mine.Number(r, Column::Type, &type);
                ConvertQuietly(value, type != 0 ? type : otherValue.vt);
            }

            VARIANT_BOOL matched = VARIANT_FALSE;
            const bool bothPatterns = pattern && (otherCompareType & CMP_REGEXP);
            const bool asText = !expression && !bothPatterns &&
                                (pattern ? !IsNullText(value) && !IsNullText(otherValue)
                                         : value.vt == VT_BSTR && otherValue.vt == VT_BSTR && value.bstrVal &&
                                               otherValue.bstrVal);
            if (asText) {
                hr = MatchAsText(value, otherValue, compareType, &matched);
                if (FAILED(hr)) return hr;
            } else {
                matched = CompareVariantValues(value, otherValue) ? VARIANT_TRUE : VARIANT_FALSE;
            }
            if (!matched) return S_OK;
        }
        ULONG counted = 0;
        for (ULONG o = 0; o < theirs.Count(); ++o)
            if (Identifies(theirs.NumberOrFail(o, Column::Flags))) ++counted;
        *result = counted <= found ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

// ---- CompareTo ---------------------------------------------------------------------------------

HRESULT CComTestObject::ITestObject5_CompareTo(ITestObject* other, ULONG* relation) {
    if (!other || !relation) return E_POINTER;
    kcom::CComPtr<ITestObject> otherObject;
    if (FAILED(kcom::QueryTo(other, otherObject.Put())) || !otherObject) return E_NOINTERFACE;
    if (kcom::CComPtr<ITestObject5> outer = Outer<ITestObject5>()) return outer->CompareTo(other, relation);
    *relation = kContradict;
    return TestObjectGuard([&] {
        Descriptions tables;
        HRESULT hr = ReadDescriptions(*this, otherObject, false, tables);
        if (FAILED(hr)) return hr;
        Rows mine(tables.own), theirs(tables.other);

        auto counted = [](long flags) { return Identifies(flags) && (flags & kComparedFlag); };
        auto countedName = [](Rows& rows, ULONG row) {
            kcom::CComVariant name = rows.Cell(row, Column::Name);
            if (name.vt != VT_BSTR) kcom::Throw(E_FAIL);
            return name;
        };
        // Decides one pair of rows; false ends the comparison as contradicting.
        ULONG side = 0;
        auto same = [&](ULONG r, ULONG o) {
            VARIANT_BOOL equal = VARIANT_FALSE;
            kcom::ThrowIfFailed(CompareDescriptionValue(
                mine.Cell(r, Column::Value), theirs.Cell(o, Column::Value), mine.NumberOrFail(r, Column::Flags),
                theirs.NumberOrFail(o, Column::Flags), mine.NumberOrFail(r, Column::CompareType),
                theirs.NumberOrFail(o, Column::CompareType), mine.NumberOrFail(r, Column::Type),
                theirs.NumberOrFail(o, Column::Type), &side, &equal));
            return equal != VARIANT_FALSE;
        };

        ULONG ownCount = 0;
        for (ULONG r = 0; r < mine.Count(); ++r) {
            const long flags = mine.NumberOrFail(r, Column::Flags);
            if (!counted(flags)) continue;
            kcom::CComVariant name = countedName(mine, r);
            ++ownCount;
            const LONG o = theirs.Find(name);
            if (o >= 0 && Identifies(theirs.NumberOrFail(o, Column::Flags))) {
                // Consumed: the second pass passes it by.
                kcom::CComVariant consumed(L"");
                kcom::ThrowIfFailed(theirs.table().PutElement(&consumed, o, Column::Name));
                if (!same(r, o)) return S_OK;
                continue;
            }
            if ((flags & kLastResortFlag) || side == kOwnMoreGeneral) return S_OK;
            side = kOtherMoreGeneral;
        }

        ULONG otherCount = 0;
        bool unconsumed = false;
        for (ULONG o = 0; o < theirs.Count(); ++o) {
            const long flags = theirs.NumberOrFail(o, Column::Flags);
            if (!counted(flags)) continue;
            kcom::CComVariant name = countedName(theirs, o);
            ++otherCount;
            if (::SysStringLen(name.bstrVal) == 0) continue;
            unconsumed = true;
            const LONG r = mine.Find(name);
            if (r >= 0 && !(mine.NumberOrFail(r, Column::Flags) & kIgnoredFlags)) {
                if (!same(r, o)) return S_OK;
                continue;
            }
            if ((flags & kLastResortFlag) || side == kOtherMoreGeneral) return S_OK;
            side = kOwnMoreGeneral;
        }

        if (unconsumed)
            *relation = side != 0                ? side
                        : otherCount > ownCount ? kOwnMoreGeneral
                        : otherCount < ownCount ? kOtherMoreGeneral
                                                : kSameBySecondPass;
        else
            *relation = ownCount == 0                        ? kNoCountedProperty
                        : (ownCount > otherCount && side == 0) ? kOtherMoreGeneral
                                                               : side;
        return S_OK;
    });
}

// ---- Pool of candidates --------------------------------------------------------------------------

HRESULT CComTestObject::ITestObject4_GetPoolProps(SAFEARRAY** list, long mode) {
    if (!list) return E_INVALIDARG;
    *list = nullptr;
    kcom::CComPtr<IObjectRack> rack = Rack();
    if (!rack) return E_FAIL;
    kcom::CComBSTR className;
    HRESULT hr = GetTestObjectClass(className.Put());
    if (FAILED(hr)) return hr;
    if (className.Length() == 0) return E_FAIL;
    return ReadClassSettingList(rack, className, list, static_cast<DWORD>(mode));
}
