#pragma once
// Runtime identifiers: one package's identity (CPackId), several with one current (CRunId), and the
// holders through which the rest of the package creates, reads and releases them.
#include <windows.h>
#include <oleauto.h>
#include <map>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "tables/KorBSTR.h"
#include "kestrune.h"

// Created in process only (no class factory, no registry).
HRESULT CreatePackId(REFIID iid, void** out) noexcept;
HRESULT CreateRunId(REFIID iid, void** out) noexcept;

// The IRuntimeID methods, declared alike by both identifier classes.
#define KOR_IRUNTIMEID_METHODS \
    STDMETHOD(get_Package)(UINT* pVal) override; \
    STDMETHOD(put_Package)(UINT newVal) override; \
    STDMETHOD(get_Size)(UINT* pVal) override; \
    STDMETHOD(get_BSTRValue)(BSTR Name, BSTR* pVal) override; \
    STDMETHOD(put_BSTRValue)(BSTR Name, BSTR newVal) override; \
    STDMETHOD(get_VARIANTValue)(BSTR Name, VARIANT* pVal) override; \
    STDMETHOD(put_VARIANTValue)(BSTR Name, VARIANT newVal) override; \
    STDMETHOD(get_lValue)(BSTR Name, long* pVal) override; \
    STDMETHOD(put_lValue)(BSTR Name, long newVal) override; \
    STDMETHOD(IsEmpty)() override; \
    STDMETHOD(IsEqual)(IRuntimeID* otherID) override; \
    STDMETHOD(Clone)(IRuntimeID** otherID) override;

class CPackId : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IRuntimeID {
public:
    BEGIN_COM_MAP(CPackId)
        COM_INTERFACE_ENTRY(IRuntimeID)
    END_COM_MAP()

    KOR_IRUNTIMEID_METHODS

private:
    struct NameLess {
        using is_transparent = void;
        bool operator()(BSTR a, BSTR b) const noexcept { return CKorBSTR::IsLess(a, b); }
    };
    // Converted copy of a named value; E_INVALIDARG for an absent name.
    HRESULT ChangedCopy(BSTR name, VARTYPE vt, kcom::CComVariant& out) const noexcept;
    // The value stored under name, created VT_EMPTY when absent.
    kcom::CComVariant& Slot(BSTR name);

    UINT m_package = 0;
    std::map<kcom::CComBSTR, kcom::CComVariant, NameLess> m_values;
};

class CRunId : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IRuntimeID2 {
public:
    CRunId() noexcept : m_cursor(m_ids.end()) {}

    BEGIN_COM_MAP(CRunId)
        COM_INTERFACE_ENTRY(IRuntimeID2)
        COM_INTERFACE_ENTRY(IRuntimeID)
    END_COM_MAP()

    KOR_IRUNTIMEID_METHODS

    STDMETHOD(GetPackageId)(UINT package, IRuntimeID** id) override;
    STDMETHOD(AddPackageId)(IRuntimeID* id) override;
    STDMETHOD(RemovePackageId)(UINT package) override;
    STDMETHOD(NextPackageId)(IRuntimeID** id, boolean restart) override;
    STDMETHOD(Duplicate)(IRuntimeID2** id) override;

    // Deep copy of source's identities into this empty identifier; raises std::runtime_error("CRunId").
    void CopyIdentities(const CRunId& source);

private:
    kcom::CComPtr<IRuntimeID> m_current;
    std::map<UINT, kcom::CComPtr<IRuntimeID>> m_ids;
    bool m_restart = true;
    std::map<UINT, kcom::CComPtr<IRuntimeID>>::iterator m_cursor;
};

// Holder of one package identity.
class CPackageId {
public:
    CPackageId() noexcept = default;
    explicit CPackageId(IRuntimeID* id) noexcept;
    virtual ~CPackageId() = default;

    void Attach(IRuntimeID* id) noexcept;
    UINT GetPackage() const noexcept;
    HRESULT GetLong(LPCOLESTR name, long* out) const noexcept;

    IRuntimeID* operator->() const noexcept { return m_id; }
    operator IRuntimeID*() const noexcept { return m_id; }

private:
    kcom::CComPtr<IRuntimeID> m_id;
};

// Holder of a whole runtime identifier.
class CRuntimeId {
public:
    CRuntimeId() noexcept = default;
    // A new identifier whose current identity is the given package's.
    explicit CRuntimeId(UINT package) noexcept;
    CRuntimeId(const CRuntimeId& other) noexcept = default;
    CRuntimeId(CRuntimeId&& other) noexcept = default;
    // addRef false takes the other holder's reference over and leaves that holder empty.
    CRuntimeId(CRuntimeId& other, bool addRef) noexcept;
    // An IRuntimeID2 is held as it is; a plain identity is wrapped in a new identifier.
    explicit CRuntimeId(IRuntimeID* id) noexcept;
    // Only a non-null VT_UNKNOWN that answers IRuntimeID is taken.
    explicit CRuntimeId(const VARIANT& value) noexcept;
    virtual ~CRuntimeId() = default;
    CRuntimeId& operator=(const CRuntimeId& other) noexcept = default;
    CRuntimeId& operator=(CRuntimeId&& other) noexcept = default;

    UINT GetPackage() const noexcept;
    HRESULT GetLong(LPCOLESTR name, long* out) const noexcept;
    // Stores a copy; the caller's value stays the caller's.
    HRESULT PutVariantValue(LPCOLESTR name, const VARIANT& value) noexcept;
    HRESULT GetPackageId(UINT package, CPackageId& out) const noexcept;

    // Out-parameter for a callee to fill; the held identifier is released first.
    IRuntimeID2** Put() noexcept { return m_id.Put(); }
    // Taking the owner's address would hand out the wrapper, not the slot: Put() is the out-parameter.
    void operator&() = delete;
    IRuntimeID2* operator->() const noexcept { return m_id; }
    operator IRuntimeID2*() const noexcept { return m_id; }

private:
    void AttachIdentity(IRuntimeID* id) noexcept;
    kcom::CComPtr<IRuntimeID2> m_id;
};
