#pragma once
// The dispatch interface of a test object once custom objects joined it: the union of the members
// of every source. Each distinct name (without case) gets one DISPID of its own, counted from 7;
// a call goes to the source added last that defines the name, with that source's own DISPID. The
// type description of the union is built with OLE Automation's CreateDispTypeInfo, and the
// wrapper hands itself out as that ITypeInfo.
#include <windows.h>
#include <oaidl.h>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "tables/KorBSTR.h"

class CMultiTypeInfoWrapper : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public ITypeInfo {
public:
    BEGIN_COM_MAP(CMultiTypeInfoWrapper)
        COM_INTERFACE_ENTRY(ITypeInfo)
    END_COM_MAP()

    ~CMultiTypeInfoWrapper() override;
    // A new wrapper with one reference.
    static HRESULT Create(CMultiTypeInfoWrapper** out) noexcept;

    // Appends a source and merges its members; the result of merging its properties. A source
    // that is not owned (the owner's own default dispatch interface, which holds this wrapper) is
    // kept without a reference.
    HRESULT Add(IDispatch* source, bool owned = true) noexcept;
    // The owner is going: sources held without a reference are forgotten, since a handed-out
    // ITypeInfo may outlive it.
    void ForgetUnownedSources() noexcept;
    size_t SourceCount() const noexcept { return sources_.size(); }

    // The merged interface's IDispatch side.
    HRESULT ResolveNames(LPOLESTR* names, UINT count, DISPID* ids) noexcept;
    HRESULT InvokeMember(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excepInfo, UINT* argErr) noexcept;
    // Rebuilds the type description and hands out this wrapper as its ITypeInfo.
    HRESULT GetMergedTypeInfo(UINT index, ITypeInfo** out) noexcept;

    // ITypeInfo: E_NOTIMPL until a description is built, then the built one's answers.
    STDMETHOD(GetTypeAttr)(TYPEATTR** attr) override;
    STDMETHOD(GetTypeComp)(ITypeComp** comp) override;
    STDMETHOD(GetFuncDesc)(UINT index, FUNCDESC** desc) override;
    STDMETHOD(GetVarDesc)(UINT index, VARDESC** desc) override;
    STDMETHOD(GetNames)(MEMBERID memid, BSTR* names, UINT maxNames, UINT* count) override;
    STDMETHOD(GetRefTypeOfImplType)(UINT index, HREFTYPE* ref) override;
    STDMETHOD(GetImplTypeFlags)(UINT index, INT* flags) override;
    STDMETHOD(GetIDsOfNames)(LPOLESTR* names, UINT count, MEMBERID* ids) override;
    STDMETHOD(Invoke)(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, UINT* argErr) override;
    STDMETHOD(GetDocumentation)(MEMBERID memid, BSTR* name, BSTR* docString, DWORD* helpContext,
                                BSTR* helpFile) override;
    STDMETHOD(GetDllEntry)(MEMBERID memid, INVOKEKIND kind, BSTR* dll, BSTR* name, WORD* ordinal) override;
    STDMETHOD(GetRefTypeInfo)(HREFTYPE ref, ITypeInfo** info) override;
    STDMETHOD(AddressOfMember)(MEMBERID memid, INVOKEKIND kind, PVOID* address) override;
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, PVOID* object) override;
    STDMETHOD(GetMops)(MEMBERID memid, BSTR* mops) override;
    STDMETHOD(GetContainingTypeLib)(ITypeLib** lib, UINT* index) override;
    STDMETHOD_(void, ReleaseTypeAttr)(TYPEATTR* attr) override;
    STDMETHOD_(void, ReleaseFuncDesc)(FUNCDESC* desc) override;
    STDMETHOD_(void, ReleaseVarDesc)(VARDESC* desc) override;

private:
    struct Source {
        IDispatch* dispatch;
        bool owned;
    };
    struct Member {
        kcom::CComBSTR name;
        DISPID dispid = DISPID_UNKNOWN;
        DISPID sourceDispid = DISPID_UNKNOWN;
        long sourceIndex = -1;
        kcom::CComBSTR docString;
        kcom::CComBSTR helpFile;
        DWORD helpContext = 0;
        long memberIndex = -1;
    };
    struct Param {
        std::wstring name;
        VARTYPE vt;
    };
    // One entry of the table CreateDispTypeInfo is given.
    struct Method {
        std::wstring name;
        DISPID dispid;
        CALLCONV cc;
        WORD invokeFlags;
        VARTYPE returnType;
        std::vector<Param> params;
    };
    struct Collected;

    HRESULT Collect(ITypeInfo* info, std::vector<Collected>& methods, std::vector<Collected>& properties,
                    int depth);
    HRESULT Merge(std::vector<Collected>& members, IDispatch* source, long sourceIndex);
    HRESULT Rebuild();
    IDispatch* SourceAt(long index) const noexcept;
    const Method* FindMethod(DISPID id) const noexcept;

    std::vector<Source> sources_;
    std::vector<std::unique_ptr<Member>> members_;
    std::map<BSTR, Member*, NoCaseBstrOrder> byName_;  // keyed on the record's own name
    std::map<DISPID, Member*> byDispid_;
    std::vector<Method> methods_;
    DISPID lastDispid_ = 6;
    kcom::CComPtr<ITypeInfo> built_;

};
