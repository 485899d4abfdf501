#include "tables/KorSafeArray.h"
#include <stdexcept>
#include <utility>
#include "com/ComVariant.h"
#include "tables/KorBSTR.h"

namespace {

USHORT FeaturesOf(VARTYPE vt) noexcept {
    switch (vt) {
    case VT_BSTR: return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_DISPATCH: return FADF_HAVEVARTYPE | FADF_DISPATCH;
    case VT_VARIANT: return FADF_HAVEVARTYPE | FADF_VARIANT;
    case VT_UNKNOWN: return FADF_HAVEVARTYPE | FADF_UNKNOWN;
    default: return FADF_HAVEVARTYPE;
    }
}

// Only arrays of real VARIANT cells can be read into VARIANTs and cleared afterwards.
bool HoldsVariants(const SAFEARRAY* a) noexcept {
    return a->cbElements == sizeof(VARIANT) && (a->fFeatures & FADF_VARIANT) &&
           !(a->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_RECORD));
}

bool VariantEqualNoCase(const VARIANT& a, const VARIANT& b) noexcept {
    if (a.vt == VT_BSTR && b.vt == VT_BSTR && a.bstrVal && b.bstrVal) return NoCaseBstrEqual(a.bstrVal, b.bstrVal);
    return VariantEqualExact(a, b);
}

}  // namespace

bool VariantEqualExact(const VARIANT& a, const VARIANT& b) noexcept {
    if (a.vt == VT_NULL && b.vt == VT_NULL) return true;
    if (a.vt != b.vt) return false;
    return ::VarCmp(const_cast<VARIANT*>(&a), const_cast<VARIANT*>(&b), LOCALE_USER_DEFAULT, 0) ==
           static_cast<HRESULT>(VARCMP_EQ);
}

template <ULONG N>
CKorSafeArrayT<N>::CKorSafeArrayT(CKorSafeArrayT&& other) noexcept
    : psa(std::exchange(other.psa, nullptr)), owned(std::exchange(other.owned, true)) {}

template <ULONG N>
CKorSafeArrayT<N>& CKorSafeArrayT<N>::operator=(CKorSafeArrayT&& other) noexcept {
    if (this != &other) {
        if (owned) Destroy();
        psa = std::exchange(other.psa, nullptr);
        owned = std::exchange(other.owned, true);
    }
    return *this;
}

template <ULONG N>
void CKorSafeArrayT<N>::Allocate(ULONG rows, ULONG cols, USHORT features, VARTYPE vt) {
    if (owned) Destroy();
    psa = nullptr;
    // oleaut32 would wrap the byte count of a table beyond 32 bits round to a small block.
    if (static_cast<unsigned long long>(rows) * cols * N > 0xFFFFFFFFull) throw std::runtime_error("CKorSafeArray");
    SAFEARRAY* a = nullptr;
    if (FAILED(::SafeArrayAllocDescriptor(2, &a)) || !a) throw std::runtime_error("CKorSafeArray");
    owned = true;
    a->rgsabound[0].cElements = rows;
    a->rgsabound[0].lLbound = 0;
    a->rgsabound[1].cElements = cols;
    a->rgsabound[1].lLbound = 0;
    a->cbElements = N;
    a->fFeatures = features;
    if (FAILED(::SafeArrayAllocData(a))) {
        ::SafeArrayDestroyDescriptor(a);
        throw std::runtime_error("CKorSafeArray");
    }
    // The word FADF_HAVEVARTYPE names sits just in front of the descriptor.
    reinterpret_cast<DWORD*>(a)[-1] = vt;
    psa = a;
}

template <ULONG N>
void CKorSafeArrayT<N>::Create(ULONG rows, ULONG cols, VARTYPE vt) {
    Allocate(rows, cols, FeaturesOf(vt), vt);
}

