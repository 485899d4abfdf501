#include "activex/dispatch/MultiTypeInfoWrapper.h"
#include <cwchar>
#include <new>
#include "com/ComError.h"
#include "com/TypeInfoDesc.h"

namespace {

constexpr LCID kNeutralLcid = 0x800;
constexpr UINT kMaxNames = 20;  // the method's name and up to 19 parameters'
// Implemented types nest only a few levels in any real description; a deeper chain is a loop.
constexpr int kMaxDepth = 16;

// The VARTYPE a PARAMDATA can carry for a type description. An interface reference becomes
// VT_UNKNOWN or VT_DISPATCH, so that padding can give an object parameter a null object.
VARTYPE SimpleType(ITypeInfo* info, const TYPEDESC& type, int depth = 0) {
    if (depth > kMaxDepth) return VT_VARIANT;
    switch (type.vt) {
    case VT_PTR: {
        if (!type.lptdesc) return VT_VARIANT;
        const VARTYPE inner = SimpleType(info, *type.lptdesc, depth + 1);
        if (type.lptdesc->vt == VT_USERDEFINED && (inner == VT_UNKNOWN || inner == VT_DISPATCH)) return inner;
        return (inner & VT_BYREF) ? VT_BYREF | VT_VARIANT : VT_BYREF | inner;
    }
    case VT_SAFEARRAY:
        return type.lptdesc ? VT_ARRAY | (SimpleType(info, *type.lptdesc, depth + 1) & VT_TYPEMASK) : VT_ARRAY | VT_VARIANT;
    case VT_USERDEFINED: {
        kcom::CComPtr<ITypeInfo> ref;
        kcom::CTypeAttr attr;
        if (FAILED(info->GetRefTypeInfo(type.hreftype, ref.Put())) || !ref || FAILED(kcom::GetTypeAttr(ref, attr)))
            return VT_VARIANT;
        switch (attr->typekind) {
        case TKIND_ENUM: return VT_I4;
        case TKIND_ALIAS: return SimpleType(ref, attr->tdescAlias, depth + 1);
        case TKIND_RECORD: return VT_RECORD;
        case TKIND_DISPATCH: return VT_DISPATCH;
        case TKIND_INTERFACE:
            return (attr->wTypeFlags & TYPEFLAG_FDUAL) ? VT_DISPATCH : VT_UNKNOWN;
        default: return VT_UNKNOWN;
        }
    }
    case VT_CARRAY: return VT_VARIANT;
    default: return type.vt;
    }
}

VARTYPE ReturnType(ITypeInfo* info, const TYPEDESC& type) {
    if (type.vt == VT_HRESULT || type.vt == VT_VOID) return VT_EMPTY;
    return SimpleType(info, type);
}

// Copies a text into an out-parameter the caller asked for.
HRESULT CopyOut(const kcom::CComBSTR& text, BSTR* out) noexcept { return out ? text.CopyTo(out) : S_OK; }

}  // namespace

struct CMultiTypeInfoWrapper::Collected {
    kcom::CComBSTR name;
    long index = -1;  // its FUNCDESC's index in the type that lists it; -1 for a variable
    WORD invokeFlags = 0;
    CALLCONV cc = CC_STDCALL;
    bool hidden = false;  // hidden or restricted: it draws a DISPID but stays out of the table
    std::vector<Param> params;
    VARTYPE returnType = VT_EMPTY;
    kcom::CComBSTR docString;
    kcom::CComBSTR helpFile;
    DWORD helpContext = 0;
};

CMultiTypeInfoWrapper::~CMultiTypeInfoWrapper() {
    for (Source& s : sources_)
        if (s.owned && s.dispatch) s.dispatch->Release();
}

HRESULT CMultiTypeInfoWrapper::Create(CMultiTypeInfoWrapper** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    kcom::CComObject<CMultiTypeInfoWrapper>* p = nullptr;
    HRESULT hr = kcom::CComObject<CMultiTypeInfoWrapper>::CreateInstance(&p);
    if (FAILED(hr)) return hr;
    p->AddRef();
    *out = p;
    return S_OK;
}

IDispatch* CMultiTypeInfoWrapper::SourceAt(long index) const noexcept {
    if (index < 0 || static_cast<size_t>(index) >= sources_.size()) return nullptr;
    return sources_[static_cast<size_t>(index)].dispatch;
}

void CMultiTypeInfoWrapper::ForgetUnownedSources() noexcept {
    for (Source& s : sources_)
        if (!s.owned) s.dispatch = nullptr;
}

