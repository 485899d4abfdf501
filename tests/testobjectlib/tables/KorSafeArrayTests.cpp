// Tables against Wine's oleaut32: layout, cell access, growth, copies and row searches.
#include <gtest/gtest.h>
#include <stdexcept>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"

using kcom::CComBSTR;
using kcom::CComVariant;

namespace {

// Keys in column 0, the row number in column 1.
CKorSafeArray KeyTable(std::initializer_list<const wchar_t*> keys) {
    CKorSafeArray t(static_cast<ULONG>(keys.size()), 2, VT_VARIANT);
    LONG row = 0;
    for (const wchar_t* k : keys) {
        CComVariant key(k), number(row);
        t.PutElement(&key, row, 0);
        t.PutElement(&number, row++, 1);
    }
    return t;
}

std::wstring TextAt(const CKorSafeArray& t, LONG row, LONG col) {
    CComVariant v;
    if (FAILED(t.GetElement(&v, row, col)) || v.vt != VT_BSTR) return L"<none>";
    return v.bstrVal ? v.bstrVal : L"";
}

VARTYPE VartypeOf(SAFEARRAY* a) {
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(S_OK, ::SafeArrayGetVartype(a, &vt));
    return vt;
}

}  // namespace

TEST(KorSafeArray, LayoutAndFeatures) {
    CKorSafeArray t = KeyTable({L"a", L"b", L"c"});
    EXPECT_EQ(3u, t.GetRowCount());
    EXPECT_EQ(2u, t.GetColumnCount());
    LONG ub = -1;
    EXPECT_EQ(S_OK, ::SafeArrayGetUBound(t.psa, 1, &ub));
    EXPECT_EQ(1, ub);
    EXPECT_EQ(S_OK, ::SafeArrayGetUBound(t.psa, 2, &ub));
    EXPECT_EQ(2, ub);
    EXPECT_EQ(VT_VARIANT, VartypeOf(t.psa));
    EXPECT_EQ(0x880, t.psa->fFeatures);
    // The cells of one row lie next to each other.
    VARIANT* cells = nullptr;
    ASSERT_EQ(S_OK, ::SafeArrayAccessData(t.psa, reinterpret_cast<void**>(&cells)));
    EXPECT_STREQ(L"b", cells[2].bstrVal);
    EXPECT_EQ(1, cells[3].lVal);
    ::SafeArrayUnaccessData(t.psa);

    struct Case { VARTYPE vt; USHORT features; };
    for (Case c : {Case{VT_BSTR, 0x180}, Case{VT_DISPATCH, 0x480}, Case{VT_UNKNOWN, 0x280}, Case{VT_I4, 0x80}}) {
        CKorPtrSafeArray p(1, 1, c.vt);
        EXPECT_EQ(c.features, p.psa->fFeatures);
        EXPECT_EQ(4u, p.psa->cbElements);
        EXPECT_EQ(c.vt, VartypeOf(p.psa));
    }
    CKorSafeArray sized(1, 4, VT_I4);  // VARIANT cells in an array that records VT_I4
    EXPECT_EQ(16u, sized.psa->cbElements);
    EXPECT_EQ(VT_I4, VartypeOf(sized.psa));
    sized.Create(2, 3, CKorSafeArray::Features{0x880});
    EXPECT_EQ(VT_VARIANT, VartypeOf(sized.psa));
    EXPECT_EQ(2u, sized.GetRowCount());
}

TEST(KorSafeArray, CreateRaisesWhenTheArrayCannotBeAllocated) {
    CKorSafeArray t(1, 1, VT_VARIANT);
    EXPECT_THROW(t.Create(0x00C00000, 16, VT_VARIANT), std::runtime_error);  // 3 GB
    EXPECT_EQ(nullptr, t.psa);
    EXPECT_THROW(t.Create(0x10000000, 0x100, VT_VARIANT), std::runtime_error);  // beyond 32 bits
    EXPECT_EQ(0u, t.GetRowCount());
    EXPECT_EQ(1u, t.GetColumnCount());
}

TEST(KorSafeArray, GetElementChecksItsCellAndLocksOnlyWhenUnlocked) {
    CComVariant v;
    EXPECT_EQ(E_UNEXPECTED, CKorSafeArray().GetElement(&v, 0, 0));
    CKorSafeArray t = KeyTable({L"x", L"y", L"z"});
    EXPECT_EQ(E_INVALIDARG, t.GetElement(&v, 3, 0));
    EXPECT_EQ(E_INVALIDARG, t.GetElement(&v, -1, 0));
    EXPECT_EQ(E_INVALIDARG, t.GetElement(&v, 0, 2));
    EXPECT_EQ(E_POINTER, t.GetElement(nullptr, 0, 0));
    EXPECT_EQ(L"z", TextAt(t, 2, 0));
    EXPECT_EQ(0u, t.psa->cLocks);
    ASSERT_EQ(S_OK, t.Lock());
    EXPECT_EQ(L"y", TextAt(t, 1, 0));
    EXPECT_EQ(1u, t.psa->cLocks);
    t.Unlock();
}

