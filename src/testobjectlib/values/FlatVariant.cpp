#include "values/FlatVariant.h"
#include <cstring>
#include "com/ComSafeArray.h"
#include "com/Handles.h"
#include <vector>

namespace {

// Nesting of arrays in VARIANT elements; a deeper pack is refused, so that stored data
// cannot drive the recursion arbitrarily deep.
constexpr int kMaxDepth = 32;
constexpr ULONGLONG kMaxPack = 0x7FFFFFFF;
constexpr USHORT kUnsupportedMark = 0xFFFF;

// Element bytes of the size classes; 0 for every other type.
ULONG ScalarBytes(VARTYPE vt) noexcept {
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_BOOL: case VT_UI2: return 2;
    case VT_I4: case VT_R4: case VT_ERROR: case VT_UI4: case VT_INT: case VT_UINT: return 4;
    case VT_R8: case VT_CY: case VT_DATE: return 8;
    case VT_DECIMAL: return 16;
    default: return 0;
    }
}

// Arrays whose elements are arrays are not packed: no OLE routine frees or copies the
// inner arrays, so such a value could not be owned once unpacked.
bool IsPackableElement(VARTYPE vt) noexcept {
    return ScalarBytes(vt) != 0 || vt == VT_BSTR || vt == VT_VARIANT;
}

ULONGLONG ElementCount(SAFEARRAY* psa) noexcept {
    if (psa->cDims == 0) return 0;
    ULONGLONG count = 1;
    for (USHORT i = 0; i < psa->cDims; ++i) count *= psa->rgsabound[i].cElements;
    return count;
}


SAFEARRAY* HeldArray(const VARIANT& v) noexcept {
    if (V_VT(&v) & VT_BYREF) return v.pparray ? *v.pparray : nullptr;
    return v.parray;
}

BSTR HeldBstr(const VARIANT& v) noexcept {
    if (V_VT(&v) & VT_BYREF) return v.pbstrVal ? *v.pbstrVal : nullptr;
    return v.bstrVal;
}

enum class Kind { Mark, Scalar, Decimal, Text, Array, Unsupported };

Kind Classify(VARTYPE vt) noexcept {
    if (vt == VT_EMPTY || vt == VT_NULL) return Kind::Mark;
    VARTYPE base = vt & VT_TYPEMASK;
    VARTYPE flags = vt & ~VT_TYPEMASK;
    if (flags == 0) {
        if (base == VT_DECIMAL) return Kind::Decimal;
        if (ScalarBytes(base)) return Kind::Scalar;
        if (base == VT_BSTR) return Kind::Text;
        return Kind::Unsupported;
    }
    if (flags == VT_BYREF && base == VT_BSTR) return Kind::Text;
    if ((flags & ~VT_BYREF) == VT_ARRAY && IsPackableElement(base)) return Kind::Array;
    return Kind::Unsupported;
}

bool ArrayBytes(SAFEARRAY* psa, VARTYPE expected, ULONGLONG& n, int depth) noexcept;

bool VariantBytes(const VARIANT& v, ULONGLONG& n, int depth) noexcept {
    n += 2;
    switch (Classify(V_VT(&v))) {
    case Kind::Mark: return true;
    case Kind::Scalar: n += ScalarBytes(V_VT(&v)); return true;
    case Kind::Decimal: n += 16; return true;
    case Kind::Text: n += 4 + ::SysStringByteLen(HeldBstr(v)); return true;
    case Kind::Array: return ArrayBytes(HeldArray(v), V_VT(&v) & VT_TYPEMASK, n, depth + 1);
    default: return false;
    }
}

bool ArrayBytes(SAFEARRAY* psa, VARTYPE expected, ULONGLONG& n, int depth) noexcept {
    if (!psa || depth > kMaxDepth) return false;
    VARTYPE evt = VT_EMPTY;
    if (FAILED(::SafeArrayGetVartype(psa, &evt)) || evt != expected) return false;
    n += 8 + 8ull * psa->cDims;
    const ULONGLONG count = ElementCount(psa);
    if (ULONG size = ScalarBytes(evt)) {
        if (psa->cbElements != size) return false;
        n += count * size;
        return n <= kMaxPack;
    }
    if (count == 0) return true;
    kcom::CSafeArrayDataLock data(psa);
    if (!data) return false;
    if (evt == VT_BSTR) {
        if (psa->cbElements != sizeof(BSTR)) return false;
        for (ULONGLONG i = 0; i < count && n <= kMaxPack; ++i) n += 4 + ::SysStringByteLen(data.get<BSTR>()[i]);
        return n <= kMaxPack;
    }
    if (psa->cbElements != sizeof(VARIANT)) return false;
    for (ULONGLONG i = 0; i < count; ++i) {
        if (!VariantBytes(data.get<VARIANT>()[i], n, depth) || n > kMaxPack) return false;
    }
    return true;
}

