#pragma once
// One named property of a test object's description: its value with flags, declared VARTYPE,
// compare type and property data, and its persisted record.
#include <windows.h>
#include <objidl.h>
#include <oleauto.h>
#include "com/ComVariant.h"
#include "description/PropertyOwner.h"

enum PropertyFlagBits : DWORD {
    PROP_NOT_SAVED = 0x1,
    PROP_NEW_RECORD = 0x8,
    PROP_IDENTIFICATION = 0x10,
    PROP_EXPRESSION = 0x100,      // the value is an expression text the host evaluates
    PROP_LAST_RESORT = 0x400,
    PROP_OLD_LOCAL_SHEET = 0x1000,  // records before version 3 only
    PROP_RELATIONS = 0x200000,
};

inline constexpr DWORD kPropertyRecordVersion = 5;

class CProperty : public kcom::CComVariant {
public:
    explicit CProperty(IPropertyOwner* owner = nullptr) noexcept : m_owner(owner) {}
    CProperty(const CProperty&) = delete;
    CProperty& operator=(const CProperty&) = delete;
    virtual ~CProperty();

    virtual const char* GetClassName() const noexcept { return "CProperty"; }
    virtual HRESULT Save(IStream* stream);
    virtual HRESULT Load(IStream* stream);
    // Each non-null pointer sets its field; raises kcom::ComError when a VARIANT cannot be copied.
    virtual HRESULT Set(const VARIANT* value, const DWORD* flags, const USHORT* type, const DWORD* compareType,
                        const VARIANT* propData);
    // The evaluated value (expression texts through the host, converted to the declared type).
    virtual HRESULT GetValue(VARIANT* out, DWORD* flags, USHORT* type, DWORD* compareType, VARIANT* propData);
    // The value as stored. Out VARIANTs must be initialised; each out pointer may be null.
    virtual HRESULT Get(VARIANT* out, DWORD* flags, USHORT* type, DWORD* compareType, VARIANT* propData);
    // S_OK when actual matches this property's value, E_FAIL when not, or a conversion's error.
    virtual HRESULT Compare(VARIANT actual);

    HRESULT SaveValue(IStream* stream) noexcept;
    HRESULT LoadValue(IStream* stream) noexcept;

    IPropertyOwner* m_owner;
    DWORD m_flags = PROP_NEW_RECORD;
    USHORT m_type = VT_EMPTY;
    DWORD m_compareType = 0;
    DWORD m_persistVersion = kPropertyRecordVersion;
    DWORD m_loadedVersion = kPropertyRecordVersion;
    kcom::CComVariant m_propData;

protected:
    // The stored fields into the caller's out pointers.
    void CopyFieldsOut(DWORD* flags, USHORT* type, DWORD* compareType) const noexcept;
    // Stores text from the owner as the value (value only), when the owner answers.
    HRESULT StoreOwnerText(HRESULT (IPropertyOwner::*read)(BSTR*));

private:
    // A later record version reads as the current one.
    DWORD LoadedVersion() const noexcept {
        return m_loadedVersion > kPropertyRecordVersion ? kPropertyRecordVersion : m_loadedVersion;
    }
    HRESULT LoadRecordFields(IStream* stream);
    void UpgradeBeforeVersion3();
};

// Text read from the owner as the value: every time when Fresh, otherwise only while no value is stored.
template <HRESULT (IPropertyOwner::*Read)(BSTR*), bool Fresh>
class COwnerTextProperty : public CProperty {
public:
    using CProperty::CProperty;
    HRESULT GetValue(VARIANT* out, DWORD* flags, USHORT* type, DWORD* compareType, VARIANT* propData) override {
        if (m_owner && (Fresh || vt == VT_EMPTY || m_type == VT_ERROR)) {
            HRESULT hr = StoreOwnerText(Read);
            if (FAILED(hr)) return hr;
        }
        return CProperty::GetValue(out, flags, type, compareType, propData);
    }
};

class CKorClassProperty : public COwnerTextProperty<&IPropertyOwner::GetTestObjectClass, false> {
public:
    using COwnerTextProperty::COwnerTextProperty;
    const char* GetClassName() const noexcept override { return "CKorClassProperty"; }
};

class CKorLogicalNameProperty : public COwnerTextProperty<&IPropertyOwner::GetLogicalNameForReport, true> {
public:
    using COwnerTextProperty::COwnerTextProperty;
    const char* GetClassName() const noexcept override { return "CKorLogicalNameProperty"; }
};

class CKorGenTypeProperty : public COwnerTextProperty<&IPropertyOwner::GetGenTypeName, false> {
public:
    using COwnerTextProperty::COwnerTextProperty;
    const char* GetClassName() const noexcept override { return "CKorGenTypeProperty"; }
};

// Holds the host's relations collection; hands out and takes in copies of it.
class CKorObjectRelationsProperty : public CProperty {
public:
    using CProperty::CProperty;
    ~CKorObjectRelationsProperty() override = default;
    const char* GetClassName() const noexcept override { return "CKorObjectRelationsProperty"; }
    HRESULT Set(const VARIANT* value, const DWORD* flags, const USHORT* type, const DWORD* compareType,
                const VARIANT* propData) override;
    HRESULT GetValue(VARIANT* out, DWORD* flags, USHORT* type, DWORD* compareType, VARIANT* propData) override;
    // A type word of 0x4000 on entry asks for the stored collection itself rather than a copy.
    HRESULT Get(VARIANT* out, DWORD* flags, USHORT* type, DWORD* compareType, VARIANT* propData) override;
    HRESULT Compare(VARIANT actual) override;
};
