#include "values/ValueConversion.h"
#include <cstring>
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"
#include <cwchar>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool IsTableArrayType(VARTYPE vt) noexcept {
    return vt == (VT_ARRAY | VT_I4) || vt == (VT_ARRAY | VT_BSTR) || vt == (VT_ARRAY | VT_VARIANT);
}

// A table array seen as rows and columns: descriptor bound 0 is the row count, bound 1 the
// column count; cell (row, col) lies at row * columns + col in memory.
struct TableView {
    SAFEARRAY* psa = nullptr;
    VARTYPE cell = VT_EMPTY;
    ULONG rows = 0;
    ULONG cols = 0;
    ULONGLONG count = 0;

    bool Open(const VARIANT& v) noexcept {
        if (!IsTableArrayType(V_VT(&v)) || !v.parray) return false;
        psa = v.parray;
        cell = V_VT(&v) & VT_TYPEMASK;
        VARTYPE held = VT_EMPTY;
        if (FAILED(::SafeArrayGetVartype(psa, &held)) || held != cell) return false;
        const ULONG size = cell == VT_I4 ? 4 : cell == VT_BSTR ? sizeof(BSTR) : sizeof(VARIANT);
        if (psa->cbElements != size || psa->cDims == 0) return false;
        rows = psa->rgsabound[0].cElements;
        cols = psa->cDims >= 2 ? psa->rgsabound[1].cElements : 1;
        count = 1;
        for (USHORT i = 0; i < psa->cDims; ++i) count *= psa->rgsabound[i].cElements;
        return true;
    }
};


bool TextEqual(BSTR a, BSTR b) noexcept {
    const UINT n = ::SysStringLen(a);
    return n == ::SysStringLen(b) && (n == 0 || std::wmemcmp(a, b, n) == 0);
}

HRESULT SetText(VARIANT* target, const std::wstring& text) noexcept {
    kcom::CComVariant held;
    V_BSTR(&held) = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!V_BSTR(&held)) return E_OUTOFMEMORY;
    V_VT(&held) = VT_BSTR;
    return held.Detach(target);
}

// Rows of column 0, each followed by the separator except the last; a VARIANT row that
// cannot become text is left out.
HRESULT ArrayToText(VARIANT* target, const VARIANT& source, BSTR separator) {
    TableView t;
    if (!t.Open(source) || t.psa->cDims > 2) return E_FAIL;
    std::wstring text;
    const std::wstring_view sep(separator, ::SysStringLen(separator));
    if (t.count) {
        kcom::CSafeArrayDataLock data(t.psa);
        if (!data) return E_FAIL;
        for (ULONG row = 0; row < t.rows; ++row) {
            const ULONGLONG at = static_cast<ULONGLONG>(row) * t.cols;
            if (t.cell == VT_I4) {
                text += std::to_wstring(data.get<LONG>()[at]);
            } else if (t.cell == VT_BSTR) {
                BSTR b = data.get<BSTR>()[at];
                text.append(b ? b : L"", ::SysStringLen(b));
            } else {
                kcom::CComVariant cell;
                if (FAILED(::VariantChangeType(&cell, &data.get<VARIANT>()[at], 0, VT_BSTR))) continue;
                text.append(cell.bstrVal ? cell.bstrVal : L"", ::SysStringLen(cell.bstrVal));
            }
            if (row + 1 < t.rows) text += sep;
        }
    }
    return SetText(target, text);
}

// A segment counts when wcstol reads all of it; a segment read only in part is left out, unless
// it read as 0 and holds no '0' (a segment that starts with no number counts as 0).
bool SegmentAsInteger(const std::wstring& segment, LONG* value) noexcept {
    wchar_t* end = nullptr;
    const long v = std::wcstol(segment.c_str(), &end, 10);
    if (*end == L'\0' || (v == 0 && segment.find(L'0') == std::wstring::npos)) {
        *value = v;
        return true;
    }
    return false;
}

