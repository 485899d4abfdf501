#pragma once
// The package's tables: two-dimensional SAFEARRAYs whose cell (row, col) has the index vector
// {col, row}, so the cells of one row lie side by side and bound 0 of the descriptor is the row count.
#include <windows.h>
#include <oleauto.h>

// ElementSize 16: VARIANT cells (CKorSafeArray); 4: BSTR or interface cells (CKorPtrSafeArray).
template <ULONG ElementSize>
class CKorSafeArrayT {
    static constexpr bool kVariantCells = ElementSize == sizeof(VARIANT);

public:
    // Features given outright. VARTYPE and USHORT are the same type, so the word needs a name.
    struct Features {
        USHORT bits;
    };

    CKorSafeArrayT() noexcept = default;
    CKorSafeArrayT(ULONG rows, ULONG cols, VARTYPE vt) { Create(rows, cols, vt); }
    CKorSafeArrayT(const CKorSafeArrayT& other) noexcept { CopyFrom(other.psa); }
    CKorSafeArrayT(CKorSafeArrayT&& other) noexcept;
    ~CKorSafeArrayT() { if (owned) Destroy(); }
    CKorSafeArrayT& operator=(const CKorSafeArrayT& other) noexcept { CopyFrom(other.psa); return *this; }
    CKorSafeArrayT& operator=(CKorSafeArrayT&& other) noexcept;

    // Raises std::runtime_error("CKorSafeArray") when the descriptor or the data cannot be allocated.
    void Create(ULONG rows, ULONG cols, VARTYPE vt);
    void Create(ULONG rows, ULONG cols, Features features) requires kVariantCells;

    // A copy owned by the wrapper (none when src is null or the copy fails); src may be our own array.
    void CopyFrom(SAFEARRAY* src) noexcept;
    // Takes the pointer and flag; an array held before is let go, never destroyed.
    void Attach(SAFEARRAY* array, bool owns) noexcept;
    SAFEARRAY* Detach() noexcept;
    HRESULT Lock() noexcept;
    HRESULT Unlock() noexcept;
    ULONG GetRowCount() const noexcept;
    ULONG GetColumnCount() const noexcept;

    // The caller frees what it gets (VARIANT copy, new BSTR, AddRef'd interface).
    HRESULT GetElement(void* out, LONG row, LONG col) const noexcept;
    // BSTR and interface arrays take a pointer to the value; VARIANT and plain arrays the value itself.
    HRESULT PutElement(void* value, LONG row, LONG col) noexcept;
    HRESULT Redim(ULONG rows) noexcept;
    void Destroy() noexcept;

    // Appends the rows of other whose key cell (compared without case) is not yet present.
    HRESULT AppendUnique(SAFEARRAY* other, LONG keyCol) noexcept requires kVariantCells;
    LONG FindRow(const VARIANT& value, LONG col) const noexcept requires kVariantCells;
    LONG FindRowNoCase(const VARIANT& value, LONG col) const noexcept requires kVariantCells;

    SAFEARRAY* psa = nullptr;
    bool owned = true;

private:
    void Allocate(ULONG rows, ULONG cols, USHORT features, VARTYPE vt);
    HRESULT CellIndex(LONG row, LONG col, LONG index[2]) const noexcept;
    template <class Equal>
    LONG FindRowWith(const VARIANT& value, LONG col, Equal equal) const noexcept;
};

using CKorSafeArray = CKorSafeArrayT<sizeof(VARIANT)>;
using CKorPtrSafeArray = CKorSafeArrayT<4>;

extern template class CKorSafeArrayT<sizeof(VARIANT)>;
extern template class CKorSafeArrayT<4>;

// Exact VARIANT equality of the package: two VT_NULL are equal, different VARTYPEs differ, any
// other pair is equal when VarCmp (LOCALE_USER_DEFAULT, no flags) answers VARCMP_EQ.
bool VariantEqualExact(const VARIANT& a, const VARIANT& b) noexcept;
