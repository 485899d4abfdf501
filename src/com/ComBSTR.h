#pragma once
// Owning BSTR.
#include <windows.h>
#include <oleauto.h>
#include <new>
#include <memory>
#include <utility>

namespace kcom {

class CComBSTR {
public:
    CComBSTR() noexcept = default;
    // Allocation failures throw std::bad_alloc; COM methods turn that into E_OUTOFMEMORY.
    CComBSTR(LPCOLESTR s) : b_(s ? Alloc(s, static_cast<UINT>(wcslen(s))) : nullptr) {}
    CComBSTR(LPCOLESTR s, UINT len) : b_(Alloc(s, len)) {}
    CComBSTR(const CComBSTR& o) : b_(o.b_ ? Alloc(o.b_, ::SysStringLen(o.b_)) : nullptr) {}
    CComBSTR(CComBSTR&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    ~CComBSTR() { ::SysFreeString(b_); }

    CComBSTR& operator=(const CComBSTR& o) {
        if (this != std::addressof(o)) Assign(o.b_ ? Alloc(o.b_, ::SysStringLen(o.b_)) : nullptr);
        return *this;
    }
    CComBSTR& operator=(CComBSTR&& o) noexcept {
        if (this != std::addressof(o)) Assign(std::exchange(o.b_, nullptr));
        return *this;
    }
    CComBSTR& operator=(LPCOLESTR s) {
        Assign(s ? Alloc(s, static_cast<UINT>(wcslen(s))) : nullptr);
        return *this;
    }

    static CComBSTR Take(BSTR b) noexcept { CComBSTR r; r.b_ = b; return r; }
    void Attach(BSTR b) noexcept { Assign(b); }
    BSTR Detach() noexcept { return std::exchange(b_, nullptr); }
    void Empty() noexcept { Assign(nullptr); }
    HRESULT CopyTo(BSTR* out) const noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!b_) return S_OK;
        *out = ::SysAllocStringLen(b_, ::SysStringLen(b_));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    UINT Length() const noexcept { return ::SysStringLen(b_); }
    bool IsNull() const noexcept { return b_ == nullptr; }
    const wchar_t* c_str() const noexcept { return b_ ? b_ : L""; }
    operator BSTR() const noexcept { return b_; }
    // Out-parameter for a callee to fill; the held text is freed first.
    BSTR* Put() noexcept { Empty(); return &b_; }
    // Taking the owner's address would hand out the wrapper, not the slot: Put() is the out-parameter.
    void operator&() = delete;

private:
    static BSTR Alloc(LPCOLESTR s, UINT len) {
        BSTR b = ::SysAllocStringLen(s, len);
        if (!b) throw std::bad_alloc();
        return b;
    }
    void Assign(BSTR b) noexcept { ::SysFreeString(std::exchange(b_, b)); }
    BSTR b_ = nullptr;
};

}  // namespace kcom