TEST(KorSafeArray, PutElementStoresItsOwnCopyOrReference) {
    CComBSTR mine(L"mine");
    BSTR raw = mine;
    {
        CKorPtrSafeArray texts(1, 2, VT_BSTR);
        EXPECT_EQ(S_OK, texts.PutElement(&raw, 0, 1));
        CComBSTR stored;
        ASSERT_EQ(S_OK, texts.GetElement(stored.Put(), 0, 1));
        EXPECT_STREQ(L"mine", stored.c_str());
        EXPECT_NE(raw, static_cast<BSTR>(stored));
        EXPECT_EQ(E_POINTER, texts.PutElement(nullptr, 0, 0));
        EXPECT_EQ(E_INVALIDARG, texts.PutElement(&raw, 1, 0));
    }
    EXPECT_STREQ(L"mine", mine.c_str());
    EXPECT_EQ(E_UNEXPECTED, CKorPtrSafeArray().PutElement(&raw, 0, 0));

    // SafeArrayCreate marks interface arrays with FADF_HAVEIID; they take interfaces all the same.
    SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
    CKorPtrSafeArray unknowns;
    unknowns.Attach(::SafeArrayCreate(VT_UNKNOWN, 2, bounds), true);
    kcom::CComPtr<IStream> stream;
    ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()));
    IUnknown* unk = stream;
    EXPECT_EQ(S_OK, unknowns.PutElement(&unk, 0, 0));
    stream->AddRef();
    EXPECT_EQ(2u, stream->Release());  // ours and the array's

    // Cells of two kinds at once cannot be written.
    CKorPtrSafeArray odd(1, 1, VT_BSTR);
    odd.psa->fFeatures |= FADF_UNKNOWN;
    EXPECT_EQ(E_FAIL, odd.PutElement(&raw, 0, 0));
    odd.psa->fFeatures &= ~FADF_UNKNOWN;
}

TEST(KorSafeArray, RedimKeepsRowsAndEmptiesNewOnes) {
    EXPECT_EQ(E_POINTER, CKorSafeArray().Redim(2));
    CKorSafeArray t = KeyTable({L"a", L"b"});
    EXPECT_EQ(S_OK, t.Redim(2));
    EXPECT_EQ(S_OK, t.Redim(4));
    EXPECT_EQ(4u, t.GetRowCount());
    EXPECT_EQ(2u, t.GetColumnCount());
    EXPECT_EQ(L"b", TextAt(t, 1, 0));
    CComVariant v;
    EXPECT_EQ(S_OK, t.GetElement(&v, 3, 1));
    EXPECT_EQ(VT_EMPTY, v.vt);
    EXPECT_EQ(S_OK, t.Redim(1));
    EXPECT_EQ(E_INVALIDARG, t.GetElement(&v, 1, 0));

    CKorSafeArray empty(0, 3, VT_VARIANT);
    EXPECT_EQ(S_OK, empty.Redim(2));
    EXPECT_EQ(2u, empty.GetRowCount());
}

TEST(KorSafeArray, CopiesAttachAndDestroy) {
    CKorSafeArray t = KeyTable({L"a", L"b"});
    CKorSafeArray copy;
    copy = t;
    EXPECT_NE(t.psa, copy.psa);
    EXPECT_EQ(L"b", TextAt(copy, 1, 0));
    CKorSafeArray& same = t;
    t = same;  // copies before letting its own array go
    t.CopyFrom(t.psa);
    EXPECT_EQ(L"b", TextAt(t, 1, 0));

    // An array that is not ours is let go, not destroyed, and the copy is ours.
    CKorSafeArray view;
    view.Attach(copy.psa, false);
    view.CopyFrom(copy.psa);
    EXPECT_TRUE(view.owned);
    EXPECT_EQ(L"a", TextAt(copy, 0, 0));
    view.CopyFrom(nullptr);
    EXPECT_EQ(nullptr, view.psa);

    SAFEARRAY* a = copy.Detach();
    EXPECT_EQ(nullptr, copy.psa);
    CKorSafeArray owner;
    owner.Attach(a, true);
    owner.Lock();
    owner.Lock();
    owner.Destroy();  // unlocks first
    EXPECT_EQ(nullptr, owner.psa);
}

