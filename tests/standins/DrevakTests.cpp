// The Drevak stand-in's own packer against golden byte strings of the flat format.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>
#include <functional>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComVariant.h"
#include "com/Handles.h"
#include "contracts/Drevak.h"

using kcom::CComBSTR;
using kcom::CComVariant;
using Bytes = std::vector<BYTE>;

namespace {

Bytes Pack(const VARIANT& v, long* hr = nullptr) {
    kcom::CCoTaskMem<void> blob;
    ULONG size = 0;
    long result = PackVariant(v, blob.Put(), &size);
    if (hr) *hr = result;
    const BYTE* bytes = static_cast<const BYTE*>(blob.get());
    return Bytes(bytes, bytes + size);
}

// Unpacks the first n bytes of data, more bytes being available when extra is given.
CComVariant Unpack(const Bytes& data, long expect, size_t n, ULONG extra = 0) {
    Bytes buffer(data.begin(), data.begin() + static_cast<long>(n));
    buffer.resize(n + extra + 1);
    CComVariant v;
    ULONG size = static_cast<ULONG>(n + extra);
    EXPECT_EQ(UnpackVariant(buffer.data(), &v, &size), expect);
    EXPECT_EQ(size, expect == S_OK ? data.size() : 0u) << "the bytes consumed";
    return v;
}

// One column of two rows holding VT_I4 7 and VT_BSTR "x", as the description tables make it.
CComVariant TwoRows() {
    SAFEARRAYBOUND bounds[2] = {{1, 0}, {2, 0}};
    CComVariant v;
    V_VT(&v) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&v) = ::SafeArrayCreate(VT_VARIANT, 2, bounds);
    VARIANT* cells = nullptr;
    ::SafeArrayAccessData(V_ARRAY(&v), reinterpret_cast<void**>(&cells));
    V_VT(&cells[0]) = VT_I4;
    V_I4(&cells[0]) = 7;
    V_VT(&cells[1]) = VT_BSTR;
    V_BSTR(&cells[1]) = ::SysAllocString(L"x");
    ::SafeArrayUnaccessData(V_ARRAY(&v));
    return v;
}

CComVariant Decimal325() {
    CComVariant v;
    ::VarDecFromR8(3.25, &v.decVal);
    V_VT(&v) = VT_DECIMAL;
    return v;
}

struct Golden {
    const char* what;
    std::function<CComVariant()> value;
    Bytes bytes;
};

}  // namespace

TEST(Drevak, PacksAndUnpacksTheGoldenBytes) {
    const Golden cases[] = {
        {"empty", [] { return CComVariant(); }, {0x00, 0x00}},
        {"null", [] { CComVariant v; V_VT(&v) = VT_NULL; return v; }, {0x01, 0x00}},
        {"I4 5", [] { return CComVariant(5); }, {0x03, 0x00, 0x05, 0x00, 0x00, 0x00}},
        {"bool", [] { return CComVariant(true); }, {0x0B, 0x00, 0xFF, 0xFF}},
        {"R8 1.0", [] { return CComVariant(1.0); }, {0x05, 0x00, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
        {"text", [] { return CComVariant(L"ab"); }, {0x08, 0x00, 0x04, 0, 0, 0, 0x61, 0x00, 0x62, 0x00}},
        {"null text", [] { CComVariant v; V_VT(&v) = VT_BSTR; return v; }, {0x08, 0x00, 0, 0, 0, 0}},
        // The DECIMAL overlays the VARIANT, so its first word is the type word again.
        {"decimal", Decimal325, {0x0E, 0x00, 0x0E, 0x00, 0x02, 0x00, 0, 0, 0, 0, 0x45, 0x01, 0, 0, 0, 0, 0, 0}},
        {"two rows", TwoRows,
         {0x0C, 0x20, 0x0C, 0x00, 0x02, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x08,
          0x03, 0x00, 0x07, 0, 0, 0, 0x08, 0x00, 0x02, 0, 0, 0, 0x78, 0x00}},
    };
    for (const Golden& c : cases) {
        SCOPED_TRACE(c.what);
        long hr = E_FAIL;
        EXPECT_EQ(Pack(c.value(), &hr), c.bytes);
        EXPECT_EQ(hr, S_OK);
        CComVariant back = Unpack(c.bytes, S_OK, c.bytes.size(), 3);
        EXPECT_EQ(Pack(back), c.bytes) << "unpacked to the same value";
        for (size_t n = 0; n < c.bytes.size(); ++n) {
            EXPECT_EQ(Unpack(c.bytes, E_FAIL, n).vt, VT_EMPTY) << "cut at " << n;
        }
    }
}

TEST(Drevak, ReferencesAndRefusals) {
    CComBSTR owner(L"ab");
    BSTR text = owner;
    VARIANT byref;
    ::VariantInit(&byref);
    V_VT(&byref) = VT_BYREF | VT_BSTR;
    byref.pbstrVal = &text;
    const Bytes byrefPack = {0x08, 0x40, 0x04, 0, 0, 0, 0x61, 0x00, 0x62, 0x00};
    EXPECT_EQ(Pack(byref), byrefPack);
    CComVariant plain = Unpack(byrefPack, S_OK, 10);
    EXPECT_EQ(plain.vt, VT_BSTR);
    EXPECT_STREQ(plain.bstrVal, L"ab");

    long hr = S_OK;
    VARIANT object;
    ::VariantInit(&object);
    V_VT(&object) = VT_UNKNOWN;
    EXPECT_TRUE(Pack(object, &hr).empty());
    EXPECT_LT(hr, 0);
    EXPECT_EQ(Unpack({0xFF, 0xFF}, E_FAIL, 2).vt, VT_EMPTY);
    EXPECT_EQ(Unpack({0x09, 0x00, 0, 0, 0, 0}, E_FAIL, 6).vt, VT_EMPTY);
    // A count beyond the data is refused before anything is allocated.
    EXPECT_EQ(Unpack({0x03, 0x20, 0x03, 0x00, 0x01, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0x80, 0x00}, E_FAIL, 18).vt,
              VT_EMPTY);
}