// ---- Adding a source ---------------------------------------------------------------------------

HRESULT CMultiTypeInfoWrapper::Add(IDispatch* source, bool owned) noexcept {
    if (!source) return E_POINTER;
    return kcom::Guard([&] {
        sources_.push_back({source, owned});
        if (owned) source->AddRef();
        const long index = static_cast<long>(sources_.size()) - 1;

        kcom::CComPtr<ITypeInfo> info;
        HRESULT hr = source->GetTypeInfo(0, 0, info.Put());
        if (FAILED(hr)) return hr;
        if (!info) return E_FAIL;
        std::vector<Collected> methods, properties;
        hr = Collect(info, methods, properties, 0);
        if (FAILED(hr)) return hr;
        Merge(methods, source, index);
        return Merge(properties, source, index);
    });
}

// The type's own members, then each implemented type depth-first; IUnknown and IDispatch are
// passed over with their members.
HRESULT CMultiTypeInfoWrapper::Collect(ITypeInfo* info, std::vector<Collected>& methods,
                                       std::vector<Collected>& properties, int depth) {
    if (depth > kMaxDepth) return S_OK;
    kcom::CTypeAttr attr;
    HRESULT hr = kcom::GetTypeAttr(info, attr);
    if (FAILED(hr)) return hr;
    if (::IsEqualGUID(attr->guid, IID_IUnknown) || ::IsEqualGUID(attr->guid, IID_IDispatch)) return S_OK;

    auto document = [&](MEMBERID memid, Collected& c) {
        info->GetDocumentation(memid, nullptr, c.docString.Put(), &c.helpContext, c.helpFile.Put());
    };
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        kcom::CFuncDesc func;
        if (FAILED(kcom::GetFuncDesc(info, i, func))) continue;
        BSTR raw[kMaxNames] = {};
        UINT count = 0;
        info->GetNames(func->memid, raw, kMaxNames, &count);
        std::vector<kcom::CComBSTR> names;
        for (UINT n = 0; n < count && n < kMaxNames; ++n) names.push_back(kcom::CComBSTR::Take(raw[n]));

        Collected c;
        if (!names.empty()) c.name = names[0];
        c.index = static_cast<long>(i);
        c.invokeFlags = static_cast<WORD>(func->invkind);
        c.cc = func->callconv;
        c.hidden = (func->wFuncFlags & (FUNCFLAG_FHIDDEN | FUNCFLAG_FRESTRICTED)) != 0;
        for (SHORT p = 0; p < func->cParams; ++p) {
            const size_t n = static_cast<size_t>(p) + 1;
            c.params.push_back({n < names.size() ? names[n].c_str() : L"",
                                SimpleType(info, func->lprgelemdescParam[p].tdesc)});
        }
        const bool retval = func->cParams > 0 &&
            (func->lprgelemdescParam[func->cParams - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
        if (retval) {
            c.params.pop_back();
            c.returnType = VT_VARIANT;
        } else {
            c.returnType = ReturnType(info, func->elemdescFunc.tdesc);
        }
        document(func->memid, c);
        (func->invkind == INVOKE_FUNC ? methods : properties).push_back(std::move(c));
    }
    for (UINT i = 0; i < attr->cVars; ++i) {
        kcom::CVarDesc var;
        if (FAILED(kcom::GetVarDesc(info, i, var))) continue;
        if (var->wVarFlags & (VARFLAG_FHIDDEN | VARFLAG_FRESTRICTED)) continue;
        BSTR raw = nullptr;
        UINT count = 0;
        info->GetNames(var->memid, &raw, 1, &count);
        Collected c;
        c.name = kcom::CComBSTR::Take(count ? raw : nullptr);
        c.returnType = SimpleType(info, var->elemdescVar.tdesc);
        document(var->memid, c);
        properties.push_back(std::move(c));
    }
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
        HREFTYPE ref = 0;
        kcom::CComPtr<ITypeInfo> base;
        if (FAILED(info->GetRefTypeOfImplType(i, &ref)) || FAILED(info->GetRefTypeInfo(ref, base.Put())) || !base)
            continue;
        Collect(base, methods, properties, depth + 1);
    }
    return S_OK;
}

