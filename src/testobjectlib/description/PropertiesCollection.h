#pragma once
// A test object's description: its property records kept by name, and their stream.
//   tag 0, u32 collection version 4; per saved record the marker "@@FFFF@@\0", the name (BSTR
//   stream form), u32 class-name length with the NUL and the class name, u32 record version,
//   then the record's own fields; the trailer marker and ".EndOfCollection"; the end tag FFFF.
#include <windows.h>
#include <objidl.h>
#include <map>
#include <memory>
#include "com/ComBSTR.h"
#include "tables/KorBSTR.h"
#include "description/Property.h"

inline constexpr DWORD kPropertiesCollectionVersion = 4;

class CPropertiesCollection {
public:
    struct NameOrder {
        using is_transparent = void;
        bool operator()(BSTR a, BSTR b) const noexcept { return NoCaseBstrLess(a, b); }
    };
    using Map = std::map<kcom::CComBSTR, std::unique_ptr<CProperty>, NameOrder>;

    explicit CPropertiesCollection(IPropertyOwner* owner = nullptr) noexcept : m_owner(owner) {}
    CPropertiesCollection(const CPropertiesCollection&) = delete;
    CPropertiesCollection& operator=(const CPropertiesCollection&) = delete;
    virtual ~CPropertiesCollection();
    virtual HRESULT Save(IStream* stream);
    virtual HRESULT Load(IStream* stream);

    CProperty* Find(BSTR name) const noexcept;
    // Takes property over (a new CProperty when null), sets its flags word and inserts it.
    HRESULT Add(BSTR name, CProperty* property, DWORD flags);
    // Takes property over; a record already held under the name is deleted and replaced.
    HRESULT Insert(BSTR name, CProperty* property);

    // The evaluated value; E_INVALIDARG for an absent name. value is cleared first.
    HRESULT Get(BSTR name, VARIANT* value, DWORD* flags, USHORT* type, DWORD* compareType, VARIANT* propData);
    // The value as stored; E_INVALIDARG for an absent name.
    HRESULT GetExpr(BSTR name, VARIANT* value, DWORD* flags, USHORT* type, DWORD* compareType, VARIANT* propData);
    // Never creates a record: E_INVALIDARG for an absent name.
    HRESULT Set(BSTR name, VARIANT value, DWORD* flags, USHORT* type, DWORD* compareType, VARIANT* propData);
    HRESULT Compare(BSTR name, VARIANT actual);

    // E_FAIL for an absent name; the getters answer E_INVALIDARG for a null out pointer first.
    HRESULT GetPropFlags(BSTR name, DWORD* flags);
    HRESULT GetPropCompareType(BSTR name, DWORD* compareType);
    HRESULT GetPropType(BSTR name, USHORT* type);
    HRESULT SetPropFlags(BSTR name, DWORD flags);
    HRESULT SetPropCompareType(BSTR name, DWORD compareType);
    HRESULT SetPropType(BSTR name, USHORT type);
    HRESULT GetPropData(BSTR name, VARIANT* data);
    HRESULT SetPropData(BSTR name, VARIANT data);

    const Map& Records() const noexcept { return m_map; }
    IPropertyOwner* Owner() const noexcept { return m_owner; }

    Map m_map;
    kcom::CComVariant m_extra;
    IPropertyOwner* m_owner;

private:
    // E_FAIL for an absent name, else what use answers for the record.
    template <class F>
    HRESULT WithRecord(BSTR name, F&& use);
    HRESULT WriteCollectionToStream(IStream* stream);
    HRESULT ReadCollectionFromStream(IStream* stream);
};
