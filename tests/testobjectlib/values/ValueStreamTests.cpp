// The property value form and the flat VARIANT pack, byte for byte, against real oleaut32/ole32.
#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include "com/ComBSTR.h"
#include "com/ComSafeArray.h"
#include "com/Handles.h"
#include "com/ComVariant.h"
#include "values/FlatVariant.h"
#include "values/StreamTestSupport.h"
#include "values/ValueStream.h"
#include "contracts/Drevak.h"
#include <algorithm>

using kcom::CCoTaskMem;
using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

Bytes Saved(const VARIANT& v, HRESULT expect = S_OK) {
    CComPtr<IStream> s = NewStream();
    EXPECT_EQ(SaveVariantValue(v, s), expect);
    return BytesOf(s);
}

CComVariant Loaded(const Bytes& data, HRESULT expect = S_OK, bool older = false) {
    CComVariant v;
    CComPtr<IStream> s = StreamOf(data);
    EXPECT_EQ(LoadVariantValue(&v, s, older), expect);
    if (expect == S_OK) {
        EXPECT_EQ(PositionOf(s), data.size()) << "the whole value is read";
    }
    return v;
}

Bytes Packed(const VARIANT& v, HRESULT expect = S_OK) {
    CCoTaskMem<BYTE> buffer;
    ULONG size = 0;
    EXPECT_EQ(PackVariantFlat(v, buffer.Put(), &size), expect);
    Bytes out(buffer.get(), buffer.get() + size);
    ULONG computed = 0;
    EXPECT_EQ(FlatVariantSize(v, &computed), expect == S_OK ? S_OK : E_INVALIDARG);
    EXPECT_EQ(computed, size);
    return out;
}

HRESULT Unpacked(const Bytes& data, VARIANT* out, ULONG* consumed = nullptr) {
    ULONG used = 0;
    HRESULT hr = UnpackVariantFlat(out, data.empty() ? reinterpret_cast<const BYTE*>("") : data.data(),
                                   static_cast<ULONG>(data.size()), &used);
    if (consumed) *consumed = used;
    return hr;
}

CComVariant Scalar(VARTYPE vt, ULONGLONG bits) {
    CComVariant v;
    V_VT(&v) = vt;
    std::memcpy(reinterpret_cast<BYTE*>(&v) + 8, &bits, 8);
    return v;
}

// A VT_BYREF VARIANT pointing at target; it owns nothing.
VARIANT ByRef(VARTYPE vt, void* target) {
    VARIANT v;
    ::VariantInit(&v);
    V_VT(&v) = VT_BYREF | vt;
    v.byref = target;
    return v;
}

CComVariant ArrayValue(SAFEARRAY* psa, VARTYPE cell) {
    CComVariant v;
    V_VT(&v) = VT_ARRAY | cell;
    V_ARRAY(&v) = psa;
    return v;
}


}  // namespace

TEST(ValueForm, ScalarsAreWrittenRawAfterTheTypeWord) {
    struct Case { VARTYPE vt; int bytes; };
    const Case cases[] = {{VT_I1, 1}, {VT_UI1, 1}, {VT_I2, 2}, {VT_BOOL, 2}, {VT_UI2, 2}, {VT_I4, 4},
                          {VT_R4, 4}, {VT_ERROR, 4}, {VT_UI4, 4}, {VT_INT, 4}, {VT_UINT, 4}, {VT_R8, 8},
                          {VT_CY, 8}, {VT_DATE, 8}, {VT_I8, 8}, {VT_UI8, 8}};
    const ULONGLONG bits = 0x0807060504030201ull;
    for (const Case& c : cases) {
        CComVariant v = Scalar(c.vt, bits);
        ByteWriter expect;
        expect.u16(c.vt).raw(&bits, c.bytes);
        EXPECT_EQ(Saved(v), expect.b) << "vt " << c.vt;
        CComVariant back = Loaded(expect.b);
        EXPECT_EQ(V_VT(&back), c.vt);
        EXPECT_EQ(std::memcmp(reinterpret_cast<BYTE*>(&back) + 8, &bits, c.bytes), 0) << "vt " << c.vt;
    }
}

