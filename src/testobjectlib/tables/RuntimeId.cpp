#include "tables/RuntimeId.h"
#include <stdexcept>
#include <utility>
#include "com/ComError.h"
#include "tables/KorSafeArray.h"
#include "errors/TestObjectError.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComQIPtr;
using kcom::CComVariant;
using kcom::Guard;

namespace {

CComBSTR CopyOf(BSTR s) { return s ? CComBSTR(s, ::SysStringLen(s)) : CComBSTR(); }

template <class T>
void** OutPtr(CComPtr<T>& p) noexcept { return reinterpret_cast<void**>(p.Put()); }

bool SameObject(IUnknown* a, IUnknown* b) noexcept {
    CComPtr<IUnknown> ua, ub;
    a->QueryInterface(IID_IUnknown, OutPtr(ua));
    b->QueryInterface(IID_IUnknown, OutPtr(ub));
    return ua && ua == ub;
}

// Both holders read an identity the same way.
UINT PackageOf(IRuntimeID* id) noexcept {
    UINT package = 0;
    if (id && FAILED(id->get_Package(&package))) package = 0;
    return package;
}

HRESULT LongOf(IRuntimeID* id, LPCOLESTR name, long* out) noexcept {
    if (!id) return E_FAIL;
    return Guard([&] { return id->get_lValue(CComBSTR(name), out); });
}

}  // namespace

HRESULT CreatePackId(REFIID iid, void** out) noexcept {
    return kcom::CComCreator<CPackId>::CreateInstance(nullptr, iid, out);
}

HRESULT CreateRunId(REFIID iid, void** out) noexcept {
    return kcom::CComCreator<CRunId>::CreateInstance(nullptr, iid, out);
}

// ---- CPackId ----

HRESULT CPackId::ChangedCopy(BSTR name, VARTYPE vt, CComVariant& out) const noexcept {
    auto it = m_values.find(name);
    if (it == m_values.end()) return E_INVALIDARG;
    return out.ChangeType(vt, &it->second);
}

CComVariant& CPackId::Slot(BSTR name) {
    auto it = m_values.find(name);
    if (it == m_values.end()) it = m_values.emplace(CopyOf(name), CComVariant()).first;
    return it->second;
}

STDMETHODIMP CPackId::get_Package(UINT* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = m_package;
    return S_OK;
}

STDMETHODIMP CPackId::put_Package(UINT newVal) {
    if (m_package != 0) return KOR_E_EMPTY_RECT;
    m_package = newVal;
    return S_OK;
}

STDMETHODIMP CPackId::get_Size(UINT* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = static_cast<UINT>(m_values.size());
    return S_OK;
}

STDMETHODIMP CPackId::get_BSTRValue(BSTR Name, BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    CComVariant text;
    HRESULT hr = ChangedCopy(Name, VT_BSTR, text);
    if (FAILED(hr)) return hr;
    *pVal = std::exchange(text.bstrVal, nullptr);
    return S_OK;
}

STDMETHODIMP CPackId::get_VARIANTValue(BSTR Name, VARIANT* pVal) {
    if (!pVal) return E_POINTER;
    ::VariantInit(pVal);  // an out-parameter may hold anything; VariantCopy would clear it
    auto it = m_values.find(Name);
    if (it == m_values.end()) return E_INVALIDARG;
    return ::VariantCopy(pVal, &it->second);
}

STDMETHODIMP CPackId::get_lValue(BSTR Name, long* pVal) {
    if (!pVal) return E_POINTER;
    CComVariant number;
    HRESULT hr = ChangedCopy(Name, VT_I4, number);
    if (SUCCEEDED(hr)) *pVal = number.lVal;
    return hr;
}

STDMETHODIMP CPackId::put_BSTRValue(BSTR Name, BSTR newVal) {
    return Guard([&] {
        CComBSTR text = CopyOf(newVal);
        CComVariant& value = Slot(Name);
        value.Clear();
        value.vt = VT_BSTR;
        value.bstrVal = text.Detach();
        return S_OK;
    });
}