template <ULONG N>
void CKorSafeArrayT<N>::Create(ULONG rows, ULONG cols, Features features) requires kVariantCells {
    Allocate(rows, cols, features.bits, (features.bits & FADF_HAVEVARTYPE) ? VT_VARIANT : VT_EMPTY);
}

template <ULONG N>
void CKorSafeArrayT<N>::CopyFrom(SAFEARRAY* src) noexcept {
    // Copy before letting the old array go: src may be the array held here.
    SAFEARRAY* copy = nullptr;
    if (src && FAILED(::SafeArrayCopy(src, &copy))) copy = nullptr;
    if (owned) Destroy();
    psa = copy;
    owned = true;
}

template <ULONG N>
void CKorSafeArrayT<N>::Attach(SAFEARRAY* array, bool owns) noexcept {
    psa = array;
    owned = owns;
}

template <ULONG N>
SAFEARRAY* CKorSafeArrayT<N>::Detach() noexcept {
    return std::exchange(psa, nullptr);
}

template <ULONG N>
HRESULT CKorSafeArrayT<N>::Lock() noexcept { return ::SafeArrayLock(psa); }

template <ULONG N>
HRESULT CKorSafeArrayT<N>::Unlock() noexcept { return ::SafeArrayUnlock(psa); }

template <ULONG N>
ULONG CKorSafeArrayT<N>::GetRowCount() const noexcept {
    return (psa && psa->cDims >= 1) ? psa->rgsabound[0].cElements : 0;
}

template <ULONG N>
ULONG CKorSafeArrayT<N>::GetColumnCount() const noexcept {
    return (psa && psa->cDims >= 2) ? psa->rgsabound[1].cElements : 1;
}

// A one-dimensional array is one column: its element index is the row.
template <ULONG N>
HRESULT CKorSafeArrayT<N>::CellIndex(LONG row, LONG col, LONG index[2]) const noexcept {
    if (psa->cDims < 1 || psa->cDims > 2 || !psa->pvData) return E_INVALIDARG;
    if (row < 0 || static_cast<ULONG>(row) >= GetRowCount()) return E_INVALIDARG;
    if (col < 0 || static_cast<ULONG>(col) >= GetColumnCount()) return E_INVALIDARG;
    if (psa->cDims == 1) {
        index[0] = row;
        index[1] = 0;
    } else {
        index[0] = col;
        index[1] = row;
    }
    return S_OK;
}

template <ULONG N>
HRESULT CKorSafeArrayT<N>::GetElement(void* out, LONG row, LONG col) const noexcept {
    if (!psa) return E_UNEXPECTED;
    if (!out) return E_POINTER;
    // Locking only when nobody holds the lock keeps a caller's long walk free of per-cell locks.
    const bool lock = psa->cLocks == 0 && SUCCEEDED(::SafeArrayLock(psa));
    LONG index[2];
    HRESULT hr = CellIndex(row, col, index);
    if (SUCCEEDED(hr)) hr = ::SafeArrayGetElement(psa, index, out);
    if (lock) ::SafeArrayUnlock(psa);
    return hr;
}

template <ULONG N>
HRESULT CKorSafeArrayT<N>::PutElement(void* value, LONG row, LONG col) noexcept {
    if (!psa) return E_UNEXPECTED;
    if (!value) return E_POINTER;
    LONG index[2];
    HRESULT hr = CellIndex(row, col, index);
    if (FAILED(hr)) return hr;
    // Bits that say nothing about the cells' kind: the VARTYPE and IID words, where the memory
    // lives, and the reserved ones (oleaut32 marks vectors there).
    constexpr USHORT kIgnored = FADF_HAVEVARTYPE | FADF_HAVEIID | FADF_AUTO | FADF_STATIC | FADF_EMBEDDED |
                                FADF_FIXEDSIZE | FADF_RESERVED;
    const USHORT kind = psa->fFeatures & ~kIgnored;
    if (kind == FADF_BSTR || kind == FADF_UNKNOWN || kind == FADF_DISPATCH)
        return ::SafeArrayPutElement(psa, index, *static_cast<void**>(value));
    if (kind == FADF_VARIANT || kind == 0) return ::SafeArrayPutElement(psa, index, value);
    return E_FAIL;
}

