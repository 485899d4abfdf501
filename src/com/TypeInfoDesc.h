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

// Too few positional arguments for a member of info: answered as ITypeInfo::Invoke answers them,
// before it is called, because Wine's Invoke keeps a reference to each object among the arguments
// it had already taken when it meets the missing one.
inline HRESULT CheckArgumentCount(ITypeInfo* info, DISPID id, WORD flags, const DISPPARAMS& params) noexcept {
    CComQIPtr<ITypeInfo2> info2(info);
    if (params.cNamedArgs || !info2) return S_OK;
    UINT index = 0;
    const bool found =
        ((flags & DISPATCH_METHOD) && SUCCEEDED(info2->GetFuncIndexOfMemId(id, INVOKE_FUNC, &index))) ||
        ((flags & DISPATCH_PROPERTYGET) && SUCCEEDED(info2->GetFuncIndexOfMemId(id, INVOKE_PROPERTYGET, &index)));
    CFuncDesc func;
    if (!found || FAILED(GetFuncDesc(info, index, func))) return S_OK;
    if (func->cParamsOpt < 0) return S_OK;  // a variable argument list takes any count
    UINT required = 0;
    for (SHORT p = 0; p < func->cParams; ++p)
        if (!(func->lprgelemdescParam[p].paramdesc.wParamFlags & (PARAMFLAG_FOPT | PARAMFLAG_FRETVAL | PARAMFLAG_FLCID)))
            required = static_cast<UINT>(p) + 1;
    return params.cArgs < required ? DISP_E_BADPARAMCOUNT : S_OK;
}

}  // namespace kcom