class Writer {
public:
    Writer(BYTE* p, ULONG size) noexcept : p_(p), end_(p + size) {}
    bool Put(const void* data, ULONG size) noexcept {
        if (static_cast<ULONG>(end_ - p_) < size) return false;
        if (size) std::memcpy(p_, data, size);
        p_ += size;
        return true;
    }
    template <class T>
    bool Value(T v) noexcept { return Put(&v, sizeof(T)); }
    BYTE* at() const noexcept { return p_; }

private:
    BYTE* p_;
    BYTE* end_;
};

bool WriteArray(SAFEARRAY* psa, Writer& w, int depth) noexcept;

bool WriteText(BSTR text, Writer& w) noexcept {
    ULONG bytes = ::SysStringByteLen(text);
    return w.Value<ULONG>(bytes) && w.Put(text, bytes);
}

bool WriteVariant(const VARIANT& v, Writer& w, int depth) noexcept {
    const VARTYPE vt = V_VT(&v);
    switch (Classify(vt)) {
    case Kind::Mark: return w.Value<USHORT>(vt);
    case Kind::Scalar: return w.Value<USHORT>(vt) && w.Put(reinterpret_cast<const BYTE*>(&v) + 8, ScalarBytes(vt));
    case Kind::Decimal: return w.Value<USHORT>(vt) && w.Put(&v, 16);
    case Kind::Text: return w.Value<USHORT>(vt) && WriteText(HeldBstr(v), w);
    case Kind::Array: return w.Value<USHORT>(vt) && WriteArray(HeldArray(v), w, depth + 1);
    default: return false;
    }
}

bool WriteArray(SAFEARRAY* psa, Writer& w, int depth) noexcept {
    VARTYPE evt = VT_EMPTY;
    if (!psa || depth > kMaxDepth || FAILED(::SafeArrayGetVartype(psa, &evt))) return false;
    const ULONG d = psa->cDims;
    if (!w.Value<USHORT>(evt) || !w.Value<ULONG>(d)) return false;
    for (ULONG i = 1; i <= d; ++i) {
        const SAFEARRAYBOUND& b = psa->rgsabound[d - i];  // the descriptor holds the last dimension first
        if (!w.Value<ULONG>(b.cElements) || !w.Value<LONG>(b.lLbound)) return false;
    }
    if (!w.Value<USHORT>(psa->fFeatures)) return false;
    const ULONGLONG count = ElementCount(psa);
    if (count == 0) return true;
    kcom::CSafeArrayDataLock data(psa);
    if (!data) return false;
    if (ULONG size = ScalarBytes(evt)) return w.Put(data.get<BYTE>(), static_cast<ULONG>(count * size));
    for (ULONGLONG i = 0; i < count; ++i) {
        bool ok = evt == VT_BSTR ? WriteText(data.get<BSTR>()[i], w)
                                 : WriteVariant(data.get<VARIANT>()[i], w, depth);
        if (!ok) return false;
    }
    return true;
}

class Reader {
public:
    Reader(const BYTE* p, ULONG size) noexcept : begin_(p), p_(p), end_(p + size) {}
    ULONG Left() const noexcept { return static_cast<ULONG>(end_ - p_); }
    ULONG Consumed() const noexcept { return static_cast<ULONG>(p_ - begin_); }
    bool Get(void* out, ULONG size) noexcept {
        if (Left() < size) return false;
        if (size) std::memcpy(out, p_, size);
        p_ += size;
        return true;
    }
    template <class T>
    bool Value(T* v) noexcept { return Get(v, sizeof(T)); }
    // A text of a stored byte length, checked against what is left.
    bool Text(BSTR* out) noexcept {
        ULONG bytes = 0;
        if (!Value(&bytes) || bytes > Left()) return false;
        BSTR b = ::SysAllocStringByteLen(reinterpret_cast<LPCSTR>(p_), bytes);
        if (!b) return false;
        p_ += bytes;
        *out = b;
        return true;
    }

private:
    const BYTE* begin_;
    const BYTE* p_;
    const BYTE* end_;
};

bool ReadArray(Reader& r, VARTYPE expected, SAFEARRAY** out, int depth) noexcept;

// On failure out is left VT_EMPTY with nothing allocated.
bool ReadVariant(Reader& r, VARIANT* out, int depth) noexcept {
    ::VariantInit(out);
    USHORT vt = 0;
    if (!r.Value(&vt) || vt == kUnsupportedMark) return false;
    const VARTYPE base = vt & VT_TYPEMASK;
    switch (Classify(vt)) {
    case Kind::Mark:
        V_VT(out) = vt;
        return true;
    case Kind::Scalar:
        if (!r.Get(reinterpret_cast<BYTE*>(out) + 8, ScalarBytes(vt))) return false;
        V_VT(out) = vt;
        return true;
    case Kind::Decimal:
        if (!r.Get(out, 16)) { ::VariantInit(out); return false; }
        V_VT(out) = VT_DECIMAL;  // the stored bytes overlay the type word too; never trust it
        return true;
    case Kind::Text: {
        BSTR text = nullptr;
        if (!r.Text(&text)) return false;
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = text;
        return true;
    }
    case Kind::Array: {
        SAFEARRAY* psa = nullptr;
        if (!ReadArray(r, base, &psa, depth + 1)) return false;
        V_VT(out) = VT_ARRAY | base;
        V_ARRAY(out) = psa;
        return true;
    }
    default:
        return false;
    }
}