STDMETHODIMP CPackId::put_VARIANTValue(BSTR Name, VARIANT newVal) {
    return Guard([&] {
        CComVariant copy;
        HRESULT hr = copy.Copy(newVal);
        if (FAILED(hr)) return hr;
        Slot(Name) = std::move(copy);
        return S_OK;
    });
}

STDMETHODIMP CPackId::put_lValue(BSTR Name, long newVal) {
    return Guard([&] {
        CComVariant& value = Slot(Name);
        if (value.vt != VT_I4) {
            value.Clear();
            value.vt = VT_I4;
        }
        value.lVal = newVal;
        return S_OK;
    });
}

STDMETHODIMP CPackId::IsEmpty() { return m_values.empty() ? S_OK : S_FALSE; }

STDMETHODIMP CPackId::IsEqual(IRuntimeID* otherID) {
    if (!otherID) return E_POINTER;
    return Guard([&] {
        UINT package = 0, size = 0;
        if (FAILED(otherID->get_Package(&package)) || package != m_package) return S_FALSE;
        if (FAILED(otherID->get_Size(&size)) || size != m_values.size()) return S_FALSE;
        for (const auto& [name, mine] : m_values) {
            CComVariant theirs;
            if (SUCCEEDED(otherID->get_VARIANTValue(name, &theirs)) && VariantEqualExact(mine, theirs)) continue;
            // Nested identifiers compare as identifiers.
            if (mine.vt != VT_UNKNOWN || theirs.vt != VT_UNKNOWN || !mine.punkVal || !theirs.punkVal)
                return S_FALSE;
            CComQIPtr<IRuntimeID> nestedMine(mine.punkVal), nestedTheirs(theirs.punkVal);
            if (!nestedMine || !nestedTheirs || nestedMine->IsEqual(nestedTheirs) != S_OK) return S_FALSE;
        }
        return S_OK;
    });
}

STDMETHODIMP CPackId::Clone(IRuntimeID** otherID) {
    if (!otherID) return E_POINTER;
    *otherID = nullptr;
    return Guard([&] {
        CComPtr<IRuntimeID> copy;
        HRESULT hr = CreatePackId(IID_IRuntimeID, OutPtr(copy));
        if (FAILED(hr)) return hr;
        if (!copy) return E_OUTOFMEMORY;
        copy->put_Package(m_package);
        for (const auto& [name, value] : m_values) {
            hr = copy->put_VARIANTValue(name, value);
            if (FAILED(hr)) return hr;
        }
        *otherID = copy.Detach();
        return S_OK;
    });
}

// ---- CRunId ----

STDMETHODIMP CRunId::get_Package(UINT* pVal) {
    if (!pVal) return E_POINTER;
    return m_current ? m_current->get_Package(pVal) : KOR_E_NO_RUNTIME_ID;
}

STDMETHODIMP CRunId::get_Size(UINT* pVal) {
    if (!pVal) return E_POINTER;
    return m_current ? m_current->get_Size(pVal) : KOR_E_NO_RUNTIME_ID;
}

STDMETHODIMP CRunId::get_BSTRValue(BSTR Name, BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return m_current ? m_current->get_BSTRValue(Name, pVal) : KOR_E_NO_RUNTIME_ID;
}

STDMETHODIMP CRunId::get_VARIANTValue(BSTR Name, VARIANT* pVal) {
    if (!pVal) return E_POINTER;
    ::VariantInit(pVal);
    return m_current ? m_current->get_VARIANTValue(Name, pVal) : KOR_E_NO_RUNTIME_ID;
}

STDMETHODIMP CRunId::get_lValue(BSTR Name, long* pVal) {
    if (!pVal) return E_POINTER;
    return m_current ? m_current->get_lValue(Name, pVal) : KOR_E_NO_RUNTIME_ID;
}

STDMETHODIMP CRunId::put_BSTRValue(BSTR Name, BSTR newVal) {
    return m_current ? m_current->put_BSTRValue(Name, newVal) : KOR_E_NO_RUNTIME_ID;
}

STDMETHODIMP CRunId::put_VARIANTValue(BSTR Name, VARIANT newVal) {
    return m_current ? m_current->put_VARIANTValue(Name, newVal) : KOR_E_NO_RUNTIME_ID;
}

