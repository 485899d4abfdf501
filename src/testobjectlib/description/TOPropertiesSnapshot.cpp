#include "description/TOPropertiesSnapshot.h"
#include <new>
#include <set>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "description/Property.h"
#include "errors/TestObjectError.h"

HRESULT CTOPropertiesSnapshot::Capture(ITestObjectInfo* info, DWORD flags) {
    m_table.Destroy();
    if (!info) return E_INVALIDARG;
    return kcom::Guard([&] {
        CKorSafeArray table;
        HRESULT hr = Build(info, flags, table);
        if (FAILED(hr)) return hr;
        m_table = std::move(table);
        return S_OK;
    });
}

HRESULT CTOPropertiesSnapshot::Build(ITestObjectInfo* info, DWORD flags, CKorSafeArray& table) {
    kcom::CComSafeArray names;
    HRESULT hr = info->GetProps(names.Put(), flags);
    if (FAILED(hr)) return hr;
    ULONG count = 0;
    VARTYPE vt = VT_EMPTY;
    if (names) {
        if (FAILED(::SafeArrayGetVartype(names, &vt)) || vt != VT_BSTR || names.get()->cDims == 0) return E_FAIL;
        count = 1;
        for (USHORT i = 0; i < names.get()->cDims; ++i) count *= names.get()->rgsabound[i].cElements;
    }
    table.Create(count, ColumnCount, VT_VARIANT);
    ULONG used = 0;
    if (count) {
        kcom::CSafeArrayDataLock data(names);
        if (!data) return E_FAIL;
        std::set<std::wstring> seen;
        for (ULONG i = 0; i < count; ++i) {
            BSTR name = data.get<BSTR>()[i];
            if (!seen.emplace(name ? name : L"", ::SysStringLen(name)).second) continue;
            if (used >= table.GetRowCount()) return KOR_E_INVALID_ARGUMENTS;
            kcom::CComVariant cell;
            V_VT(&cell) = VT_BSTR;
            V_BSTR(&cell) = ::SysAllocStringLen(name, ::SysStringLen(name));
            if (name && !V_BSTR(&cell)) return E_OUTOFMEMORY;
            hr = table.PutElement(&cell, static_cast<LONG>(used), Name);
            if (FAILED(hr)) return hr;
            ++used;
        }
    }
    hr = table.Redim(used);
    if (FAILED(hr)) return hr;
    hr = info->FillPropsValues(&table.psa);
    if (FAILED(hr)) return hr;
    if (table.psa && table.GetColumnCount() < ColumnCount) return E_FAIL;
    const LONG rows = static_cast<LONG>(table.GetRowCount());
    for (LONG row = 0; row < rows; ++row) {
        kcom::CComVariant rowFlags;
        hr = table.GetElement(&rowFlags, row, Flags);
        if (SUCCEEDED(hr)) hr = rowFlags.ChangeType(VT_I4);
        if (SUCCEEDED(hr)) hr = table.PutElement(&rowFlags, row, Flags);
        if (FAILED(hr)) return hr;
        kcom::CComVariant expression;
        if (rowFlags.lVal == PROP_EXPRESSION) {  // exactly: a parameterized value
            kcom::CComVariant name;
            hr = table.GetElement(&name, row, Name);
            if (FAILED(hr)) return hr;
            if (name.vt != VT_BSTR) return E_FAIL;
            LONG f = 0, t = 0, c = 0;
            kcom::CComVariant answer;
            if (SUCCEEDED(info->get_PropExpr(name.bstrVal, &f, &t, &c, &answer))) expression = std::move(answer);
        }
        hr = table.PutElement(&expression, row, Expression);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

long CTOPropertiesSnapshot::GetRowCount() { return static_cast<long>(m_table.GetRowCount()); }

HRESULT CTOPropertiesSnapshot::GetRow(long row, BSTR& name, DWORD* flags, DWORD* type, DWORD* compareType,
                                      VARIANT* value, VARIANT* propertyData, VARIANT* expression) {
    return kcom::Guard([&] {
        kcom::CComVariant cells[ColumnCount];
        for (LONG col = 0; col < ColumnCount; ++col) {
            HRESULT hr = m_table.GetElement(&cells[col], row, col);
            if (FAILED(hr)) return hr;
        }
        if (cells[Name].vt != VT_BSTR) return E_INVALIDARG;
        for (LONG col : {Flags, Type, CompareType}) {
            HRESULT hr = cells[col].ChangeType(VT_I4);
            if (FAILED(hr)) return hr;
        }
        name = cells[Name].bstrVal;
        V_VT(&cells[Name]) = VT_EMPTY;  // the caller owns the name now
        if (flags) *flags = static_cast<DWORD>(cells[Flags].lVal);
        if (type) *type = static_cast<DWORD>(cells[Type].lVal);
        if (compareType) *compareType = static_cast<DWORD>(cells[CompareType].lVal);
        if (value) cells[Value].Detach(value);
        if (propertyData) cells[PropertyData].Detach(propertyData);
        if (expression) cells[Expression].Detach(expression);
        return S_OK;
    });
}

HRESULT CTOPropertiesFlagsChangeSummaryImpl::Compute(ITOPropertiesSnapshot* before, ITOPropertiesSnapshot* after) {
    m_changes.clear();
    if (!before || !after) return E_INVALIDARG;
    return kcom::Guard([&] {
        std::map<std::wstring, Change> changes;
        for (auto [snapshot, side] : {std::pair{before, &Change::before}, std::pair{after, &Change::after}}) {
            const long rows = snapshot->GetRowCount();
            for (long row = 0; row < rows; ++row) {
                BSTR raw = nullptr;
                Side values;
                HRESULT hr = snapshot->GetRow(row, raw, &values.flags, &values.type, &values.compareType, nullptr,
                                              nullptr, nullptr);
                kcom::CComBSTR name = kcom::CComBSTR::Take(raw);
                if (FAILED(hr)) return hr;
                if (name.Length() == 0) return E_FAIL;
                values.present = 1;
                changes[std::wstring(name, name.Length())].*side = values;
            }
        }
        m_changes = std::move(changes);
        return S_OK;
    });
}

bool CTOPropertiesFlagsChangeSummaryImpl::LookupSide(const wchar_t* name, Side Change::*side, bool* present,
                                                     DWORD* flags, DWORD* type, DWORD* compareType) const {
    if (!name) return false;
    auto it = m_changes.find(name);
    if (it == m_changes.end()) return false;
    const Side& s = it->second.*side;
    if (present) *present = s.present != 0;
    if (s.present) {
        if (flags) *flags = s.flags;
        if (type) *type = s.type;
        if (compareType) *compareType = s.compareType;
    }
    return true;
}

bool CTOPropertiesFlagsChangeSummaryImpl::Lookup(const wchar_t* name, bool* present, DWORD* flags, DWORD* type,
                                                 DWORD* compareType) {
    return LookupSide(name, &Change::before, present, flags, type, compareType);
}

bool CTOPropertiesFlagsChangeSummaryImpl::Lookup2(const wchar_t* name, bool* present, DWORD* flags, DWORD* type,
                                                  DWORD* compareType) {
    return LookupSide(name, &Change::after, present, flags, type, compareType);
}

CTOPropertiesFlagsChangeSummary::CTOPropertiesFlagsChangeSummary() noexcept
    : m_impl(new (std::nothrow) CTOPropertiesFlagsChangeSummaryImpl) {}

HRESULT CTOPropertiesFlagsChangeSummary::Compute(ITOPropertiesSnapshot* before, ITOPropertiesSnapshot* after) {
    return m_impl ? m_impl->Compute(before, after) : E_OUTOFMEMORY;
}

bool CTOPropertiesFlagsChangeSummary::Lookup(const wchar_t* name, bool* present, DWORD* flags, DWORD* type,
                                             DWORD* compareType) {
    return m_impl && m_impl->Lookup(name, present, flags, type, compareType);
}

bool CTOPropertiesFlagsChangeSummary::Lookup2(const wchar_t* name, bool* present, DWORD* flags, DWORD* type,
                                              DWORD* compareType) {
    return m_impl && m_impl->Lookup2(name, present, flags, type, compareType);
}
