#include "WireRecord.h"
#include <cstring>
#include <new>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/ComSafeArray.h"

namespace {

constexpr ULONG kNullMarker = 0xFFFFFFFFu;
constexpr int kMaxDepth = 8;

template <class T>
void Put(std::vector<BYTE>& out, T value) {
    const BYTE* p = reinterpret_cast<const BYTE*>(&value);
    out.insert(out.end(), p, p + sizeof(T));
}

void PutBytes(std::vector<BYTE>& out, const void* data, size_t size) {
    const BYTE* p = static_cast<const BYTE*>(data);
    out.insert(out.end(), p, p + size);
}

void PutBstr(std::vector<BYTE>& out, BSTR s) {
    if (!s) { Put<ULONG>(out, kNullMarker); return; }
    const ULONG len = ::SysStringLen(s);
    Put<ULONG>(out, len);
    PutBytes(out, s, len * sizeof(wchar_t));
}

template <class T>
bool Get(const BYTE*& p, const BYTE* end, T& value) {
    if (static_cast<size_t>(end - p) < sizeof(T)) return false;
    std::memcpy(&value, p, sizeof(T));
    p += sizeof(T);
    return true;
}

bool GetBstr(const BYTE*& p, const BYTE* end, BSTR* out) {
    *out = nullptr;
    ULONG len = 0;
    if (!Get(p, end, len)) return false;
    if (len == kNullMarker) return true;
    if (len > static_cast<size_t>(end - p) / sizeof(wchar_t)) return false;
    BSTR s = ::SysAllocStringLen(nullptr, len);
    if (!s) throw std::bad_alloc();
    std::memcpy(s, p, len * sizeof(wchar_t));
    p += len * sizeof(wchar_t);
    *out = s;
    return true;
}

bool IsScalar(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_UI4: case VT_BOOL: case VT_R8: case VT_BSTR:
    case VT_ERROR:
        return true;
    default:
        return false;
    }
}

// Payload bytes of a scalar; VT_EMPTY and VT_NULL carry none.
size_t ScalarSize(VARTYPE vt) {
    switch (vt) {
    case VT_I2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_ERROR: return 4;
    case VT_R8: return 8;
    default: return 0;
    }
}

HRESULT WriteValue(std::vector<BYTE>& out, const VARIANT& v, int depth);