STDMETHODIMP CRunId::put_lValue(BSTR Name, long newVal) {
    return m_current ? m_current->put_lValue(Name, newVal) : KOR_E_NO_RUNTIME_ID;
}

STDMETHODIMP CRunId::IsEmpty() { return m_current ? m_current->IsEmpty() : S_OK; }

STDMETHODIMP CRunId::Clone(IRuntimeID** otherID) {
    if (!otherID) return E_POINTER;
    *otherID = nullptr;
    return m_current ? m_current->Clone(otherID) : KOR_E_NO_RUNTIME_ID;
}

STDMETHODIMP CRunId::put_Package(UINT newVal) {
    return Guard([&] {
        auto it = m_ids.find(newVal);
        if (it != m_ids.end()) {
            m_current = it->second;
            return S_OK;
        }
        // The new identity is made and entered before the current one is let go, so a failure
        // leaves the identifier as it was.
        CComPtr<IRuntimeID> fresh;
        HRESULT hr = CreatePackId(IID_IRuntimeID, OutPtr(fresh));
        if (FAILED(hr)) return hr;
        if (!fresh) return E_OUTOFMEMORY;
        m_ids.emplace(newVal, fresh);
        m_current = fresh;
        m_restart = true;
        return fresh->put_Package(newVal);
    });
}

STDMETHODIMP CRunId::IsEqual(IRuntimeID* otherID) {
    if (!otherID) return E_INVALIDARG;
    return Guard([&] {
        CComQIPtr<IRuntimeID2> whole(otherID);
        if (whole) {
            size_t count = 0;
            CComPtr<IRuntimeID> item;
            // Bounded, so an enumeration that never ends cannot hold us.
            for (HRESULT hr = whole->NextPackageId(item.Put(), true); hr == S_OK && count <= m_ids.size();
                 hr = whole->NextPackageId(item.Put(), false))
                ++count;
            if (count != m_ids.size()) return S_FALSE;
            for (const auto& [package, mine] : m_ids) {
                CComPtr<IRuntimeID> theirs;
                if (FAILED(whole->GetPackageId(package, theirs.Put())) || !theirs) return S_FALSE;
                if (theirs->IsEqual(mine) != S_OK) return S_FALSE;
            }
            return S_OK;
        }
        UINT package = 0;
        HRESULT hr = otherID->get_Package(&package);
        if (FAILED(hr)) return hr;
        auto it = m_ids.find(package);
        if (it == m_ids.end()) return S_FALSE;
        if (!it->second) return E_FAIL;
        return it->second->IsEqual(otherID);
    });
}

STDMETHODIMP CRunId::GetPackageId(UINT package, IRuntimeID** id) {
    if (!id) return E_POINTER;
    *id = nullptr;
    auto it = m_ids.find(package);
    if (it == m_ids.end()) return KOR_E_OBJECT_NOT_FOUND;
    return it->second.CopyTo(id);
}

STDMETHODIMP CRunId::AddPackageId(IRuntimeID* id) {
    // An identifier inside itself would forward its own calls to itself without end.
    if (!id || SameObject(id, GetControllingUnknown())) return E_INVALIDARG;
    return Guard([&] {
        if (!m_current) m_current = id;
        UINT package = 0;
        HRESULT hr = id->get_Package(&package);
        if (FAILED(hr)) return hr;
        m_ids[package] = id;
        m_restart = true;
        return S_OK;
    });
}

STDMETHODIMP CRunId::RemovePackageId(UINT package) {
    m_ids.erase(package);
    m_restart = true;
    return S_OK;
}

STDMETHODIMP CRunId::NextPackageId(IRuntimeID** id, boolean restart) {
    if (!id) return E_POINTER;
    *id = nullptr;
    if (restart || m_restart) {
        m_restart = false;
        m_cursor = m_ids.begin();
    } else {
        if (m_cursor == m_ids.end()) return S_FALSE;
        ++m_cursor;
    }
    if (m_cursor == m_ids.end()) return S_FALSE;
    return m_cursor->second.CopyTo(id);
}

