// Stand-in of the VARIANT packer, written apart from the package's flat pack so that the two can
// disagree in a test. Layout (little-endian): u16 vt; the scalar bytes; a DECIMAL's 16 bytes;
// u32 byte length and the text of a BSTR; for an array u16 element vt, u32 dimension count,
// (u32 count, i32 lower bound) per dimension from the first, u16 features, then the elements.
#include "contracts/Drevak.h"
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int kMaxDepth = 32;

ULONG ScalarSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_BOOL: case VT_UI2: return 2;
    case VT_I4: case VT_R4: case VT_ERROR: case VT_UI4: case VT_INT: case VT_UINT: return 4;
    case VT_R8: case VT_CY: case VT_DATE: return 8;
    case VT_DECIMAL: return 16;
    default: return 0;
    }
}

bool Packable(VARTYPE element) { return ScalarSize(element) || element == VT_BSTR || element == VT_VARIANT; }

struct Out {
    std::vector<BYTE> bytes;
    void Put(const void* p, size_t n) { bytes.insert(bytes.end(), static_cast<const BYTE*>(p), static_cast<const BYTE*>(p) + n); }
    template <class T> void Put(T v) { Put(&v, sizeof v); }
    void Text(BSTR b) {
        ULONG n = ::SysStringByteLen(b);
        Put(n);
        Put(b, n);
    }
};

bool PackArray(SAFEARRAY* psa, VARTYPE element, Out& out, int depth);

bool Pack(const VARIANT& v, Out& out, int depth) {
    const VARTYPE vt = V_VT(&v), base = vt & VT_TYPEMASK;
    out.Put<USHORT>(vt);
    if (vt == VT_EMPTY || vt == VT_NULL) return true;
    if (vt == VT_DECIMAL) { out.Put(&v, 16); return true; }
    if (ULONG n = ScalarSize(vt)) { out.Put(reinterpret_cast<const BYTE*>(&v) + 8, n); return true; }
    if (vt == VT_BSTR) { out.Text(v.bstrVal); return true; }
    if (vt == (VT_BYREF | VT_BSTR)) { out.Text(v.pbstrVal ? *v.pbstrVal : nullptr); return true; }
    if ((vt & ~(VT_BYREF | VT_TYPEMASK)) == VT_ARRAY && Packable(base)) {
        SAFEARRAY* psa = (vt & VT_BYREF) ? (v.pparray ? *v.pparray : nullptr) : v.parray;
        return PackArray(psa, base, out, depth + 1);
    }
    return false;
}

bool PackArray(SAFEARRAY* psa, VARTYPE element, Out& out, int depth) {
    VARTYPE held = VT_EMPTY;
    if (!psa || depth > kMaxDepth || FAILED(::SafeArrayGetVartype(psa, &held)) || held != element) return false;
    out.Put<USHORT>(element);
    out.Put<ULONG>(psa->cDims);
    ULONG count = psa->cDims ? 1 : 0;
    for (USHORT d = psa->cDims; d-- > 0;) {  // the descriptor holds the last dimension first
        out.Put<ULONG>(psa->rgsabound[d].cElements);
        out.Put<LONG>(psa->rgsabound[d].lLbound);
        count *= psa->rgsabound[d].cElements;
    }
    out.Put<USHORT>(psa->fFeatures);
    if (count == 0) return true;
    void* data = nullptr;
    if (FAILED(::SafeArrayAccessData(psa, &data))) return false;
    bool ok = true;
    if (ULONG n = ScalarSize(element)) {
        ok = psa->cbElements == n;
        if (ok) out.Put(data, size_t(count) * n);
    } else {
        for (ULONG i = 0; ok && i < count; ++i)
            if (element == VT_BSTR) out.Text(static_cast<BSTR*>(data)[i]);
            else ok = Pack(static_cast<VARIANT*>(data)[i], out, depth);
    }
    ::SafeArrayUnaccessData(psa);
    return ok;
}

struct In {
    const BYTE* p;
    ULONG left;
    bool Get(void* to, ULONG n) {
        if (n > left) return false;
        std::memcpy(to, p, n);
        p += n;
        left -= n;
        return true;
    }
    template <class T> bool Get(T* v) { return Get(v, sizeof *v); }
    bool Text(BSTR* b) {
        ULONG n = 0;
        if (!Get(&n) || n > left) return false;
        *b = ::SysAllocStringByteLen(reinterpret_cast<const char*>(p), n);
        p += n;
        left -= n;
        return *b != nullptr;
    }
};