HRESULT WriteArray(std::vector<BYTE>& out, SAFEARRAY* psa, VARTYPE elem, int depth) {
    if (!psa) { Put<USHORT>(out, 0); return S_OK; }  // a null array pointer
    const USHORT dims = ::SafeArrayGetDim(psa);
    Put<USHORT>(out, dims);
    ULONG count = 1;
    // Dimension 1 first, as SafeArrayCreate takes them: the descriptor comes back identical.
    for (USHORT d = 0; d < dims; ++d) {
        const SAFEARRAYBOUND& b = psa->rgsabound[dims - 1 - d];
        Put<ULONG>(out, b.cElements);
        Put<LONG>(out, b.lLbound);
        count *= b.cElements;
    }
    if (count == 0) return S_OK;
    kcom::CSafeArrayDataLock lock(psa);
    if (!lock) return E_INVALIDARG;
    switch (elem) {
    case VT_I4: PutBytes(out, lock.get<LONG>(), count * sizeof(LONG)); break;
    case VT_BSTR:
        for (ULONG i = 0; i < count; ++i) PutBstr(out, lock.get<BSTR>()[i]);
        break;
    case VT_VARIANT:
        for (ULONG i = 0; i < count; ++i) {
            HRESULT hr = WriteValue(out, lock.get<VARIANT>()[i], depth + 1);
            if (FAILED(hr)) return hr;
        }
        break;
    default: return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

HRESULT WriteValue(std::vector<BYTE>& out, const VARIANT& v, int depth) {
    if (depth > kMaxDepth) return DISP_E_BADVARTYPE;
    const VARTYPE vt = v.vt;
    if (vt & VT_ARRAY) {
        const VARTYPE elem = vt & ~VT_ARRAY;
        if (elem != VT_I4 && elem != VT_BSTR && elem != VT_VARIANT) return DISP_E_BADVARTYPE;
        Put<USHORT>(out, vt);
        return WriteArray(out, v.parray, elem, depth);
    }
    if (!IsScalar(vt)) return DISP_E_BADVARTYPE;
    Put<USHORT>(out, vt);
    if (vt == VT_BSTR) PutBstr(out, v.bstrVal);
    else PutBytes(out, &v.lVal, ScalarSize(vt));  // every scalar lies at the start of the value union
    return S_OK;
}

bool ReadValue(const BYTE*& p, const BYTE* end, VARIANT* v, int depth);

bool ReadArray(const BYTE*& p, const BYTE* end, VARTYPE elem, SAFEARRAY** out, int depth) {
    *out = nullptr;
    USHORT dims = 0;
    if (!Get(p, end, dims)) return false;
    if (dims == 0) return true;
    if (dims > 8) return false;
    SAFEARRAYBOUND bounds[8];
    ULONGLONG count = 1;
    for (USHORT d = 0; d < dims; ++d) {
        if (!Get(p, end, bounds[d].cElements) || !Get(p, end, bounds[d].lLbound)) return false;
        count *= bounds[d].cElements;
        // Each element needs at least two bytes: no allocation larger than the input allows.
        if (count > static_cast<size_t>(end - p)) return false;
    }
    kcom::CComSafeArray psa(::SafeArrayCreate(elem, dims, bounds));
    if (!psa) throw std::bad_alloc();
    if (count == 0) { *out = psa.Detach(); return true; }
    kcom::CSafeArrayDataLock lock(psa);
    if (!lock) return false;
    for (ULONG i = 0; i < count; ++i) {
        bool ok = false;
        switch (elem) {
        case VT_I4: ok = Get(p, end, lock.get<LONG>()[i]); break;
        case VT_BSTR: ok = GetBstr(p, end, &lock.get<BSTR>()[i]); break;
        case VT_VARIANT: ok = ReadValue(p, end, &lock.get<VARIANT>()[i], depth + 1); break;
        default: break;
        }
        if (!ok) return false;
    }
    *out = psa.Detach();
    return true;
}

// v must be VT_EMPTY on entry; it is left VT_EMPTY on failure.
bool ReadValue(const BYTE*& p, const BYTE* end, VARIANT* v, int depth) {
    if (depth > kMaxDepth) return false;
    USHORT vt = 0;
    if (!Get(p, end, vt)) return false;
    if (vt & VT_ARRAY) {
        const VARTYPE elem = vt & ~VT_ARRAY;
        if (elem != VT_I4 && elem != VT_BSTR && elem != VT_VARIANT) return false;
        SAFEARRAY* psa = nullptr;
        if (!ReadArray(p, end, elem, &psa, depth)) return false;
        v->vt = vt;
        v->parray = psa;
        return true;
    }
    if (!IsScalar(vt)) return false;
    if (vt == VT_BSTR) {
        BSTR s = nullptr;
        if (!GetBstr(p, end, &s)) return false;
        v->vt = VT_BSTR;
        v->bstrVal = s;
        return true;
    }
    const size_t size = ScalarSize(vt);
    if (static_cast<size_t>(end - p) < size) return false;
    std::memcpy(&v->lVal, p, size);
    p += size;
    v->vt = vt;
    return true;
}

}  // namespace

HRESULT CWireRecord::WriteVariant(std::vector<BYTE>& out, const VARIANT& v) {
    return kcom::Guard([&] { return WriteValue(out, v, 0); });
}

HRESULT CWireRecord::ReadVariant(const BYTE*& p, const BYTE* end, VARIANT* v) {
    return kcom::Guard([&]() -> HRESULT {
        ::VariantClear(v);
        kcom::CComVariant value;
        if (!ReadValue(p, end, &value, 0)) return E_INVALIDARG;
        return value.Detach(v);
    });
}

HRESULT CWireRecord::Write(std::vector<BYTE>& out) const {
    return kcom::Guard([&]() -> HRESULT {
        Put(out, request);
        Put(out, window);
        Put(out, cookie);
        Put(out, result);
        Put<ULONG>(out, hasBlob ? 1 : 0);
        Put(out, blobLength);
        if (hasBlob) {
            Put<ULONG>(out, static_cast<ULONG>(blob.size()));
            PutBytes(out, blob.data(), blob.size());
        }
        HRESULT hr = WriteValue(out, a, 0);
        if (SUCCEEDED(hr)) hr = WriteValue(out, b, 0);
        if (FAILED(hr)) return hr;
        Put<ULONG>(out, hasStream ? static_cast<ULONG>(stream.size()) : kNullMarker);
        if (hasStream) PutBytes(out, stream.data(), stream.size());
        return S_OK;
    });
}

HRESULT CWireRecord::Read(const BYTE* data, size_t size) {
    return kcom::Guard([&]() -> HRESULT {
        const BYTE* p = data;
        const BYTE* end = data + size;
        ULONG blobFlag = 0;
        if (!Get(p, end, request) || !Get(p, end, window) || !Get(p, end, cookie) || !Get(p, end, result) ||
            !Get(p, end, blobFlag) || !Get(p, end, blobLength))
            return E_INVALIDARG;
        hasBlob = blobFlag != 0;
        blob.clear();
        if (hasBlob) {
            ULONG n = 0;
            if (!Get(p, end, n) || n > static_cast<size_t>(end - p)) return E_INVALIDARG;
            blob.assign(p, p + n);
            p += n;
        }
        a.Clear();
        b.Clear();
        if (!ReadValue(p, end, &a, 0) || !ReadValue(p, end, &b, 0)) return E_INVALIDARG;
        ULONG n = 0;
        if (!Get(p, end, n)) return E_INVALIDARG;
        hasStream = n != kNullMarker;
        stream.clear();
        if (hasStream) {
            if (n > static_cast<size_t>(end - p)) return E_INVALIDARG;
            stream.assign(p, p + n);
            p += n;
        }
        return p == end ? S_OK : E_INVALIDARG;
    });
}

HRESULT CWireRecord::StreamBytes(IStream* stream, std::vector<BYTE>& out) {
    return kcom::Guard([&]() -> HRESULT {
        out.clear();
        if (!stream) return E_POINTER;
        ULARGE_INTEGER pos{};
        LARGE_INTEGER zero{};
        HRESULT hr = stream->Seek(zero, STREAM_SEEK_CUR, &pos);
        if (FAILED(hr)) return hr;
        STATSTG stat{};
        hr = stream->Stat(&stat, STATFLAG_NONAME);
        if (FAILED(hr)) return hr;
        if (stat.cbSize.HighPart != 0 || stat.cbSize.LowPart > 0x10000000u) return E_OUTOFMEMORY;
        out.resize(stat.cbSize.LowPart);
        hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        ULONG read = 0;
        if (SUCCEEDED(hr) && !out.empty()) hr = stream->Read(out.data(), static_cast<ULONG>(out.size()), &read);
        LARGE_INTEGER back{};
        back.QuadPart = static_cast<LONGLONG>(pos.QuadPart);
        stream->Seek(back, STREAM_SEEK_SET, nullptr);
        if (FAILED(hr)) return hr;
        out.resize(read);
        return S_OK;
    });
}

HRESULT CWireRecord::StreamFromBytes(const std::vector<BYTE>& bytes, IStream** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    kcom::CComPtr<IStream> stream;
    HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
    if (FAILED(hr)) return hr;
    if (!bytes.empty()) {
        ULONG written = 0;
        hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
        if (FAILED(hr)) return hr;
        if (written != bytes.size()) return STG_E_MEDIUMFULL;
        LARGE_INTEGER zero{};
        hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        if (FAILED(hr)) return hr;
    }
    *out = stream.Detach();
    return S_OK;
}

std::wstring CWireRecord::MessageName(ULONG message) {
    wchar_t name[256];
    // Registered window messages and clipboard formats share one atom table.
    const int len = message >= 0xC000 && message <= 0xFFFF ? ::GetClipboardFormatNameW(message, name, 256) : 0;
    if (len <= 0) return L"#" + std::to_wstring(message);
    return std::wstring(name, static_cast<size_t>(len));
}