bool ReadArray(Reader& r, VARTYPE expected, SAFEARRAY** out, int depth) noexcept {
    *out = nullptr;
    if (depth > kMaxDepth) return false;
    USHORT evt = 0;
    ULONG d = 0;
    if (!r.Value(&evt) || evt != expected || !r.Value(&d)) return false;
    if (d == 0 || d > 0xFFFF || d > r.Left() / 8) return false;
    std::vector<SAFEARRAYBOUND> bounds;
    try { bounds.resize(d); } catch (...) { return false; }
    ULONGLONG count = 1;
    for (ULONG i = 0; i < d; ++i) {
        if (!r.Value(&bounds[i].cElements) || !r.Value(&bounds[i].lLbound)) return false;
        count *= bounds[i].cElements;
        if (count > 0xFFFFFFFFull) count = 0x100000000ull;  // far beyond any stored data; stays refused
    }
    USHORT features = 0;  // the created array keeps its own features: they decide how it is freed
    if (!r.Value(&features)) return false;
    const ULONG size = ScalarBytes(evt);
    const ULONG least = size ? size : (evt == VT_BSTR ? 4 : 2);
    if (count * least > r.Left()) return false;
    SAFEARRAY* psa = ::SafeArrayCreate(evt, d, bounds.data());
    if (!psa) return false;
    bool ok = true;
    if (count) {
        kcom::CSafeArrayDataLock data(psa);
        ok = static_cast<bool>(data);
        if (ok && size) {
            ok = psa->cbElements == size && r.Get(data.get<BYTE>(), static_cast<ULONG>(count * size));
        } else if (ok && evt == VT_BSTR) {
            for (ULONGLONG i = 0; ok && i < count; ++i) ok = r.Text(&data.get<BSTR>()[i]);
        } else if (ok) {
            for (ULONGLONG i = 0; ok && i < count; ++i) ok = ReadVariant(r, &data.get<VARIANT>()[i], depth);
        }
    }
    if (!ok) {
        ::SafeArrayDestroy(psa);
        return false;
    }
    *out = psa;
    return true;
}

}  // namespace

HRESULT FlatArraySize(SAFEARRAY* psa, ULONG* size) noexcept {
    if (!size) return E_POINTER;
    *size = 0;
    VARTYPE evt = VT_EMPTY;
    if (!psa || FAILED(::SafeArrayGetVartype(psa, &evt)) || !IsPackableElement(evt)) return E_INVALIDARG;
    ULONGLONG n = 0;
    if (!ArrayBytes(psa, evt, n, 1) || n > kMaxPack) return E_INVALIDARG;
    *size = static_cast<ULONG>(n);
    return S_OK;
}

HRESULT FlatVariantSize(const VARIANT& v, ULONG* size) noexcept {
    if (!size) return E_POINTER;
    ULONGLONG n = 0;
    if (!VariantBytes(v, n, 0) || n > kMaxPack) {
        *size = 2;
        return E_INVALIDARG;
    }
    *size = static_cast<ULONG>(n);
    return S_OK;
}

HRESULT PackVariantFlat(const VARIANT& v, BYTE** buffer, ULONG* size) noexcept {
    if (buffer) *buffer = nullptr;
    if (size) *size = 0;
    if (!buffer || !size) return E_POINTER;
    ULONG n = 0;
    HRESULT hr = FlatVariantSize(v, &n);
    kcom::CCoTaskMem<BYTE> data(static_cast<BYTE*>(::CoTaskMemAlloc(n)));
    if (!data) return E_FAIL;
    if (FAILED(hr)) {
        std::memset(data.get(), 0xFF, 2);
        *buffer = data.Detach();
        *size = 2;
        return E_INVALIDARG;
    }
    Writer w(data.get(), n);
    if (!WriteVariant(v, w, 0) || w.at() != data.get() + n) return E_FAIL;
    *buffer = data.Detach();
    *size = n;
    return S_OK;
}

HRESULT UnpackVariantFlat(VARIANT* out, const BYTE* data, ULONG size, ULONG* consumed) noexcept {
    if (!out || !data || !consumed) return E_POINTER;
    ::VariantInit(out);
    *consumed = 0;
    Reader r(data, size);
    if (!ReadVariant(r, out, 0)) return E_FAIL;
    *consumed = r.Consumed();
    return S_OK;
}