TEST(ValueForm, EdgeValuesByteForByte) {
    EXPECT_EQ(Saved(CComVariant(5)), (Bytes{0x03, 0, 0x05, 0, 0, 0}));
    EXPECT_EQ(Saved(CComVariant(L"ab")), (Bytes{0x08, 0, 0x06, 0, 0, 0, 0x61, 0, 0x62, 0, 0, 0}));
    CComVariant nullText = Scalar(VT_BSTR, 0);
    EXPECT_EQ(Saved(nullText), (Bytes{0x08, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Saved(CComVariant()), (Bytes{0, 0, 0x02, 0, 0, 0, 0, 0}));
    CComVariant null = Scalar(VT_NULL, 0);
    EXPECT_EQ(Saved(null), (Bytes{0x01, 0}));

    EXPECT_EQ(Loaded({0, 0, 0x02, 0, 0, 0, 0, 0}).vt, VT_EMPTY);
    EXPECT_EQ(Loaded({0x01, 0}).vt, VT_NULL);
    CComVariant text = Loaded({0x08, 0, 0x06, 0, 0, 0, 0x61, 0, 0x62, 0, 0, 0});
    ASSERT_EQ(V_VT(&text), VT_BSTR);
    EXPECT_STREQ(text.bstrVal, L"ab");
    CComVariant none = Loaded({0x08, 0, 0, 0, 0, 0});
    ASSERT_EQ(V_VT(&none), VT_BSTR);
    EXPECT_EQ(none.bstrVal, nullptr);
}

TEST(ValueForm, OtherTypesTravelAsTextAndChangeBack) {
    DECIMAL dec{};
    ::VarDecFromI4(1234, &dec);
    dec.scale = 2;  // 12.34
    CComVariant v;
    v.decVal = dec;
    V_VT(&v) = VT_DECIMAL;
    Bytes data = Saved(v);
    ASSERT_GE(data.size(), 6u);
    EXPECT_EQ(data[0], VT_DECIMAL);
    CComVariant back = Loaded(data);
    ASSERT_EQ(V_VT(&back), VT_DECIMAL);
    EXPECT_EQ(::VarDecCmp(&back.decVal, &dec), VARCMP_EQ);

    // A stored type word the text cannot change back to gives the conversion's error.
    ByteWriter bad;
    bad.u16(VT_BYREF | VT_I4).text(L"5");
    CComVariant dummy;
    CComPtr<IStream> s = StreamOf(bad.b);
    EXPECT_TRUE(FAILED(LoadVariantValue(&dummy, s)));
    EXPECT_EQ(V_VT(&dummy), VT_EMPTY);
}

TEST(ValueForm, ReferencedValuesAreStoredAsTheValue) {
    LONG number = 5;
    VARIANT byref = ByRef(VT_I4, &number);
    EXPECT_EQ(Saved(byref), (Bytes{0x03, 0, 0x05, 0, 0, 0}));
    CComVariant inner(L"in");
    byref = ByRef(VT_VARIANT, &inner);
    EXPECT_EQ(Saved(byref), Saved(inner));
}

TEST(ValueForm, ObjectsPersistThroughOle) {
    TestPersistRegistration registration;
    CComPtr<IPersistStream> object;
    ASSERT_EQ(::CoCreateInstance(CLSID_TestPersistObject, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistStream,
                                 reinterpret_cast<void**>(object.Put())), S_OK);
    static_cast<CTestPersistObject*>(object.get())->value = 0x11223344;
    CComVariant v(static_cast<IUnknown*>(object.get()));
    Bytes data = Saved(v);
    ByteWriter expect;
    expect.u16(VT_UNKNOWN).raw(&CLSID_TestPersistObject, 16).u32(0x11223344);
    EXPECT_EQ(data, expect.b);
    CComVariant back = Loaded(data);
    ASSERT_EQ(V_VT(&back), VT_UNKNOWN);
    CComPtr<IPersistStream> loaded;
    ASSERT_EQ(back.punkVal->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(loaded.Put())), S_OK);
    EXPECT_EQ(static_cast<CTestPersistObject*>(loaded.get())->value, 0x11223344u);

    // A null object is CLSID_NULL; it loads as a null object with S_OK.
    CComVariant nullObject = Scalar(VT_DISPATCH, 0);
    Bytes nullData = Saved(nullObject);
    EXPECT_EQ(nullData, ByteWriter().u16(VT_DISPATCH).raw(&CLSID_NULL, 16).b);
    CComVariant nullBack = Loaded(nullData);
    EXPECT_EQ(V_VT(&nullBack), VT_DISPATCH);
    EXPECT_EQ(nullBack.pdispVal, nullptr);

    // Unregistered class: the current form loads anyway, the older form accepts exactly that.
    CLSID unknown = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
    Bytes stray = ByteWriter().u16(VT_UNKNOWN).raw(&unknown, 16).b;
    EXPECT_EQ(Loaded(stray, S_OK).vt, VT_UNKNOWN);
    CComVariant strayOld;
    CComPtr<IStream> s = StreamOf(stray);
    EXPECT_EQ(LoadVariantValue(&strayOld, s, true), S_OK);

    // An object without a persistence interface cannot be saved: the QueryInterface error.
    CComPtr<IStream> plain = NewStream();
    CComVariant stream(static_cast<IUnknown*>(plain.get()));
    CComPtr<IStream> out = NewStream();
    EXPECT_EQ(SaveVariantValue(stream, out), E_NOINTERFACE);
}

TEST(ValueForm, ArraysCarryTheirFlatPack) {
    CComVariant v = VariantColumn({CComVariant(7), CComVariant(L"x")});
    const Bytes pack = {0x0C, 0x20, 0x0C, 0x00, 0x02, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0,
                        0x80, 0x08, 0x03, 0x00, 0x07, 0, 0, 0, 0x08, 0x00, 0x02, 0, 0, 0, 0x78, 0x00};
    EXPECT_EQ(Packed(v), pack);
    Bytes data = Saved(v);
    EXPECT_EQ(data, ByteWriter().u16(0x200C).u32(static_cast<ULONG>(pack.size())).append(pack).b);
    CComVariant back = Loaded(data);
    ASSERT_EQ(V_VT(&back), VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(Packed(back), pack) << "unpacked array packs again to the same bytes";

    // An object inside an array makes the whole value unsavable; nothing follows the type word.
    CComPtr<IStream> object = NewStream();
    CComVariant bad = VariantColumn({CComVariant(static_cast<IUnknown*>(object.get()))});
    EXPECT_EQ(Saved(bad, E_INVALIDARG), (Bytes{0x0C, 0x20}));
}

TEST(ValueForm, ArrayBlobLengthIsCheckedAgainstTheStream) {
    // A length read from a marker ("@@FF") must fail at once, not allocate a gigabyte.
    Bytes data = ByteWriter().u16(0x200C).raw({'@', '@', 'F', 'F', 'F', 'F', '@', '@', 0}).b;
    EXPECT_EQ(Loaded(data, E_FAIL).vt, VT_EMPTY);
    // The blob must be consumed exactly.
    Bytes pack = Packed(I4Column({1, 2}));
    Bytes longer = ByteWriter().u16(0x2003).u32(static_cast<ULONG>(pack.size() + 1)).append(pack).u8(0).b;
    Loaded(longer, E_FAIL);
    Bytes zero = ByteWriter().u16(0x2003).u32(0).b;
    Loaded(zero, E_FAIL);
    // The older form has no blob: an array type word is a text that cannot change back.
    Bytes older = ByteWriter().u16(0x2003).text(L"1").b;
    CComVariant v;
    CComPtr<IStream> s = StreamOf(older);
    EXPECT_TRUE(FAILED(LoadVariantValue(&v, s, true)));
}

TEST(ValueForm, StreamsThatCannotTellTheirSize) {
    Bytes text = ByteWriter().u16(VT_BSTR).text(L"fine").b;
    CComPtr<IStream> good;
    good.Attach(new CNoStatStream(StreamOf(text)));
    CComVariant v;
    ASSERT_EQ(LoadVariantValue(&v, good), S_OK);
    EXPECT_STREQ(v.bstrVal, L"fine");
    // A huge stored length is met by reading what is there, never by allocating it.
    Bytes bogus = ByteWriter().u16(VT_BSTR).raw({'@', '@', 'F', 'F', 'x', 0}).b;
    CComPtr<IStream> bad;
    bad.Attach(new CNoStatStream(StreamOf(bogus)));
    EXPECT_EQ(LoadVariantValue(&v, bad), E_FAIL);
    Bytes array = ByteWriter().u16(0x2003).raw({'@', '@', 'F', 'F', 'x', 0}).b;
    bad.Attach(new CNoStatStream(StreamOf(array)));
    EXPECT_EQ(LoadVariantValue(&v, bad), E_FAIL);
}

TEST(ValueForm, ShortStreamsFail) {
    Loaded({}, E_FAIL);
    Loaded({0x03}, E_FAIL);
    Loaded({0x03, 0, 1, 2}, E_FAIL);
    Loaded({0x08, 0, 0x06, 0, 0, 0, 0x61, 0}, E_FAIL);
    Loaded({0x08, 0, 0x03, 0, 0, 0, 0x61, 0, 0}, E_FAIL);  // odd byte count
    EXPECT_EQ(SaveVariantValue(CComVariant(1), nullptr), E_POINTER);
    EXPECT_EQ(WriteVariantToStream(CComVariant(1), nullptr), E_INVALIDARG);
    EXPECT_EQ(WritePackedArrayValue(CComVariant(1), nullptr), E_POINTER);
    CComVariant v;
    EXPECT_EQ(ReadPackedArrayValue(&v, nullptr), E_POINTER);
}

TEST(FlatPack, ScalarsTextsAndDecimal) {
    EXPECT_EQ(Packed(CComVariant()), (Bytes{0, 0}));
    CComVariant null = Scalar(VT_NULL, 0);
    EXPECT_EQ(Packed(null), (Bytes{1, 0}));
    EXPECT_EQ(Packed(CComVariant(5)), (Bytes{3, 0, 5, 0, 0, 0}));
    EXPECT_EQ(Packed(Scalar(VT_UI1, 0xAB)), (Bytes{0x11, 0, 0xAB}));
    EXPECT_EQ(Packed(CComVariant(true)), (Bytes{0x0B, 0, 0xFF, 0xFF}));
    EXPECT_EQ(Packed(CComVariant(L"ab")), (Bytes{8, 0, 4, 0, 0, 0, 0x61, 0, 0x62, 0}));
    CComVariant nullText = Scalar(VT_BSTR, 0);
    EXPECT_EQ(Packed(nullText), (Bytes{8, 0, 0, 0, 0, 0}));

    // BYREF text keeps its type word and unpacks as a plain text.
    CComBSTR held(L"q");
    VARIANT byref;
    ::VariantInit(&byref);
    V_VT(&byref) = VT_BYREF | VT_BSTR;
    BSTR raw = held;
    byref.pbstrVal = &raw;
    Bytes pack = Packed(byref);
    EXPECT_EQ(pack, (Bytes{0x08, 0x40, 2, 0, 0, 0, 0x71, 0}));
    CComVariant back;
    ASSERT_EQ(Unpacked(pack, &back), S_OK);
    ASSERT_EQ(V_VT(&back), VT_BSTR);
    EXPECT_STREQ(back.bstrVal, L"q");

    // DECIMAL: the 16 bytes overlay the VARIANT, so the type word appears twice.
    CComVariant dec;
    ::VarDecFromI4(-77, &dec.decVal);
    V_VT(&dec) = VT_DECIMAL;
    Bytes decPack = Packed(dec);
    ASSERT_EQ(decPack.size(), 18u);
    EXPECT_EQ(decPack[2], 0x0E);
    EXPECT_EQ(decPack[3], 0x00);
    CComVariant decBack;
    ASSERT_EQ(Unpacked(decPack, &decBack), S_OK);
    ASSERT_EQ(V_VT(&decBack), VT_DECIMAL);
    EXPECT_EQ(::VarDecCmp(&decBack.decVal, &dec.decVal), VARCMP_EQ);
    // Crafted overlay bytes cannot smuggle another type in.
    decPack[2] = VT_BSTR;
    CComVariant forced;
    ASSERT_EQ(Unpacked(decPack, &forced), S_OK);
    EXPECT_EQ(V_VT(&forced), VT_DECIMAL);
}

TEST(FlatPack, UnsupportedValuesPackAsMark) {
    CComPtr<IStream> object = NewStream();
    const Bytes mark = {0xFF, 0xFF};
    EXPECT_EQ(Packed(CComVariant(static_cast<IUnknown*>(object.get())), E_INVALIDARG), mark);
    EXPECT_EQ(Packed(Scalar(VT_I8, 1), E_INVALIDARG), mark);
    EXPECT_EQ(Packed(Scalar(VT_UI8, 1), E_INVALIDARG), mark);
    EXPECT_EQ(Packed(Scalar(VT_VARIANT, 0), E_INVALIDARG), mark);
    EXPECT_EQ(Packed(Scalar(24, 0), E_INVALIDARG), mark);
    LONG number = 3;
    VARIANT byref = ByRef(VT_I4, &number);
    EXPECT_EQ(Packed(byref, E_INVALIDARG), mark);
    VARIANT nullArray;
    ::VariantInit(&nullArray);
    V_VT(&nullArray) = VT_ARRAY | VT_I4;
    EXPECT_EQ(Packed(nullArray, E_INVALIDARG), mark);
    ULONG size = 9;
    EXPECT_EQ(FlatArraySize(nullptr, &size), E_INVALIDARG);

    BYTE* buffer = reinterpret_cast<BYTE*>(1);
    EXPECT_EQ(PackVariantFlat(CComVariant(1), nullptr, &size), E_POINTER);
    EXPECT_EQ(PackVariantFlat(CComVariant(1), &buffer, nullptr), E_POINTER);
    EXPECT_EQ(buffer, nullptr);

    CComVariant out(5);
    EXPECT_EQ(Unpacked(mark, &out), E_FAIL);
    EXPECT_EQ(V_VT(&out), VT_EMPTY);
    EXPECT_EQ(Unpacked({0x03, 0x40, 0, 0, 0, 0}, &out), E_FAIL) << "BYREF with a number";
    EXPECT_EQ(Unpacked({0x09, 0x00}, &out), E_FAIL) << "object";
    EXPECT_EQ(Unpacked({0x0C, 0x00}, &out), E_FAIL) << "lone VARIANT";
}

TEST(FlatPack, ArraysOfEveryElementKind) {
    SAFEARRAYBOUND b[2] = {{3, -1}, {2, 5}};  // dimension 1: 3 from -1; dimension 2: 2 from 5
    SAFEARRAY* psa = ::SafeArrayCreate(VT_I2, 2, b);
    {
        kcom::CSafeArrayDataLock data(psa);
        for (int i = 0; i < 6; ++i) data.get<SHORT>()[i] = static_cast<SHORT>(0x100 + i);
    }
    CComVariant shorts = ArrayValue(psa, VT_I2);
    ByteWriter expect;
    expect.u16(0x2002).u16(VT_I2).u32(2).u32(3).u32(static_cast<ULONG>(-1)).u32(2).u32(5).u16(psa->fFeatures);
    for (int i = 0; i < 6; ++i) expect.u16(static_cast<USHORT>(0x100 + i));
    Bytes pack = Packed(shorts);
    EXPECT_EQ(pack, expect.b);
    CComVariant back;
    ULONG consumed = 0;
    ASSERT_EQ(Unpacked(pack, &back, &consumed), S_OK);
    EXPECT_EQ(consumed, pack.size());
    LONG lb = 0;
    ::SafeArrayGetLBound(back.parray, 1, &lb);
    EXPECT_EQ(lb, -1);
    ::SafeArrayGetLBound(back.parray, 2, &lb);
    EXPECT_EQ(lb, 5);
    EXPECT_EQ(Packed(back), pack);

    SAFEARRAYBOUND one = {2, 0};
    SAFEARRAY* texts = ::SafeArrayCreate(VT_BSTR, 1, &one);
    LONG i0 = 0, i1 = 1;
    ::SafeArrayPutElement(texts, &i0, CComBSTR(L"hi"));
    ::SafeArrayPutElement(texts, &i1, nullptr);
    CComVariant textArray = ArrayValue(texts, VT_BSTR);
    Bytes textPack = Packed(textArray);
    EXPECT_EQ(textPack, ByteWriter().u16(0x2008).u16(VT_BSTR).u32(1).u32(2).u32(0).u16(texts->fFeatures)
                            .u32(4).u16('h').u16('i').u32(0).b);
    CComVariant textBack;
    ASSERT_EQ(Unpacked(textPack, &textBack), S_OK);
    EXPECT_EQ(textBack.parray->fFeatures & FADF_BSTR, FADF_BSTR);

    // VARIANT cells holding an array: nested packs.
    CComVariant inner = I4Column({4, 5});
    CComVariant outer = VariantColumn({inner, CComVariant(L"z")});
    Bytes nested = Packed(outer);
    CComVariant nestedBack;
    ASSERT_EQ(Unpacked(nested, &nestedBack, &consumed), S_OK);
    EXPECT_EQ(consumed, nested.size());
    EXPECT_EQ(Packed(nestedBack), nested);
}

TEST(FlatPack, UnpackRefusesInconsistentArrays) {
    Bytes good = Packed(I4Column({1, 2, 3}));
    CComVariant out;
    // The element type must match the array type word.
    Bytes wrongElement = good;
    wrongElement[2] = VT_BSTR;
    EXPECT_EQ(Unpacked(wrongElement, &out), E_FAIL);
    // Counts beyond the data are refused before any allocation.
    Bytes huge = good;
    huge[8] = 0xFF; huge[9] = 0xFF; huge[10] = 0xFF; huge[11] = 0x7F;
    EXPECT_EQ(Unpacked(huge, &out), E_FAIL);
    Bytes dims = good;
    dims[4] = 0xFF; dims[5] = 0xFF; dims[6] = 0xFF; dims[7] = 0xFF;
    EXPECT_EQ(Unpacked(dims, &out), E_FAIL);
    Bytes noDims = ByteWriter().u16(0x2003).u16(VT_I4).u32(0).u16(0x80).b;
    EXPECT_EQ(Unpacked(noDims, &out), E_FAIL);
    // Arrays of arrays and of objects are refused.
    Bytes nestedType = ByteWriter().u16(0x2003 | 0x2000).b;
    EXPECT_EQ(Unpacked(nestedType, &out), E_FAIL);
    Bytes objects = ByteWriter().u16(0x2009).u16(VT_DISPATCH).u32(1).u32(1).u32(0).u16(0x480).u32(0x12345678).b;
    EXPECT_EQ(Unpacked(objects, &out), E_FAIL);
    // Every cut of a good pack fails cleanly.
    for (size_t n = 0; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + n);
        EXPECT_EQ(Unpacked(cut, &out), E_FAIL) << n;
        EXPECT_EQ(V_VT(&out), VT_EMPTY);
    }
}

namespace {

std::vector<Bytes> ValidValueStreams() {
    TestPersistRegistration registration;
    std::vector<Bytes> all;
    DECIMAL dec{};
    ::VarDecFromR8(3.25, &dec);
    CComVariant decimal;
    decimal.decVal = dec;
    V_VT(&decimal) = VT_DECIMAL;
    CComVariant null = Scalar(VT_NULL, 0);
    CComVariant nested = VariantColumn({I4Column({1, 2}), CComVariant(L"text"), decimal, null});
    const CComVariant values[] = {CComVariant(5), CComVariant(L"a longer text value"), CComVariant(), null,
                                  Scalar(VT_I8, 0x1122334455667788ull), CComVariant(2.5), decimal,
                                  I4Column({7, 8, 9}), nested};
    for (const auto& v : values) all.push_back(Saved(v));
    CComPtr<IUnknown> object;
    ::CoCreateInstance(CLSID_TestPersistObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(object.Put()));
    all.push_back(Saved(CComVariant(object.get())));
    return all;
}

// Returns the number of seeded random corruptions loaded.
int LoadEveryCorruption(const std::vector<Bytes>& streams, unsigned seed, int randomRounds) {
    std::mt19937 rng(seed);
    auto tryLoad = [](const Bytes& data) {
        CComVariant v;
        CComPtr<IStream> s = StreamOf(data);
        LoadVariantValue(&v, s);
    };
    for (const Bytes& data : streams) {
        for (size_t n = 0; n < data.size(); ++n) tryLoad(Bytes(data.begin(), data.begin() + n));
        ForEachCorruption(data, rng, 1, randomRounds, 4, tryLoad);
    }
    return static_cast<int>(streams.size()) * randomRounds;
}

}  // namespace

TEST(ValueForm, CorruptedStreamsNeverCrashOrLeak) {
    const std::vector<Bytes> streams = ValidValueStreams();
    TestPersistRegistration registration;
    unsigned seed = 1;
    int corruptions = 0;
    const int rounds = RoundsEach(streams.size(), 3);  // the leak check runs the work three times
    const SIZE_T growth = PrivateGrowth([&] { corruptions += LoadEveryCorruption(streams, seed++, rounds); });
    EXPECT_LT(growth, 256u * 1024u) << "memory left behind by damaged streams";
    EXPECT_GE(corruptions, kSeededCorruptions);
}

namespace {

// Bytes placed flush against an inaccessible page: an unpack that reads one byte beyond the size
// it was given faults.
class GuardedBuffer {
public:
    GuardedBuffer() {
        SYSTEM_INFO info{};
        ::GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<BYTE*>(::VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        guarded_ = base_ && ::VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    }
    ~GuardedBuffer() { if (base_) ::VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    bool ok() const { return guarded_; }
    const BYTE* Place(const Bytes& data) {
        BYTE* at = base_ + page_ - data.size();
        std::copy(data.begin(), data.end(), at);
        return at;
    }

private:
    SIZE_T page_ = 0;
    BYTE* base_ = nullptr;
    bool guarded_ = false;
};

std::vector<Bytes> ValidPacks() {
    DECIMAL dec{};
    ::VarDecFromR8(-3.25, &dec);
    CComVariant decimal;
    decimal.decVal = dec;
    V_VT(&decimal) = VT_DECIMAL;
    SAFEARRAYBOUND b[2] = {{3, -1}, {2, 5}};
    CComVariant grid = ArrayValue(::SafeArrayCreate(VT_R8, 2, b), VT_R8);
    const CComVariant values[] = {CComVariant(5), CComVariant(L"text"), Scalar(VT_UI1, 0xAB), decimal,
                                  I4Column({7, 8, 9}), Column<const wchar_t*>(VT_BSTR, {L"a", L"", L"bc"}), grid,
                                  VariantColumn({I4Column({1, 2}), CComVariant(L"x"), decimal, Scalar(VT_NULL, 0)})};
    std::vector<Bytes> packs;
    for (const auto& v : values) packs.push_back(Packed(v));
    return packs;
}

}  // namespace

// The flat unpack on raw buffers: truncated, flipped and damaged packs fail cleanly or give a
// value whose own pack is exactly as long as what was read, never reading beyond the buffer.
TEST(FlatPack, CorruptedBuffersNeverCrashReadBeyondOrLeak) {
    const std::vector<Bytes> packs = ValidPacks();
    GuardedBuffer guard;
    ASSERT_TRUE(guard.ok());
    int inconsistent = 0;
    auto tryUnpack = [&](const Bytes& data) {
        CComVariant v;
        ULONG consumed = 77;
        const HRESULT hr = UnpackVariantFlat(&v, guard.Place(data), static_cast<ULONG>(data.size()), &consumed);
        ULONG repacked = 0;
        const bool ok = FAILED(hr) ? hr == E_FAIL && V_VT(&v) == VT_EMPTY && consumed == 0
                                   : consumed <= data.size() && SUCCEEDED(FlatVariantSize(v, &repacked)) &&
                                         repacked == consumed;
        if (!ok && inconsistent++ == 0) ADD_FAILURE() << "first inconsistent unpack of " << data.size() << " bytes";
    };
    unsigned seed = 11;
    int corruptions = 0;
    const int rounds = RoundsEach(packs.size(), 3);
    const SIZE_T growth = PrivateGrowth([&] {
        std::mt19937 rng(seed++);
        for (const Bytes& pack : packs) {
            for (size_t n = 0; n <= pack.size(); ++n) tryUnpack(Bytes(pack.begin(), pack.begin() + static_cast<long>(n)));
            ForEachCorruption(pack, rng, 1, rounds, 4, tryUnpack);
            corruptions += rounds;
        }
    });
    EXPECT_EQ(inconsistent, 0);
    EXPECT_LT(growth, 256u * 1024u) << "memory left behind by damaged packs";
    EXPECT_GE(corruptions, kSeededCorruptions);
}

TEST(FlatPack, ByrefArrayKeepsItsTypeWord) {
    CComVariant column = I4Column({6});
    SAFEARRAY* held = column.parray;
    VARIANT byref = ByRef(VT_ARRAY | VT_I4, &held);
    Bytes pack = Packed(byref);
    Bytes plain = Packed(column);
    ASSERT_EQ(pack.size(), plain.size());
    EXPECT_EQ(pack[0], 0x03);
    EXPECT_EQ(pack[1], 0x60);
    EXPECT_TRUE(std::equal(pack.begin() + 2, pack.end(), plain.begin() + 2));
    CComVariant back;
    ASSERT_EQ(Unpacked(pack, &back), S_OK);
    EXPECT_EQ(back.vt, VT_ARRAY | VT_I4);
    SAFEARRAY* none = nullptr;
    byref.pparray = &none;
    EXPECT_EQ(Packed(byref, E_INVALIDARG), (Bytes{0xFF, 0xFF}));
}

TEST(Drevak, PacksThroughTheSiblingDll) {
    CComVariant value(L"packed");
    CCoTaskMem<void> blob;
    ULONG size = 0;
    ASSERT_GE(PackVariant(value, blob.Put(), &size), 0);
    const BYTE* bytes = static_cast<const BYTE*>(blob.get());
    EXPECT_EQ(Bytes(bytes, bytes + size), Packed(value));
    CComVariant back;
    ULONG available = size + 5;  // more bytes available than the pack needs
    ASSERT_GE(UnpackVariant(blob, &back, &available), 0);
    EXPECT_EQ(available, size) << "the consumed size comes back";
    EXPECT_STREQ(back.bstrVal, L"packed");
    ULONG tooShort = size - 1;
    CComVariant cut;
    EXPECT_LT(UnpackVariant(blob, &cut, &tooShort), 0);
    EXPECT_EQ(cut.vt, VT_EMPTY);

    CComPtr<IStream> object = NewStream();
    void* refused = reinterpret_cast<void*>(1);  // not an owner: the packer must clear it
    EXPECT_LT(PackVariant(CComVariant(static_cast<IUnknown*>(object.get())), &refused, &size), 0);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(refused, nullptr);
}