HRESULT CMultiTypeInfoWrapper::Merge(std::vector<Collected>& members, IDispatch* source, long sourceIndex) {
    return kcom::Guard([&] {
        for (Collected& c : members) {
            if (c.name.Length() == 0) continue;
            Member* m = nullptr;
            auto found = byName_.find(c.name);
            const bool known = found != byName_.end();
            if (known) {
                m = found->second;
            } else {
                auto record = std::make_unique<Member>();
                record->name = c.name;
                record->dispid = lastDispid_ + 1;
                m = record.get();
                members_.push_back(std::move(record));
                byName_[m->name] = m;
                byDispid_[m->dispid] = m;
                ++lastDispid_;
            }
            // The last source that defines a name owns it.
            m->sourceIndex = sourceIndex;
            if (c.docString.Length()) m->docString = c.docString;
            if (c.helpFile.Length()) m->helpFile = c.helpFile;
            if (c.helpContext) m->helpContext = c.helpContext;
            m->memberIndex = c.index;
            LPOLESTR name = c.name;
            DISPID sourceDispid = DISPID_UNKNOWN;
            if (FAILED(source->GetIDsOfNames(IID_NULL, &name, 1, kNeutralLcid, &sourceDispid)))
                sourceDispid = DISPID_UNKNOWN;
            m->sourceDispid = sourceDispid;

            if (c.hidden) continue;
            Method entry{c.name.c_str(), m->dispid, c.cc, c.invokeFlags, c.returnType, std::move(c.params)};
            Method* same = nullptr;
            if (known)
                for (Method& e : methods_)
                    if (e.name == entry.name) {
                        same = &e;
                        break;
                    }
            if (same)
                *same = std::move(entry);
            else
                methods_.push_back(std::move(entry));
        }
        return S_OK;
    });
}

// ---- The merged interface ----------------------------------------------------------------------

HRESULT CMultiTypeInfoWrapper::ResolveNames(LPOLESTR* names, UINT count, DISPID* ids) noexcept {
    if (!ids || (count && !names)) return E_POINTER;
    return kcom::Guard([&] {
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (!names[i]) return DISP_E_MEMBERNOTFOUND;
            const kcom::CComBSTR name(names[i]);
            auto found = byName_.find(name);
            if (found == byName_.end()) return DISP_E_MEMBERNOTFOUND;
            ids[i] = found->second->dispid;
        }
        return S_OK;
    });
}

const CMultiTypeInfoWrapper::Method* CMultiTypeInfoWrapper::FindMethod(DISPID id) const noexcept {
    for (const Method& e : methods_)
        if (e.dispid == id) return &e;
    return nullptr;
}