template <ULONG N>
HRESULT CKorSafeArrayT<N>::Redim(ULONG rows) noexcept {
    if (!psa) return E_POINTER;
    if (rows == GetRowCount()) return S_OK;
    SAFEARRAYBOUND bound = {rows, 0};
    return ::SafeArrayRedim(psa, &bound);
}

template <ULONG N>
void CKorSafeArrayT<N>::Destroy() noexcept {
    if (!psa) return;
    while (psa->cLocks > 0 && SUCCEEDED(::SafeArrayUnlock(psa))) {}
    ::SafeArrayDestroyData(psa);
    ::SafeArrayDestroyDescriptor(psa);
    psa = nullptr;
}

template <ULONG N>
HRESULT CKorSafeArrayT<N>::AppendUnique(SAFEARRAY* other, LONG keyCol) noexcept requires kVariantCells {
    if (!other) return S_OK;
    if (::SafeArrayGetDim(other) != 2 || !HoldsVariants(other)) return E_INVALIDARG;
    CKorSafeArray source;
    source.Attach(other, false);
    const ULONG otherRows = source.GetRowCount();
    const ULONG cols = source.GetColumnCount();
    LONG next = 0;
    if (psa) {
        if (GetColumnCount() != cols || psa->fFeatures != other->fFeatures) return E_INVALIDARG;
        next = static_cast<LONG>(GetRowCount());
        Redim(GetRowCount() + otherRows);
    } else {
        try {
            Create(otherRows, cols, Features{other->fFeatures});
        } catch (const std::exception&) {
            return E_OUTOFMEMORY;
        }
    }
    for (ULONG r = 0; r < otherRows; ++r) {
        kcom::CComVariant key;
        HRESULT hr = source.GetElement(&key, static_cast<LONG>(r), keyCol);
        if (FAILED(hr)) return hr;
        // The not yet filled rows count too, so a repeated key of other is taken once.
        if (FindRowNoCase(key, keyCol) >= 0) continue;
        for (ULONG c = 0; c < cols; ++c) {
            kcom::CComVariant cell;
            hr = source.GetElement(&cell, static_cast<LONG>(r), static_cast<LONG>(c));
            if (SUCCEEDED(hr)) hr = PutElement(&cell, next, static_cast<LONG>(c));
            if (FAILED(hr)) return hr;
        }
        ++next;
    }
    Redim(static_cast<ULONG>(next));
    return S_OK;
}

template <ULONG N>
template <class Equal>
LONG CKorSafeArrayT<N>::FindRowWith(const VARIANT& value, LONG col, Equal equal) const noexcept {
    if (!psa || psa->cbElements != sizeof(VARIANT) || FAILED(::SafeArrayLock(psa))) return -1;
    LONG found = -1;
    const LONG rows = static_cast<LONG>(GetRowCount());
    LONG index[2];
    for (LONG r = 0; r < rows && found < 0; ++r) {
        void* cell = nullptr;
        if (FAILED(CellIndex(r, col, index)) || FAILED(::SafeArrayPtrOfIndex(psa, index, &cell))) break;
        if (equal(*static_cast<const VARIANT*>(cell), value)) found = r;
    }
    ::SafeArrayUnlock(psa);
    return found;
}

template <ULONG N>
LONG CKorSafeArrayT<N>::FindRow(const VARIANT& value, LONG col) const noexcept requires kVariantCells {
    return FindRowWith(value, col, VariantEqualExact);
}

template <ULONG N>
LONG CKorSafeArrayT<N>::FindRowNoCase(const VARIANT& value, LONG col) const noexcept requires kVariantCells {
    return FindRowWith(value, col, VariantEqualNoCase);
}

template class CKorSafeArrayT<sizeof(VARIANT)>;
template class CKorSafeArrayT<4>;