TEST(KorSafeArray, OneDimensionalArraysAreOneColumn) {
    CKorSafeArray t;
    t.Attach(::SafeArrayCreateVector(VT_VARIANT, 0, 3), true);
    for (LONG i = 0; i < 3; ++i) {
        CComVariant v(i * 10);
        ASSERT_EQ(S_OK, t.PutElement(&v, i, 0));
    }
    EXPECT_EQ(3u, t.GetRowCount());
    EXPECT_EQ(1u, t.GetColumnCount());
    CComVariant v;
    ASSERT_EQ(S_OK, t.GetElement(&v, 2, 0));
    EXPECT_EQ(20, v.lVal);
    EXPECT_EQ(1, t.FindRow(CComVariant(10), 0));
}

TEST(KorSafeArray, FindRowIsExactAndFindRowNoCaseFoldsAsciiOnly) {
    CKorSafeArray t = KeyTable({L"Name", L"abc", L"\u00C9t\u00E9"});
    EXPECT_EQ(-1, t.FindRow(CComVariant(L"ABC"), 0));
    EXPECT_EQ(1, t.FindRow(CComVariant(L"abc"), 0));
    EXPECT_EQ(1, t.FindRowNoCase(CComVariant(L"ABC"), 0));
    EXPECT_EQ(0, t.FindRowNoCase(CComVariant(L"nAME"), 0));
    EXPECT_EQ(-1, t.FindRowNoCase(CComVariant(L"\u00E9t\u00E9"), 0));
    EXPECT_EQ(2, t.FindRow(CComVariant(2), 1));
    EXPECT_EQ(-1, t.FindRow(CComVariant(2L, VT_I2), 1));  // another VARTYPE
    EXPECT_EQ(-1, t.FindRow(CComVariant(L"abc"), 5));
    EXPECT_EQ(-1, CKorSafeArray().FindRow(CComVariant(1), 0));
    VARIANT null;
    ::VariantInit(&null);
    null.vt = VT_NULL;
    t.PutElement(&null, 2, 1);
    EXPECT_EQ(2, t.FindRow(null, 1));
    EXPECT_EQ(0u, t.psa->cLocks);
}

TEST(KorSafeArray, AppendUniqueTakesEachKeyOnceIgnoringCase) {
    CKorSafeArray source = KeyTable({L"a", L"b", L"A"});
    CKorSafeArray t;
    EXPECT_EQ(S_OK, t.AppendUnique(source.psa, 0));
    ASSERT_EQ(2u, t.GetRowCount());
    EXPECT_EQ(L"a", TextAt(t, 0, 0));
    EXPECT_EQ(L"b", TextAt(t, 1, 0));
    EXPECT_EQ(3u, source.GetRowCount());

    CKorSafeArray more = KeyTable({L"B", L"c"});
    EXPECT_EQ(S_OK, t.AppendUnique(more.psa, 0));
    ASSERT_EQ(3u, t.GetRowCount());
    EXPECT_EQ(L"c", TextAt(t, 2, 0));
    EXPECT_EQ(S_OK, t.AppendUnique(t.psa, 0));  // its own rows are all present
    EXPECT_EQ(3u, t.GetRowCount());
    EXPECT_EQ(S_OK, t.AppendUnique(nullptr, 0));

    // A VT_EMPTY key finds one of the rows not yet filled.
    CKorSafeArray holey(2, 1, VT_VARIANT);
    CComVariant k(L"k");
    holey.PutElement(&k, 1, 0);
    CKorSafeArray fresh;
    EXPECT_EQ(S_OK, fresh.AppendUnique(holey.psa, 0));
    ASSERT_EQ(1u, fresh.GetRowCount());
    EXPECT_EQ(L"k", TextAt(fresh, 0, 0));
}

TEST(KorSafeArray, AppendUniqueRefusesTablesThatDoNotFit) {
    CKorSafeArray t = KeyTable({L"a"});
    CKorSafeArray wide(1, 3, VT_VARIANT);
    EXPECT_EQ(E_INVALIDARG, t.AppendUnique(wide.psa, 0));
    EXPECT_EQ(1u, t.GetRowCount());
    EXPECT_EQ(2u, t.GetColumnCount());
    CKorSafeArray vector;
    vector.Attach(::SafeArrayCreateVector(VT_VARIANT, 0, 2), true);
    EXPECT_EQ(E_INVALIDARG, t.AppendUnique(vector.psa, 0));

    // Cells that are not VARIANTs are never read into VARIANTs.
    CKorPtrSafeArray texts(2, 1, VT_BSTR);
    CComBSTR s(L"x");
    BSTR raw = s;
    texts.PutElement(&raw, 0, 0);
    CKorSafeArray empty;
    EXPECT_EQ(E_INVALIDARG, empty.AppendUnique(texts.psa, 0));
    EXPECT_EQ(nullptr, empty.psa);
    EXPECT_EQ(E_INVALIDARG, empty.AppendUnique(t.psa, 7));
}