STDMETHODIMP CRunId::Duplicate(IRuntimeID2** id) {
    if (!id) return E_POINTER;
    *id = nullptr;
    return Guard([&] {
        kcom::CComObject<CRunId>* copy = nullptr;
        HRESULT hr = kcom::CComObject<CRunId>::CreateInstance(&copy);
        if (FAILED(hr)) return hr;
        CComPtr<IRuntimeID2> hold(copy);
        try {
            copy->CopyIdentities(*this);
        } catch (const std::runtime_error&) {
            return E_FAIL;
        }
        *id = hold.Detach();
        return S_OK;
    });
}

void CRunId::CopyIdentities(const CRunId& source) {
    for (const auto& [package, identity] : source.m_ids) {
        if (!identity) continue;
        CComPtr<IRuntimeID> clone;
        UINT number = 0;
        if (FAILED(identity->Clone(clone.Put())) || !clone || FAILED(clone->get_Package(&number)) || number == 0)
            throw std::runtime_error("CRunId");
        m_ids[number] = clone;
    }
    if (source.m_current) {
        UINT number = 0;
        if (FAILED(source.m_current->get_Package(&number))) throw std::runtime_error("CRunId");
        auto it = m_ids.find(number);
        if (it == m_ids.end()) throw std::runtime_error("CRunId");
        m_current = it->second;
    }
    m_restart = true;
}

// ---- Holders ----

CPackageId::CPackageId(IRuntimeID* id) noexcept {
    if (id) id->QueryInterface(IID_IRuntimeID, OutPtr(m_id));
}

void CPackageId::Attach(IRuntimeID* id) noexcept { m_id = id; }

UINT CPackageId::GetPackage() const noexcept { return PackageOf(m_id); }

HRESULT CPackageId::GetLong(LPCOLESTR name, long* out) const noexcept { return LongOf(m_id, name, out); }

CRuntimeId::CRuntimeId(UINT package) noexcept {
    if (SUCCEEDED(CreateRunId(IID_IRuntimeID2, OutPtr(m_id))) && m_id) m_id->put_Package(package);
}

CRuntimeId::CRuntimeId(CRuntimeId& other, bool addRef) noexcept {
    if (addRef)
        m_id = other.m_id;
    else
        m_id = std::move(other.m_id);
}

CRuntimeId::CRuntimeId(IRuntimeID* id) noexcept { AttachIdentity(id); }

CRuntimeId::CRuntimeId(const VARIANT& value) noexcept {
    if (value.vt != VT_UNKNOWN || !value.punkVal) return;
    CComQIPtr<IRuntimeID> id(value.punkVal);
    AttachIdentity(id);
}

void CRuntimeId::AttachIdentity(IRuntimeID* id) noexcept {
    if (!id) return;
    if (SUCCEEDED(id->QueryInterface(IID_IRuntimeID2, OutPtr(m_id))) && m_id) return;
    CComPtr<IRuntimeID2> run;
    if (FAILED(CreateRunId(IID_IRuntimeID2, OutPtr(run))) || !run) return;
    m_id = run;
    // Entered under its own number and current: the put finds it there.
    run->AddPackageId(id);
    UINT package = 0;
    if (SUCCEEDED(id->get_Package(&package))) run->put_Package(package);
}

UINT CRuntimeId::GetPackage() const noexcept { return PackageOf(m_id); }

HRESULT CRuntimeId::GetLong(LPCOLESTR name, long* out) const noexcept { return LongOf(m_id, name, out); }

HRESULT CRuntimeId::PutVariantValue(LPCOLESTR name, const VARIANT& value) noexcept {
    if (!m_id) return E_FAIL;
    return Guard([&] { return m_id->put_VARIANTValue(CComBSTR(name), value); });
}

HRESULT CRuntimeId::GetPackageId(UINT package, CPackageId& out) const noexcept {
    out.Attach(nullptr);
    if (!m_id) return KOR_E_NO_RUNTIME_ID;
    CComPtr<IRuntimeID> id;
    HRESULT hr = m_id->GetPackageId(package, id.Put());
    if (SUCCEEDED(hr)) out.Attach(id);
    return hr;
}