HRESULT CMultiTypeInfoWrapper::InvokeMember(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                            VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept {
    if (!params) return E_POINTER;
    auto found = byDispid_.find(id);
    if (found == byDispid_.end()) return DISP_E_MEMBERNOTFOUND;
    IDispatch* source = SourceAt(found->second->sourceIndex);
    if (!source) return DISP_E_MEMBERNOTFOUND;

    // Missing trailing arguments of a method call are filled in, by position from the first. Only
    // a plain method call is padded: a property's one entry may describe its other accessor, and
    // named arguments have no position to keep. The object's own interface (source 0) is left to
    // its type information, which knows the defaults: padded, Click would go to (0, 0) instead of
    // the centre and a wait's -1 would become no wait.
    const Method* entry = FindMethod(id);
    const size_t declared = entry ? entry->params.size() : 0;
    const bool pad = found->second->sourceIndex != 0 && entry && !entry->name.empty() && entry->cc == CC_STDCALL &&
                     declared < kMaxNames &&
                     params->cArgs < declared && params->cNamedArgs == 0 && (flags & DISPATCH_METHOD) &&
                     entry->invokeFlags == INVOKE_FUNC;
    std::vector<VARIANTARG> padded;
    if (pad) {
        try {
            padded.resize(declared);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        const size_t given = params->cArgs;
        for (size_t i = 0; i < declared; ++i) {
            VARIANTARG& v = padded[i];
            ::VariantInit(&v);
            if (i >= declared - given) {
                v = params->rgvarg[i - (declared - given)];  // shallow: the caller keeps ownership
            } else if (entry->params[declared - 1 - i].vt == VT_DISPATCH) {
                v.vt = VT_DISPATCH;
                v.pdispVal = nullptr;
            }
        }
    }
    VARIANTARG* const callerArgs = params->rgvarg;
    const UINT callerCount = params->cArgs;
    if (pad) {
        params->rgvarg = padded.data();
        params->cArgs = static_cast<UINT>(declared);
    }
    const HRESULT hr = source->Invoke(found->second->sourceDispid, riid, lcid, flags, params, result, excepInfo, argErr);
    params->rgvarg = callerArgs;
    params->cArgs = callerCount;
    return hr;
}

HRESULT CMultiTypeInfoWrapper::GetMergedTypeInfo(UINT index, ITypeInfo** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    HRESULT hr = kcom::Guard([&] { return Rebuild(); });
    if (FAILED(hr)) return hr;
    *out = this;
    AddRef();
    return S_OK;
}

HRESULT CMultiTypeInfoWrapper::Rebuild() {
    built_.Release();
    std::vector<std::vector<PARAMDATA>> params(methods_.size());
    std::vector<METHODDATA> data(methods_.size());
    for (size_t i = 0; i < methods_.size(); ++i) {
        const Method& m = methods_[i];
        for (const Param& p : m.params) params[i].push_back({const_cast<OLECHAR*>(p.name.c_str()), p.vt});
        data[i] = {const_cast<OLECHAR*>(m.name.c_str()), params[i].empty() ? nullptr : params[i].data(), m.dispid,
                   static_cast<UINT>(i), m.cc, static_cast<UINT>(m.params.size()), m.invokeFlags, m.returnType};
    }
    INTERFACEDATA table{data.empty() ? nullptr : data.data(), static_cast<UINT>(data.size())};
    kcom::CComPtr<ITypeInfo> created;
    HRESULT hr = ::CreateDispTypeInfo(&table, kNeutralLcid, created.Put());
    if (FAILED(hr)) return hr;
    if (!created) return E_FAIL;
    // OLE Automation describes the table as a class implementing one interface; clients want the
    // interface.
    kcom::CTypeAttr attr;
    if (SUCCEEDED(kcom::GetTypeAttr(created, attr)) && attr->typekind == TKIND_COCLASS && attr->cImplTypes >= 1) {
        HREFTYPE ref = 0;
        kcom::CComPtr<ITypeInfo> implemented;
        if (SUCCEEDED(created->GetRefTypeOfImplType(0, &ref)) &&
            SUCCEEDED(created->GetRefTypeInfo(ref, implemented.Put())) && implemented) {
            built_ = implemented;
            return S_OK;
        }
    }
    built_ = created;
    return S_OK;
}

// ---- ITypeInfo ---------------------------------------------------------------------------------

#define KOR_BUILT_OR_NOTIMPL(call) return built_ ? built_->call : E_NOTIMPL

STDMETHODIMP CMultiTypeInfoWrapper::GetTypeAttr(TYPEATTR** attr) { KOR_BUILT_OR_NOTIMPL(GetTypeAttr(attr)); }
STDMETHODIMP CMultiTypeInfoWrapper::GetTypeComp(ITypeComp** comp) { KOR_BUILT_OR_NOTIMPL(GetTypeComp(comp)); }
STDMETHODIMP CMultiTypeInfoWrapper::GetVarDesc(UINT index, VARDESC** desc) { KOR_BUILT_OR_NOTIMPL(GetVarDesc(index, desc)); }
STDMETHODIMP CMultiTypeInfoWrapper::GetNames(MEMBERID memid, BSTR* names, UINT maxNames, UINT* count) {
    KOR_BUILT_OR_NOTIMPL(GetNames(memid, names, maxNames, count));
}
STDMETHODIMP CMultiTypeInfoWrapper::GetRefTypeOfImplType(UINT index, HREFTYPE* ref) {
    KOR_BUILT_OR_NOTIMPL(GetRefTypeOfImplType(index, ref));
}
STDMETHODIMP CMultiTypeInfoWrapper::GetImplTypeFlags(UINT index, INT* flags) {
    KOR_BUILT_OR_NOTIMPL(GetImplTypeFlags(index, flags));
}
STDMETHODIMP CMultiTypeInfoWrapper::GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) {
    KOR_BUILT_OR_NOTIMPL(GetIDsOfNames(names, count, ids));
}
STDMETHODIMP CMultiTypeInfoWrapper::Invoke(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                                           VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    KOR_BUILT_OR_NOTIMPL(Invoke(instance, memid, flags, params, result, excepInfo, argErr));
}
STDMETHODIMP CMultiTypeInfoWrapper::GetDllEntry(MEMBERID memid, INVOKEKIND kind, BSTR* dll, BSTR* name, WORD* ordinal) {
    KOR_BUILT_OR_NOTIMPL(GetDllEntry(memid, kind, dll, name, ordinal));
}
STDMETHODIMP CMultiTypeInfoWrapper::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) {
    KOR_BUILT_OR_NOTIMPL(GetRefTypeInfo(ref, info));
}
STDMETHODIMP CMultiTypeInfoWrapper::AddressOfMember(MEMBERID memid, INVOKEKIND kind, PVOID* address) {
    KOR_BUILT_OR_NOTIMPL(AddressOfMember(memid, kind, address));
}
STDMETHODIMP CMultiTypeInfoWrapper::CreateInstance(IUnknown* outer, REFIID iid, PVOID* object) {
    KOR_BUILT_OR_NOTIMPL(CreateInstance(outer, iid, object));
}
STDMETHODIMP CMultiTypeInfoWrapper::GetMops(MEMBERID memid, BSTR* mops) { KOR_BUILT_OR_NOTIMPL(GetMops(memid, mops)); }
STDMETHODIMP CMultiTypeInfoWrapper::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
    KOR_BUILT_OR_NOTIMPL(GetContainingTypeLib(lib, index));
}
STDMETHODIMP_(void) CMultiTypeInfoWrapper::ReleaseTypeAttr(TYPEATTR* attr) { if (built_) built_->ReleaseTypeAttr(attr); }
STDMETHODIMP_(void) CMultiTypeInfoWrapper::ReleaseFuncDesc(FUNCDESC* desc) { if (built_) built_->ReleaseFuncDesc(desc); }
STDMETHODIMP_(void) CMultiTypeInfoWrapper::ReleaseVarDesc(VARDESC* desc) { if (built_) built_->ReleaseVarDesc(desc); }

