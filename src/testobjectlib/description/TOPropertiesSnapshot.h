#pragma once
// A test object's properties as a table taken through its ITestObjectInfo, and the per-name
// summary of the flags, types and compare types of a "before" and an "after" snapshot.
#include <windows.h>
#include <oleauto.h>
#include <map>
#include <memory>
#include <string>
#include "tables/KorSafeArray.h"
#include "kestrune.h"

class ITOPropertiesSnapshot {
public:
    virtual long GetRowCount() = 0;
    // name receives a new BSTR the caller frees; the VARIANTs must be initialised.
    virtual HRESULT GetRow(long row, BSTR& name, DWORD* flags, DWORD* type, DWORD* compareType, VARIANT* value,
                           VARIANT* propertyData, VARIANT* expression) = 0;
    virtual ~ITOPropertiesSnapshot() = default;
};

// Rows of seven VARIANT cells: name, value, flags, type, compare type, property data, and the
// expression of a parameterized property (flags exactly 0x100).
class CTOPropertiesSnapshot : public ITOPropertiesSnapshot {
public:
    enum Column : LONG { Name, Value, Flags, Type, CompareType, PropertyData, Expression, ColumnCount };

    // Replaces the held table by the properties of info whose flags match flags; a failure
    // leaves the snapshot empty.
    HRESULT Capture(ITestObjectInfo* info, DWORD flags);
    long GetRowCount() override;
    HRESULT GetRow(long row, BSTR& name, DWORD* flags, DWORD* type, DWORD* compareType, VARIANT* value,
                   VARIANT* propertyData, VARIANT* expression) override;

private:
    HRESULT Build(ITestObjectInfo* info, DWORD flags, CKorSafeArray& table);
    CKorSafeArray m_table;
};

class ITOAttributesChangeSummary {
public:
    virtual HRESULT Compute(ITOPropertiesSnapshot* before, ITOPropertiesSnapshot* after) = 0;
    // The before side of a name: false when the name is in neither snapshot. The words are
    // copied out only when that side has a row for the name.
    virtual bool Lookup(const wchar_t* name, bool* present, DWORD* flags, DWORD* type, DWORD* compareType) = 0;
    // The same for the after side.
    virtual bool Lookup2(const wchar_t* name, bool* present, DWORD* flags, DWORD* type, DWORD* compareType) = 0;
    virtual ~ITOAttributesChangeSummary() = default;
};

class CTOPropertiesFlagsChangeSummaryImpl : public ITOAttributesChangeSummary {
public:
    struct Side {
        DWORD type = 0;
        DWORD flags = 0;
        DWORD compareType = 0;
        BYTE present = 0;
    };
    struct Change {
        Side before;
        Side after;
    };

    HRESULT Compute(ITOPropertiesSnapshot* before, ITOPropertiesSnapshot* after) override;
    bool Lookup(const wchar_t* name, bool* present, DWORD* flags, DWORD* type, DWORD* compareType) override;
    bool Lookup2(const wchar_t* name, bool* present, DWORD* flags, DWORD* type, DWORD* compareType) override;

private:
    bool LookupSide(const wchar_t* name, Side Change::*side, bool* present, DWORD* flags, DWORD* type,
                    DWORD* compareType) const;
    std::map<std::wstring, Change> m_changes;
};

// Owns its implementation; when that could not be allocated, Compute answers E_OUTOFMEMORY
// and the lookups answer false.
class CTOPropertiesFlagsChangeSummary : public ITOAttributesChangeSummary {
public:
    CTOPropertiesFlagsChangeSummary() noexcept;
    HRESULT Compute(ITOPropertiesSnapshot* before, ITOPropertiesSnapshot* after) override;
    bool Lookup(const wchar_t* name, bool* present, DWORD* flags, DWORD* type, DWORD* compareType) override;
    bool Lookup2(const wchar_t* name, bool* present, DWORD* flags, DWORD* type, DWORD* compareType) override;

private:
    std::unique_ptr<ITOAttributesChangeSummary> m_impl;
};
