#include "com/TypeInfoCall.h"
#include <climits>
#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "com/TypeInfoDesc.h"

namespace kcom {

namespace {

// A value of this type holds memory or a reference of its own.
bool Owns(VARTYPE vt) noexcept {
    if (vt & VT_BYREF) return false;
    if (vt & VT_ARRAY) return true;
    const VARTYPE base = vt & VT_TYPEMASK;
    return base == VT_BSTR || base == VT_DISPATCH || base == VT_UNKNOWN || base == VT_RECORD;
}

HRESULT VariantTypeOf(ITypeInfo* info, const TYPEDESC& desc, VARTYPE& vt);

// The description a user-defined type refers to.
HRESULT Referenced(ITypeInfo* info, HREFTYPE ref, CComPtr<ITypeInfo>& type, CTypeAttr& attr) {
    const HRESULT hr = info->GetRefTypeInfo(ref, type.Put());
    return FAILED(hr) ? hr : GetTypeAttr(type, attr);
}

// The VARIANT type of a user-defined type: an enumeration is a number, an interface an object.
HRESULT UserDefinedType(ITypeInfo* info, HREFTYPE ref, VARTYPE& vt) {
    CComPtr<ITypeInfo> type;
    CTypeAttr attr;
    if (const HRESULT hr = Referenced(info, ref, type, attr); FAILED(hr)) return hr;
    switch (attr->typekind) {
        case TKIND_ENUM: vt |= VT_I4; return S_OK;
        case TKIND_ALIAS: return VariantTypeOf(type, attr->tdescAlias, vt);
        case TKIND_INTERFACE: vt |= (attr->wTypeFlags & TYPEFLAG_FDISPATCHABLE) ? VT_DISPATCH : VT_UNKNOWN; return S_OK;
        case TKIND_DISPATCH:
        case TKIND_COCLASS: vt |= VT_DISPATCH; return S_OK;
        default: return E_NOTIMPL;
    }
}

// The type of the VARIANT Invoke hands the member for a parameter of this description: one level
// of pointer is a reference, and a pointer to an interface is the object itself.
HRESULT VariantTypeOf(ITypeInfo* info, const TYPEDESC& desc, VARTYPE& vt) {
    const TYPEDESC* d = &desc;
    if (!(vt & (VT_BYREF | VT_ARRAY)) && d->vt == VT_PTR) {
        d = d->lptdesc;
        const bool twice = d->vt == VT_PTR && d->lptdesc->vt == VT_USERDEFINED;
        if (d->vt == VT_USERDEFINED || twice) {
            VARTYPE object = twice ? VT_BYREF : 0;
            const VARTYPE base = UserDefinedType(info, (twice ? d->lptdesc : d)->hreftype, object) == S_OK
                                     ? object & VT_TYPEMASK
                                     : VT_EMPTY;
            if (base == VT_UNKNOWN || base == VT_DISPATCH) return vt |= object, S_OK;
        }
        vt = VT_BYREF;
    }
    switch (d->vt) {
        case VT_HRESULT: vt |= VT_ERROR; return S_OK;
        case VT_USERDEFINED: return UserDefinedType(info, d->hreftype, vt);
        case VT_VOID:
        case VT_CARRAY:
        case VT_PTR:
        case VT_LPSTR:
        case VT_LPWSTR: return DISP_E_BADVARTYPE;
        case VT_SAFEARRAY: vt |= VT_ARRAY; return VariantTypeOf(info, *d->lptdesc, vt);
        case VT_INT: vt |= VT_I4; return S_OK;
        case VT_UINT: vt |= VT_UI4; return S_OK;
        default: vt |= d->vt; return S_OK;
    }
}

// The interface an object passed for a user-defined parameter is asked for; of a class, its default.
HRESULT InterfaceOf(ITypeInfo* info, HREFTYPE ref, GUID& iid) {
    CComPtr<ITypeInfo> type;
    CTypeAttr attr;
    HRESULT hr = Referenced(info, ref, type, attr);
    if (FAILED(hr)) return hr;
    switch (attr->typekind) {
        case TKIND_ALIAS: return InterfaceOf(type, attr->tdescAlias.hreftype, iid);
        case TKIND_INTERFACE:
        case TKIND_DISPATCH: iid = attr->guid; return S_OK;
        case TKIND_COCLASS: {
            UINT chosen = 0;
            for (INT implFlags = 0; chosen < attr->cImplTypes; ++chosen)
                if (SUCCEEDED(type->GetImplTypeFlags(chosen, &implFlags)) && (implFlags & IMPLTYPEFLAG_FDEFAULT)) break;
            HREFTYPE implRef = 0;
            hr = type->GetRefTypeOfImplType(chosen < attr->cImplTypes ? chosen : 0, &implRef);
            return FAILED(hr) ? hr : InterfaceOf(type, implRef, iid);
        }
        default: return E_UNEXPECTED;
    }
}

}  // namespace

HRESULT CTypeInfoCall::Invoke(void* target, EXCEPINFO* excepInfo, UINT* argErr) noexcept {
    return Guard([&]() -> HRESULT {
        // The member Invoke runs: the first in the table of the id's functions whose kind the flags
        // name. One that is restricted, or a restricted type, is left to Invoke.
        CTypeAttr attr;
        CComQIPtr<ITypeInfo2> info2(info_);
        UINT first = UINT_MAX;
        if (info2 && SUCCEEDED(GetTypeAttr(info_, attr)) && !(attr->wTypeFlags & TYPEFLAG_FRESTRICTED)) {
            for (INVOKEKIND kind : {INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF}) {
                UINT index = 0;
                if ((flags_ & kind) && SUCCEEDED(info2->GetFuncIndexOfMemId(id_, kind, &index)) && index < first)
                    first = index;
            }
        }
        CFuncDesc func;
        if (first != UINT_MAX && SUCCEEDED(GetFuncDesc(info_, first, func)) &&
            (func->wFuncFlags & FUNCFLAG_FRESTRICTED) && func->memid >= 0)
            func.Reset();
        HRESULT hr = func ? Foresee(*func.get()) : S_OK;
        if (FAILED(hr)) return hr;
        if (hr == S_OK) return info_->Invoke(target, id_, flags_, &params_, result_, excepInfo, argErr);
        DISPID put = DISPID_PROPERTYPUT;  // a property put's value stays named
        const UINT named = (func->invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) ? 1 : 0;
        DISPPARAMS byPosition{args_.data(), named ? &put : nullptr, static_cast<UINT>(args_.size()), named};
        hr = info_->Invoke(target, id_, flags_, &byPosition, result_, excepInfo, argErr);
        // What Invoke wrote into an argument (an [out] parameter's value) is the caller's.
        for (size_t k = 0; k < args_.size(); ++k)
            if (origins_[k] >= 0) params_.rgvarg[origins_[k]] = args_[k];
        return hr;
    });
}

HRESULT CTypeInfoCall::Foresee(const FUNCDESC& func) {
    if (func.funckind != FUNC_VIRTUAL && func.funckind != FUNC_PUREVIRTUAL) return S_OK;
    const UINT count = static_cast<UINT>(func.cParams), named = params_.cNamedArgs, given = params_.cArgs;
    // Refused before any argument is read: Invoke answers these itself.
    if ((func.invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) &&
        (!named || params_.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
        return S_OK;
    if (func.cParamsOpt < 0 && named) return S_OK;
    std::vector<VARTYPE> types(count, VT_EMPTY);
    for (UINT i = 0; i < count; ++i)
        if (FAILED(VariantTypeOf(info_, func.lprgelemdescParam[i].tdesc, types[i]))) return S_OK;

    std::vector<const VARIANT*> sources(count, nullptr);
    bool holding = false;  // a parameter before holds a copy Invoke would not free on a failure
    bool lost = false;     // a parameter's copy Invoke would not free even on success
    UINT taken = 0, counted = 0;
    for (UINT i = 0; i < count; ++i) {
        const PARAMDESC& param = func.lprgelemdescParam[i].paramdesc;
        const USHORT kind = param.wParamFlags;
        if (kind & PARAMFLAG_FLCID) continue;
        const VARIANT* src = nullptr;
        for (UINT j = 0; j < named && !src; ++j) {
            const DISPID name = params_.rgdispidNamedArgs[j];
            if (name == static_cast<DISPID>(i) || (i == count - 1 && name == DISPID_PROPERTYPUT)) src = &params_.rgvarg[j];
        }
        if (!src && taken + named < given) src = &params_.rgvarg[given - 1 - taken++];
        if (kind & PARAMFLAG_FRETVAL) {
            // An argument in the place of the result: only a property read of one parameter passes
            // its arguments on (to the default member of what it read).
            if (i < given && (count != 1 || !result_ || !(func.invkind & INVOKE_PROPERTYGET))) return DISP_E_BADPARAMCOUNT;
            if (i != count - 1) return E_UNEXPECTED;
            continue;
        }
        const bool optional = (kind & PARAMFLAG_FOPT) != 0;
        const bool defaulted = optional && (kind & PARAMFLAG_FHASDEFAULT) && param.pparamdescex;
        const bool cleared = counted++ < given || defaulted;  // Invoke frees its copy afterwards
        if (!src || (optional && src->vt == VT_ERROR && src->scode == DISP_E_PARAMNOTFOUND)) {
            if (!optional) return DISP_E_BADPARAMCOUNT;
            if (defaulted) holding = holding || Owns(param.pparamdescex->varDefaultValue.vt);
            continue;
        }
        sources[i] = src;
        const VARTYPE want = types[i], have = src->vt;
        const bool in = (kind & PARAMFLAG_FIN) != 0;
        const TYPEDESC& desc = func.lprgelemdescParam[i].tdesc;
        const bool userType = desc.vt == VT_USERDEFINED || (desc.vt == VT_PTR && desc.lptdesc->vt == VT_USERDEFINED);
        // How Invoke passes the argument: into its own copy (copy), one it keeps aside (kept), or
        // the caller's value itself.
        enum { kSame, kCopy, kConvert, kAsideCopy, kAsideConvert, kList } way = kSame;
        VARTYPE made = have;
        if (want != have) {
            if (want == VT_VARIANT) way = kCopy;
            else if (want == (VT_VARIANT | VT_BYREF)) way = in ? kAsideCopy : kSame;
            else if ((want == (VT_VARIANT | VT_ARRAY) || want == (VT_VARIANT | VT_ARRAY | VT_BYREF)) && func.cParamsOpt < 0) way = kList;
            else if ((want & VT_BYREF) && !(have & VT_BYREF)) way = in ? kAsideConvert : kSame, made = want & ~VT_BYREF;
            else way = kConvert, made = want;
        }
        const bool copy = (way == kCopy || way == kConvert) && Owns(made);
        const bool kept = copy || way == kList || ((way == kAsideCopy || way == kAsideConvert) && Owns(made));
        // The argument is tried only where a failure would lose a copy: a conversion of an object
        // may ask it for its value, which Invoke then asks once more.
        if (holding || (userType && copy)) {
            CComVariant scratch;
            HRESULT hr = S_OK;
            if (way == kCopy || way == kAsideCopy) hr = ::VariantCopy(&scratch, const_cast<VARIANT*>(src));
            if (way == kConvert || way == kAsideConvert)
                hr = ::VariantChangeType(&scratch, const_cast<VARIANT*>(src), 0, made);
            if (FAILED(hr)) return hr;
            const VARIANT& value = way == kConvert ? static_cast<const VARIANT&>(scratch) : *src;
            if (userType && way != kAsideCopy && way != kAsideConvert && way != kList &&
                (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) && value.punkVal) {
                GUID iid{};
                CComPtr<IUnknown> asked;
                hr = InterfaceOf(info_, (desc.vt == VT_PTR ? desc.lptdesc : &desc)->hreftype, iid);
                if (SUCCEEDED(hr)) hr = value.punkVal->QueryInterface(iid, reinterpret_cast<void**>(asked.Put()));
                if (FAILED(hr)) return hr;
            }
        }
        holding = holding || kept;
        lost = lost || (copy && !cleared);
    }
    if (!lost) return S_OK;
    ByPosition(func, sources);
    return S_FALSE;
}

void CTypeInfoCall::ByPosition(const FUNCDESC& func, const std::vector<const VARIANT*>& sources) {
    const UINT count = static_cast<UINT>(func.cParams);
    const bool put = (func.invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) != 0;
    // The parameters that take arguments by position, in order; a property put's value stays named.
    std::vector<const VARIANT*> ordered;
    for (UINT i = 0; i < count; ++i) {
        const USHORT kind = func.lprgelemdescParam[i].paramdesc.wParamFlags;
        if ((kind & (PARAMFLAG_FLCID | PARAMFLAG_FRETVAL)) || (put && i == count - 1)) continue;
        ordered.push_back(sources[i]);
    }
    // A put passes every parameter before its value; a method those up to its last argument.
    if (!put)
        while (!ordered.empty() && !ordered.back()) ordered.pop_back();
    VARIANT missing;
    ::VariantInit(&missing);
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    auto add = [&](const VARIANT* v) {
        args_.push_back(v ? *v : missing);
        origins_.push_back(v ? static_cast<int>(v - params_.rgvarg) : -1);
    };
    if (put) add(sources[count - 1]);
    for (size_t k = ordered.size(); k-- > 0;) add(ordered[k]);
}

}  // namespace kcom