#undef KOR_BUILT_OR_NOTIMPL

STDMETHODIMP CMultiTypeInfoWrapper::GetDocumentation(MEMBERID memid, BSTR* name, BSTR* docString,
                                                     DWORD* helpContext, BSTR* helpFile) {
    if (!built_) return E_NOTIMPL;
    if (memid == MEMBERID_NIL) {
        // The merged interface is documented as the first source's type.
        if (IDispatch* first = SourceAt(0)) {
            kcom::CComPtr<ITypeInfo> info;
            HRESULT hr = first->GetTypeInfo(0, 0, info.Put());
            if (FAILED(hr)) return hr;
            if (!info) return E_FAIL;
            return info->GetDocumentation(MEMBERID_NIL, name, docString, helpContext, helpFile);
        }
        return built_->GetDocumentation(memid, name, docString, helpContext, helpFile);
    }
    if (memid == 0) return built_->GetDocumentation(memid, name, docString, helpContext, helpFile);
    auto found = byDispid_.find(memid);
    if (found == byDispid_.end()) return E_INVALIDARG;
    const Member& m = *found->second;
    kcom::CComBSTR outName, outDoc, outFile;
    HRESULT hr = S_OK;
    if (SUCCEEDED(hr)) hr = CopyOut(m.name, name ? outName.Put() : nullptr);
    if (SUCCEEDED(hr)) hr = CopyOut(m.docString, docString ? outDoc.Put() : nullptr);
    if (SUCCEEDED(hr)) hr = CopyOut(m.helpFile, helpFile ? outFile.Put() : nullptr);
    if (FAILED(hr)) return hr;
    if (name) *name = outName.Detach();
    if (docString) *docString = outDoc.Detach();
    if (helpFile) *helpFile = outFile.Detach();
    if (helpContext) *helpContext = m.helpContext;
    return S_OK;
}

STDMETHODIMP CMultiTypeInfoWrapper::GetFuncDesc(UINT index, FUNCDESC** desc) {
    if (!built_) return E_NOTIMPL;
    HRESULT hr = built_->GetFuncDesc(index, desc);
    if (FAILED(hr) || !desc || !*desc) return hr;
    // The table knows no optional parameters; the owning source's own description does.
    FUNCDESC* func = *desc;
    auto found = byDispid_.find(func->memid);
    if (found == byDispid_.end() || found->second->memberIndex <= 0) return hr;
    IDispatch* source = SourceAt(found->second->sourceIndex);
    kcom::CComPtr<ITypeInfo> info;
    kcom::CFuncDesc own;
    if (!source || FAILED(source->GetTypeInfo(0, 0, info.Put())) || !info ||
        FAILED(kcom::GetFuncDesc(info, static_cast<UINT>(found->second->memberIndex), own)) ||
        own->cParams != func->cParams)
        return hr;
    func->cParamsOpt = own->cParamsOpt;
    for (SHORT p = 0; p < func->cParams; ++p) {
        const USHORT flags = own->lprgelemdescParam[p].paramdesc.wParamFlags;
        if (flags & PARAMFLAG_FRETVAL) continue;
        func->lprgelemdescParam[p].paramdesc.wParamFlags = flags & ~PARAMFLAG_FHASDEFAULT;
    }
    return hr;
}
