#pragma once
// Owning VARIANT; derived classes (property records) keep its layout.
#include <windows.h>
#include <oleauto.h>
#include <memory>
#include <new>
#include "com/ComError.h"

namespace kcom {

// Moves from into the caller's to: to's old value is freed, from is left VT_EMPTY.
inline void MoveVariant(VARIANT* to, VARIANT& from) noexcept {
    if (to == &from) return;
    ::VariantClear(to);
    *to = from;
    ::VariantInit(&from);
}

class CComVariant : public tagVARIANT {
public:
    CComVariant() noexcept { ::VariantInit(this); }
    // Copies that fail throw: std::bad_alloc when memory runs out, ComError otherwise.
    CComVariant(const VARIANT& v) {
        ::VariantInit(this);
        HRESULT hr = Copy(v);
        if (FAILED(hr)) {
            ::VariantClear(this);
            throw ComError(hr);
        }
    }
    CComVariant(const CComVariant& v) : CComVariant(static_cast<const VARIANT&>(v)) {}
    CComVariant(CComVariant&& v) noexcept { ::VariantInit(this); MoveVariant(this, v); }
    CComVariant(LPCOLESTR s) {
        ::VariantInit(this);
        vt = VT_BSTR;
        bstrVal = s ? ::SysAllocString(s) : nullptr;
        if (s && !bstrVal) { vt = VT_EMPTY; throw std::bad_alloc(); }
    }
    CComVariant(long l, VARTYPE t = VT_I4) noexcept { ::VariantInit(this); vt = t; lVal = l; }
    CComVariant(int i) noexcept : CComVariant(static_cast<long>(i)) {}
    CComVariant(bool b) noexcept { ::VariantInit(this); vt = VT_BOOL; boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; }
    CComVariant(double d) noexcept { ::VariantInit(this); vt = VT_R8; dblVal = d; }
    CComVariant(IUnknown* p) noexcept { ::VariantInit(this); vt = VT_UNKNOWN; punkVal = p; if (p) p->AddRef(); }
    CComVariant(IDispatch* p) noexcept { ::VariantInit(this); vt = VT_DISPATCH; pdispVal = p; if (p) p->AddRef(); }
    ~CComVariant() { ::VariantClear(this); }

    // A failed copy leaves the held value as it was; the source may live inside it.
    CComVariant& operator=(const CComVariant& v) { return *this = static_cast<const VARIANT&>(v); }
    CComVariant& operator=(const VARIANT& v) {
        if (&v != this) {
            CComVariant copy(v);
            MoveVariant(this, copy);
        }
        return *this;
    }
    CComVariant& operator=(CComVariant&& v) noexcept {
        MoveVariant(this, v);
        return *this;
    }

    HRESULT Clear() noexcept { return ::VariantClear(this); }
    // Copies; throws std::bad_alloc on out-of-memory, keeps other failures as the HRESULT.
    HRESULT Copy(const VARIANT& src) {
        HRESULT hr = ::VariantCopy(this, const_cast<VARIANT*>(&src));
        if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
        return hr;
    }
    // Copies the value itself, never a reference: a by-reference VARIANT points into memory its
    // caller frees. A VT_BYREF|VT_VARIANT is taken as the VARIANT it refers to, at most two levels
    // deep; one still a VT_BYREF|VT_VARIANT after them is E_INVALIDARG, as VariantCopyInd answers
    // a level it does not follow. A null reference is E_POINTER; a type word no VARIANT has
    // (VT_BYREF|VT_EMPTY and VT_BYREF|VT_NULL among them) is DISP_E_BADVARTYPE, and its pointer
    // is never read. Throws as Copy does.
    HRESULT CopyInd(const VARIANT& src) {
        const VARIANT* v = &src;
        for (int level = 0; v->vt == (VT_BYREF | VT_VARIANT) && level < 2; ++level) {
            if (!v->pvarVal) return E_POINTER;
            v = v->pvarVal;
        }
        if (v->vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
        const VARTYPE base = v->vt & VT_TYPEMASK;
        if ((v->vt & ~(VT_BYREF | VT_ARRAY | VT_TYPEMASK)) || base == 15 || (base > VT_UINT && base != VT_RECORD) ||
            ((v->vt & (VT_BYREF | VT_ARRAY)) == VT_BYREF && base <= VT_NULL))
            return DISP_E_BADVARTYPE;
        if ((v->vt & VT_BYREF) && !v->byref) return E_POINTER;
        HRESULT hr = ::VariantCopyInd(this, const_cast<VARIANT*>(v));
        if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
        return hr;
    }
    HRESULT CopyTo(VARIANT* out) const noexcept {
        if (!out) return E_POINTER;
        ::VariantInit(out);
        return ::VariantCopy(out, const_cast<CComVariant*>(this));
    }
    // Takes the caller's VARIANT over; the source is left VT_EMPTY.
    void Attach(VARIANT* src) noexcept { MoveVariant(this, *src); }
    // Moves the held value into the caller's out-parameter, freeing what that held.
    HRESULT Detach(VARIANT* out) noexcept {
        if (!out) return E_POINTER;
        MoveVariant(out, *this);
        return S_OK;
    }
    HRESULT ChangeType(VARTYPE to, const VARIANT* src = nullptr) noexcept {
        return ::VariantChangeType(this, src ? const_cast<VARIANT*>(src) : this, 0, to);
    }
    // Out-parameter for a callee to fill; the held value is cleared first.
    VARIANT* Put() noexcept { ::VariantClear(this); return this; }
    VARIANT* ptr() noexcept { return this; }
    const VARIANT* ptr() const noexcept { return this; }
};

}  // namespace kcom
