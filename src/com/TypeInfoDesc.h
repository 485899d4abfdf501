#pragma once
// Owners of the descriptions an ITypeInfo hands out (TYPEATTR, FUNCDESC, VARDESC).
#include <windows.h>
#include <oaidl.h>
#include "com/ComPtr.h"

namespace kcom {

template <class T, void (STDMETHODCALLTYPE ITypeInfo::*ReleaseFn)(T*)>
class CTypeInfoDesc {
public:
    CTypeInfoDesc() noexcept = default;
    CTypeInfoDesc(const CTypeInfoDesc&) = delete;
    CTypeInfoDesc& operator=(const CTypeInfoDesc&) = delete;
    ~CTypeInfoDesc() { Reset(); }

    void Reset() noexcept {
        if (desc_) (info_.get()->*ReleaseFn)(desc_);
        desc_ = nullptr;
        info_.Release();
    }
    // Takes a description that info handed out; it goes back to info.
    void Attach(ITypeInfo* info, T* desc) noexcept {
        Reset();
        info_ = info;
        desc_ = desc;
    }
    T* get() const noexcept { return desc_; }
    T* operator->() const noexcept { return desc_; }
    explicit operator bool() const noexcept { return desc_ != nullptr; }

private:
    CComPtr<ITypeInfo> info_;
    T* desc_ = nullptr;
};

using CTypeAttr = CTypeInfoDesc<TYPEATTR, &ITypeInfo::ReleaseTypeAttr>;
using CFuncDesc = CTypeInfoDesc<FUNCDESC, &ITypeInfo::ReleaseFuncDesc>;
using CVarDesc = CTypeInfoDesc<VARDESC, &ITypeInfo::ReleaseVarDesc>;

// Reads the description into its owner.
inline HRESULT GetTypeAttr(ITypeInfo* info, CTypeAttr& out) noexcept {
    TYPEATTR* attr = nullptr;
    HRESULT hr = info->GetTypeAttr(&attr);
    if (SUCCEEDED(hr)) out.Attach(info, attr);
    return hr;
}
inline HRESULT GetFuncDesc(ITypeInfo* info, UINT index, CFuncDesc& out) noexcept {
    FUNCDESC* desc = nullptr;
    HRESULT hr = info->GetFuncDesc(index, &desc);
    if (SUCCEEDED(hr)) out.Attach(info, desc);
    return hr;
}
inline HRESULT GetVarDesc(ITypeInfo* info, UINT index, CVarDesc& out) noexcept {
    VARDESC* desc = nullptr;
    HRESULT hr = info->GetVarDesc(index, &desc);
    if (SUCCEEDED(hr)) out.Attach(info, desc);
    return hr;
}

}  // namespace kcom