HRESULT TextToArray(VARIANT* target, VARTYPE vt, BSTR text, BSTR separator) {
    const VARTYPE cell = vt & VT_TYPEMASK;
    if (!IsTableArrayType(vt)) return E_FAIL;
    const std::wstring_view all(text ? text : L"", ::SysStringLen(text));
    const std::wstring_view sep(separator, ::SysStringLen(separator));
    std::vector<std::wstring> segments;
    size_t start = 0;
    while (true) {
        // An empty separator cannot split: the whole text is one segment.
        size_t hit = sep.empty() ? std::wstring_view::npos : all.find(sep, start);
        if (hit == std::wstring_view::npos) {
            segments.emplace_back(all.substr(start));
            break;
        }
        segments.emplace_back(all.substr(start, hit - start));
        start = hit + sep.size();
    }
    std::vector<LONG> numbers;
    if (cell == VT_I4) {
        for (const auto& p : segments) {
            LONG v = 0;
            if (SegmentAsInteger(p, &v)) numbers.push_back(v);
        }
    }
    const ULONG rows = static_cast<ULONG>(cell == VT_I4 ? numbers.size() : segments.size());
    SAFEARRAYBOUND bounds[2] = {{1, 0}, {rows, 0}};  // dimension 1 the column, dimension 2 the rows
    kcom::CComSafeArray psa(::SafeArrayCreate(cell, 2, bounds));
    if (!psa) return E_OUTOFMEMORY;
    if (rows) {
        kcom::CSafeArrayDataLock data(psa);
        if (!data) return E_OUTOFMEMORY;
        for (ULONG r = 0; r < rows; ++r) {
            if (cell == VT_I4) {
                data.get<LONG>()[r] = numbers[r];
                continue;
            }
            BSTR b = ::SysAllocStringLen(segments[r].data(), static_cast<UINT>(segments[r].size()));
            if (!b) return E_OUTOFMEMORY;
            if (cell == VT_BSTR) {
                data.get<BSTR>()[r] = b;
            } else {
                VARIANT& v = data.get<VARIANT>()[r];
                V_VT(&v) = VT_BSTR;
                V_BSTR(&v) = b;
            }
        }
    }
    kcom::CComVariant held;
    V_VT(&held) = vt;
    V_ARRAY(&held) = psa.Detach();
    return held.Detach(target);
}

}  // namespace

HRESULT ChangeValueType(VARIANT* target, VARTYPE vt, const VARIANT* source, BSTR separator) {
    if (!target) return E_POINTER;
    if (!source && V_VT(target) == vt) return S_OK;
    if (source && source != target && V_VT(source) == vt && (vt & VT_ARRAY)) {
        kcom::CComVariant copy;
        if (source->parray) {
            HRESULT hr = ::SafeArrayCopy(source->parray, &V_ARRAY(&copy));
            if (FAILED(hr)) return hr;
        }
        V_VT(&copy) = vt;
        return copy.Detach(target);
    }
    const VARIANT& from = source ? *source : *target;
    if (separator) {
        try {
            if ((V_VT(&from) & VT_ARRAY) && vt == VT_BSTR) {
                if (!IsTableArrayType(V_VT(&from))) return E_FAIL;
                return ArrayToText(target, from, separator);
            }
            if (V_VT(&from) == VT_BSTR && (vt & VT_ARRAY)) {
                // The text is read before the target is replaced: target and source may be one.
                return TextToArray(target, vt, from.bstrVal, separator);
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    return ::VariantChangeType(target, const_cast<VARIANT*>(&from), 0, vt);
}

bool CompareArrayValues(const VARIANT& a, const VARIANT& b) {
    if (V_VT(&a) != V_VT(&b)) return false;
    TableView ta, tb;
    if (!ta.Open(a) || !tb.Open(b)) return false;
    if (ta.rows != tb.rows || ta.cols != tb.cols || ta.count != tb.count) return false;
    if (ta.count == 0) return true;
    kcom::CSafeArrayDataLock da(ta.psa), db(tb.psa);
    if (!da || !db) return false;
    for (ULONGLONG i = 0; i < ta.count; ++i) {
        bool equal = ta.cell == VT_I4    ? da.get<LONG>()[i] == db.get<LONG>()[i]
                     : ta.cell == VT_BSTR ? TextEqual(da.get<BSTR>()[i], db.get<BSTR>()[i])
                                          : VariantEqualExact(da.get<VARIANT>()[i], db.get<VARIANT>()[i]);
        if (!equal) return false;
    }
    return true;
}