bool UnpackArray(In& in, VARTYPE element, SAFEARRAY** out, int depth);

// Fills v (VT_EMPTY on entry) or leaves it VT_EMPTY with nothing allocated.
bool Unpack(In& in, VARIANT* v, int depth) {
    USHORT vt = 0;
    if (!in.Get(&vt)) return false;
    const VARTYPE base = vt & VT_TYPEMASK;
    if (vt == VT_EMPTY || vt == VT_NULL) {
        V_VT(v) = vt;
        return true;
    }
    if (vt == VT_DECIMAL) {
        if (!in.Get(v, 16)) return false;
        V_VT(v) = VT_DECIMAL;  // the stored bytes overlay the type word
        return true;
    }
    if (ULONG n = ScalarSize(vt)) {
        if (!in.Get(reinterpret_cast<BYTE*>(v) + 8, n)) return false;
        V_VT(v) = vt;
        return true;
    }
    if (vt == VT_BSTR || vt == (VT_BYREF | VT_BSTR)) {
        if (!in.Text(&v->bstrVal)) return false;
        V_VT(v) = VT_BSTR;
        return true;
    }
    if ((vt & ~(VT_BYREF | VT_TYPEMASK)) == VT_ARRAY && Packable(base) && UnpackArray(in, base, &v->parray, depth + 1)) {
        V_VT(v) = VT_ARRAY | base;
        return true;
    }
    return false;
}

bool UnpackArray(In& in, VARTYPE element, SAFEARRAY** out, int depth) {
    USHORT stored = 0, features = 0;
    ULONG dims = 0;
    if (depth > kMaxDepth || !in.Get(&stored) || stored != element || !in.Get(&dims)) return false;
    if (dims == 0 || dims > 0xFFFF || dims > in.left / 8) return false;
    std::vector<SAFEARRAYBOUND> bounds(dims);
    ULONGLONG count = 1;
    for (auto& b : bounds) {
        if (!in.Get(&b.cElements) || !in.Get(&b.lLbound)) return false;
        count = std::min<ULONGLONG>(count * b.cElements, 0x100000000ull);
    }
    const ULONG least = ScalarSize(element) ? ScalarSize(element) : element == VT_BSTR ? 4 : 2;
    if (!in.Get(&features) || count * least > in.left) return false;
    SAFEARRAY* psa = ::SafeArrayCreate(element, dims, bounds.data());
    void* data = nullptr;
    if (!psa || FAILED(::SafeArrayAccessData(psa, &data))) {
        if (psa) ::SafeArrayDestroy(psa);
        return false;
    }
    bool ok = true;
    if (ULONG n = ScalarSize(element)) ok = in.Get(data, ULONG(count) * n);
    for (ULONG i = 0; ok && !ScalarSize(element) && i < count; ++i)
        ok = element == VT_BSTR ? in.Text(&static_cast<BSTR*>(data)[i]) : Unpack(in, &static_cast<VARIANT*>(data)[i], depth);
    ::SafeArrayUnaccessData(psa);
    if (!ok) {
        ::SafeArrayDestroy(psa);
        return false;
    }
    *out = psa;
    return true;
}

}  // namespace

DREVAK_API long __cdecl PackVariant(VARIANT value, void** blob, ULONG* size) {
    if (!blob || !size) return E_POINTER;
    *blob = nullptr;
    *size = 0;
    try {
        Out out;
        if (!Pack(value, out, 0)) return E_INVALIDARG;
        void* buffer = ::CoTaskMemAlloc(out.bytes.size());
        if (!buffer) return E_OUTOFMEMORY;
        std::memcpy(buffer, out.bytes.data(), out.bytes.size());
        *blob = buffer;
        *size = ULONG(out.bytes.size());
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

DREVAK_API long __cdecl UnpackVariant(const void* blob, VARIANT* value, ULONG* size) {
    if (!blob || !value || !size) return E_POINTER;
    ::VariantInit(value);
    try {
        In in{static_cast<const BYTE*>(blob), *size};
        if (!Unpack(in, value, 0)) {
            ::VariantClear(value);
            *size = 0;
            return E_FAIL;
        }
        *size -= in.left;
        return S_OK;
    } catch (...) {
        ::VariantClear(value);
        return E_OUTOFMEMORY;
    }
}
