#include "factory/StdFactoryBase.h"
#include <utility>
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "contracts/Orlenty.h"
#include "environment/LoadTimeValues.h"
#include "host/TestObjectSettings.h"
#include "tables/KorSafeArray.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

// {00C0C89B-BBAD-4A19-9992-03ADD08FE700}
const GUID CStdFactoryBase::kClassNameService = {
    0x00C0C89B, 0xBBAD, 0x4A19, {0x99, 0x92, 0x03, 0xAD, 0xD0, 0x8F, 0xE7, 0x00}};
// {078BD121-F41A-49A7-A799-4B1F51E79E8F}
const CLSID CStdFactoryBase::kRuntimeValuesClsid = {
    0x078BD121, 0xF41A, 0x49A7, {0xA7, 0x99, 0x4B, 0x1F, 0x51, 0xE7, 0x9E, 0x8F}};

namespace {

constexpr long kClassNameRequest = 3;
// A parent chain that long is taken for a cycle.
constexpr size_t kMaxParentDepth = 256;

bool IsObject(const VARIANT& v) noexcept { return (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) && v.punkVal; }

}  // namespace

HRESULT CStdFactoryBase::ReadProp(IUnknown* object, const wchar_t* name, VARIANT* value) {
    return GetTestObjectProp(object, CComBSTR(name), value, nullptr, nullptr, nullptr);
}

HRESULT CStdFactoryBase::WriteProp(IUnknown* object, const wchar_t* name, const VARIANT& value) {
    return PutTestObjectPropExpr(object, CComBSTR(name), &value, nullptr, nullptr, nullptr);
}

bool CStdFactoryBase::IsVariantTable(SAFEARRAY* psa) noexcept {
    VARTYPE vt = VT_EMPTY;
    return psa && ::SafeArrayGetDim(psa) == 2 && SUCCEEDED(::SafeArrayGetVartype(psa, &vt)) && vt == VT_VARIANT;
}

CComVariant CStdFactoryBase::Cell(const CKorSafeArray& table, ULONG row, ULONG col) {
    CComVariant v;
    table.GetElement(v.Put(), static_cast<LONG>(row), static_cast<LONG>(col));
    return v;
}

CStdFactoryBase::CStdFactoryBase(bool cacheEnabled) : m_cacheEnabled(cacheEnabled) {
    m_cfSofHacklata = ::RegisterClipboardFormatW(L"SofHacklata");
    m_cfTchilatHacklata = ::RegisterClipboardFormatW(L"TchilatHacklata");
    m_cfStdMenu = ::RegisterClipboardFormatW(L"RuntimeIdForStdMenu");
    m_cfRecordedSteps = ::RegisterClipboardFormatW(L"FormatVovuvarShellTestObjects");
}

CStdFactoryBase::~CStdFactoryBase() = default;

void CStdFactoryBase::AddOwnFormat(const wchar_t* name, UINT format) {
    m_formats.emplace_back(CComBSTR(name), format);
}

void CStdFactoryBase::RegisterFormats() {
    m_windowFormat = g_cfShelHalonotRegilim;
    AddOwnFormat(L"FormaShelHalonotRegilim", m_windowFormat);
}

bool CStdFactoryBase::IsOwnFormat(UINT format) {
    for (const auto& entry : m_formats)
        if (entry.second == format) return true;
    return false;
}

bool CStdFactoryBase::IsOwnClassName(BSTR) { return false; }

HRESULT CStdFactoryBase::GetClassNameForId(CRuntimeId&, BSTR*) { return E_NOTIMPL; }

CRuntimeId CStdFactoryBase::WindowId(HWND window) const {
    CRuntimeId id(m_windowFormat);
    const CComVariant handle(static_cast<long>(reinterpret_cast<LONG_PTR>(window)));
    if (FAILED(id.PutVariantValue(L"hwnd", handle))) return CRuntimeId();
    return id;
}

IKorSettings* CStdFactoryBase::ApplicationSettings() {
    if (!m_settings) m_settings.Attach(OztGetApplicationSettings());
    return m_settings;
}

IKorQuery* CStdFactoryBase::QueryEngine() {
    if (!m_queryEngine) m_queryEngine.Attach(OztGetKorQuery());
    return m_queryEngine;
}

bool CStdFactoryBase::ReadRunState(const wchar_t* name) {
    IKorSettings* settings = ApplicationSettings();
    if (!settings) return false;
    CComVariant key(name), value;
    if (FAILED(settings->get_Item(&key, value.Put()))) return false;
    // Only the low byte of the value's data counts, whatever its type.
    return value.bVal != 0;
}

bool CStdFactoryBase::IsRecording() { return ReadRunState(L"OnRecord"); }

bool CStdFactoryBase::IsReplaying() { return ReadRunState(L"OnReplay"); }

// ---- ITestObjFactory ----

STDMETHODIMP CStdFactoryBase::SetFactorySite(ITestObjFactorySite* site, long fAddRef) {
    return kcom::Guard([&]() -> HRESULT {
        if (!site) return E_POINTER;
        CComPtr<ITestObjFactorySite2> site2;
        const HRESULT hr = site->QueryInterface(__uuidof(ITestObjFactorySite2), reinterpret_cast<void**>(site2.Put()));
        // A site set before is let go in either case, owned or not.
        m_site = nullptr;
        m_site2 = nullptr;
        m_siteRef.Release();
        m_site2Ref.Release();
        if (FAILED(hr) || !site2) return FAILED(hr) ? hr : E_NOINTERFACE;
        m_site = site;
        m_site2 = site2;
        if (fAddRef) {
            m_siteRef = site;
            m_site2Ref = std::move(site2);
        }
        return hr;
    });
}

STDMETHODIMP CStdFactoryBase::CreateParentTestObj(IDispatch*, IDispatch**) { return E_NOTIMPL; }

STDMETHODIMP CStdFactoryBase::CreateTestObjFromPoint(long, long, IUnknown*, IDispatch**) { return E_NOTIMPL; }

STDMETHODIMP CStdFactoryBase::CreateTextObjFromPoint(long, long, IUnknown*, IDispatch**) { return E_NOTIMPL; }

STDMETHODIMP CStdFactoryBase::FillArrayFromPoint(long x, long y, SAFEARRAY** objects) {
    return kcom::Guard([&]() -> HRESULT {
        if (!objects) return E_POINTER;
        *objects = nullptr;
        CComPtr<IDispatch> first;
        if (CreateTestObjFromPoint(x, y, nullptr, first.Put()) != S_OK || !first) return E_FAIL;
        std::vector<CComVariant> chain;
        chain.emplace_back(first.get());
        while (chain.size() < kMaxParentDepth) {
            CComVariant parent;
            ReadProp(chain.back().punkVal, L"parent", parent.Put());
            if (!IsObject(parent)) break;
            chain.push_back(std::move(parent));
        }
        CKorSafeArray list(static_cast<ULONG>(chain.size()), 1, VT_VARIANT);
        for (size_t i = 0; i < chain.size(); ++i) kcom::ThrowIfFailed(list.PutElement(&chain[i], static_cast<LONG>(i), 0));
        *objects = list.Detach();
        return S_OK;
    });
}

// ---- ITestObjFactory2, IPackageServices ----

STDMETHODIMP CStdFactoryBase::Reserved1() { return E_NOTIMPL; }

STDMETHODIMP CStdFactoryBase::BuildDescriptionForChildren(IDispatch*, SAFEARRAY**, VARIANT) { return E_NOTIMPL; }

STDMETHODIMP CStdFactoryBase::Reserved2() { return E_NOTIMPL; }

STDMETHODIMP CStdFactoryBase::Reserved3() { return E_NOTIMPL; }

STDMETHODIMP CStdFactoryBase::CreateTestObjFromWindow(HWND, IDispatch**) { return E_NOTIMPL; }

STDMETHODIMP CStdFactoryBase::CreateTestObjFromRuntimeId(IRuntimeID* runtimeId, IDispatch** object) {
    return kcom::Guard([&]() -> HRESULT {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!runtimeId) return E_POINTER;
        CRuntimeId id(runtimeId);
        if (!IsOwnFormat(id.GetPackage())) return S_FALSE;
        if (CacheGet(id, object) == S_OK) return S_OK;
        *object = nullptr;

        CLSID primary = GUID_NULL, fallback = GUID_NULL;
        HRESULT hr = GetClassIds(id, &primary, &fallback);
        if (hr != S_OK) return hr;
        CComPtr<IDispatch> created;
        hr = E_FAIL;
        if (primary != GUID_NULL) hr = created.CoCreateInstance(primary, nullptr, CLSCTX_INPROC_SERVER);
        if (FAILED(hr) && fallback != GUID_NULL) hr = created.CoCreateInstance(fallback, nullptr, CLSCTX_INPROC_SERVER);
        if (SUCCEEDED(hr) && !created) hr = E_FAIL;
        if (SUCCEEDED(hr)) {
            WriteProp(created, L"objectid", CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id))));
            CComPtr<IObjectRackClient> own, theirs;
            CComPtr<IObjectRack> rack;
            if (SUCCEEDED(kcom::QueryTo(m_ownUnknown, own.Put()))) own->GetRack(rack.Put());
            if (!rack) {
                hr = E_FAIL;
            } else {
                if (SUCCEEDED(kcom::QueryTo(created.get(), theirs.Put()))) theirs->SetRack(rack);
                hr = InitObject(id, created);
                if (hr == S_OK && theirs) theirs->SetRack(rack);
                if (hr == S_FALSE) hr = E_FAIL;
            }
        }
        // Only a new object is cached, and only while recording.
        if (SUCCEEDED(hr) && IsRecording()) CachePut(id, created);
        if (FAILED(hr)) return hr;
        *object = created.Detach();
        return hr;
    });
}

STDMETHODIMP CStdFactoryBase::CreateTestObjsForTable(SAFEARRAY** rows) {
    return kcom::Guard([&]() -> HRESULT {
        if (!rows || !*rows) return E_POINTER;
        if (!IsVariantTable(*rows)) return E_INVALIDARG;
        CKorSafeArray table;
        table.Attach(*rows, false);
        if (table.GetColumnCount() < 2) return E_INVALIDARG;
        const ULONG count = table.GetRowCount();
        for (ULONG row = 0; row < count; ++row) {
            if (Cell(table, row, 1).vt != VT_EMPTY) continue;
            const CComVariant cell = Cell(table, row, 0);
            if (cell.vt != VT_UNKNOWN || !cell.punkVal) continue;
            kcom::CComQIPtr<IRuntimeID> id(cell.punkVal);
            if (!id) continue;
            CComPtr<IDispatch> created;
            if (CreateTestObjFromRuntimeId(id, created.Put()) != S_OK || !created) continue;
            CComVariant value(created.get());
            kcom::ThrowIfFailed(table.PutElement(&value, static_cast<LONG>(row), 1));
        }
        return S_OK;
    });
}

// ---- IPackageServices2 .. 5 ----

STDMETHODIMP CStdFactoryBase::QueryClassService(GUID* service, long request, VARIANT* input, VARIANT* output) {
    return kcom::Guard([&]() -> HRESULT {
        if (!service || !input || !output) return E_POINTER;
        if (*service != kClassNameService || request != kClassNameRequest) return S_FALSE;
        if (output->vt == VT_BSTR && ::SysStringLen(output->bstrVal) > 0) return S_OK;
        CRuntimeId id(*input);
        if (!static_cast<IRuntimeID2*>(id)) return E_FAIL;
        CComBSTR name;
        const HRESULT hr = GetClassNameForId(id, name.Put());
        if (hr != S_OK) return hr;
        kcom::CComVariant text;
        text.vt = VT_BSTR;
        text.bstrVal = name.Detach();
        return text.Detach(output);
    });
}

STDMETHODIMP CStdFactoryBase::FillRuntimeValuesForObjects(long arg1, SAFEARRAY* objects, long arg3) {
    return kcom::Guard([&]() -> HRESULT {
        if (!objects) return E_POINTER;
        if (!IsVariantTable(objects)) return E_INVALIDARG;
        CKorSafeArray list;
        list.Attach(objects, false);
        std::vector<CComPtr<IDispatch>> gathered;
        const ULONG count = list.GetRowCount();
        for (ULONG row = 0; row < count; ++row) {
            const CComVariant cell = Cell(list, row, 0);
            if (!IsObject(cell)) continue;
            kcom::CComQIPtr<IDispatch> object(cell.punkVal);
            CComVariant korclass;
            if (!object || FAILED(ReadProp(object, L"korclass", korclass.Put())) || korclass.vt != VT_BSTR) continue;
            if (IsOwnClassName(korclass.bstrVal)) gathered.push_back(object);
        }
        if (gathered.empty()) return S_OK;

        CComPtr<IKorRuntimeValues> component;
        HRESULT hr = component.CoCreateInstance(kRuntimeValuesClsid, nullptr,
                                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER);
        if (FAILED(hr)) return hr;
        if (!component) return E_FAIL;
        CKorSafeArray mine(static_cast<ULONG>(gathered.size()), 1, VT_VARIANT);
        for (size_t i = 0; i < gathered.size(); ++i) {
            CComVariant value(gathered[i].get());
            kcom::ThrowIfFailed(mine.PutElement(&value, static_cast<LONG>(i), 0));
        }
        kcom::CComSafeArray table;
        hr = component->BuildTable(mine.psa, arg3, table.Put());
        if (FAILED(hr)) return hr;
        FillRuntimeValues(arg1, table, arg3);
        return component->TakeTable(table);
    });
}

HRESULT CStdFactoryBase::FillRuntimeValues(long, SAFEARRAY* table, long) {
    return kcom::Guard([&]() -> HRESULT {
        if (!table) return E_POINTER;
        if (!IsVariantTable(table)) return E_INVALIDARG;
        CKorSafeArray rows;
        rows.Attach(table, false);
        const ULONG rowCount = rows.GetRowCount(), colCount = rows.GetColumnCount();
        if (rowCount < 2 || colCount < 3) return E_INVALIDARG;
        IKorQuery* engine = QueryEngine();
        if (!engine) return E_FAIL;

        const ULONG names = colCount - 2;
        CKorSafeArray query(names, 3, VT_VARIANT);
        for (ULONG i = 0; i < names; ++i) {
            CComVariant name = Cell(rows, 0, 2 + i);
            kcom::ThrowIfFailed(query.PutElement(&name, static_cast<LONG>(i), 0));
        }
        for (ULONG row = 1; row < rowCount; ++row) {
            const CComVariant object = Cell(rows, row, 0);
            if (object.vt != VT_DISPATCH || !object.pdispVal) continue;
            CComVariant objectId;
            if (FAILED(ReadProp(object.pdispVal, L"objectid", objectId.Put())) || objectId.vt != VT_UNKNOWN ||
                !objectId.punkVal)
                continue;
            kcom::CComQIPtr<IRuntimeID> id(objectId.punkVal);
            if (!id) continue;
            engine->QueryValue(id, query.psa);
            CComVariant empty;
            for (ULONG i = 0; i < names; ++i) {
                CComVariant value = Cell(query, i, 1);
                kcom::ThrowIfFailed(rows.PutElement(&value, static_cast<LONG>(row), static_cast<LONG>(2 + i)));
                kcom::ThrowIfFailed(query.PutElement(&empty, static_cast<LONG>(i), 1));
                kcom::ThrowIfFailed(query.PutElement(&empty, static_cast<LONG>(i), 2));
            }
        }
        return S_OK;
    });
}

// ---- parents and the chain ----

HRESULT CStdFactoryBase::InitObject(CRuntimeId&, IDispatch* object) {
    return kcom::Guard([&]() -> HRESULT {
        if (!object) return E_POINTER;
        CComVariant current;
        ReadProp(object, L"parent", current.Put());
        if (current.vt == VT_DISPATCH) return S_OK;
        if (!m_site) return S_FALSE;
        CComPtr<IUnknown> found;
        HRESULT hr = m_site->CreateTestObj(object, found.Put());
        if (FAILED(hr)) return hr;
        kcom::CComQIPtr<IDispatch> parent(found.get());
        if (hr == S_FALSE || !parent) return S_FALSE;
        hr = WriteProp(object, L"parent", CComVariant(parent.get()));
        if (FAILED(hr)) return hr;

        CComPtr<IUnknown> childSide, parentSide;
        FindInChainB(object, childSide.Put());
        if (childSide && SUCCEEDED(static_cast<IKorParentLink*>(childSide.get())->SetParent(parent))) {
            FindInChainA(parent, parentSide.Put());
            if (parentSide) static_cast<IKorChildLink*>(parentSide.get())->AddChild(object);
        }
        return S_OK;
    });
}

HRESULT CStdFactoryBase::FindInChain(REFIID wanted, IUnknown* start, IUnknown** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    // The links come from other objects: a chain that long is taken for a cycle.
    constexpr int kMaxLinks = 64;
    CComPtr<IUnknown> current(start);
    for (int link = 0; current && link < kMaxLinks; ++link) {
        CComPtr<IUnknown> found;
        if (SUCCEEDED(current->QueryInterface(wanted, reinterpret_cast<void**>(found.Put()))) && found) {
            *out = found.Detach();
            return S_OK;
        }
        CComPtr<IKorObjectChain> chain;
        CComPtr<IUnknown> next;
        if (FAILED(kcom::QueryTo(current.get(), chain.Put())) || FAILED(chain->GetNext(next.Put()))) break;
        current = std::move(next);
    }
    return S_OK;
}

HRESULT CStdFactoryBase::FindInChainA(IUnknown* start, IUnknown** out) {
    return FindInChain(__uuidof(IKorChildLink), start, out);
}

HRESULT CStdFactoryBase::FindInChainB(IUnknown* start, IUnknown** out) {
    return FindInChain(__uuidof(IKorParentLink), start, out);
}

// ---- the cache ----

HRESULT CStdFactoryBase::CacheGet(CRuntimeId& id, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!m_cacheEnabled || id.GetPackage() != m_windowFormat) return E_FAIL;
    long window = 0;
    if (FAILED(id.GetLong(L"hwnd", &window))) return E_FAIL;
    CComPtr<IDispatch> cached = m_cache.Find(reinterpret_cast<HWND>(static_cast<LONG_PTR>(window)));
    if (!cached) return E_FAIL;
    // The object may be handed to the object manager again: its cookie starts over.
    CComPtr<IObjectManagerClient> client;
    if (FAILED(kcom::QueryTo(cached.get(), client.Put())) || !client) return E_NOINTERFACE;
    const HRESULT hr = client->put_Cookie(0);
    if (FAILED(hr)) return hr;
    *out = cached.Detach();
    return S_OK;
}

HRESULT CStdFactoryBase::CachePut(CRuntimeId& id, IDispatch* object) {
    return kcom::Guard([&]() -> HRESULT {
        if (!m_cacheEnabled || id.GetPackage() != m_windowFormat) return E_FAIL;
        if (!IsRecording() && !IsReplaying()) return E_FAIL;
        long window = 0;
        if (FAILED(id.GetLong(L"hwnd", &window)) || window == 0) return E_FAIL;
        const HWND handle = reinterpret_cast<HWND>(static_cast<LONG_PTR>(window));
        if (!::IsWindowVisible(handle)) return S_OK;
        if (!object) return E_FAIL;
        m_cache.Set(handle, object);
        return S_OK;
    });
}

HRESULT CStdFactoryBase::CacheRemove(CRuntimeId& id) {
    if (!m_cacheEnabled || id.GetPackage() != m_windowFormat) return E_FAIL;
    long window = 0;
    if (FAILED(id.GetLong(L"hwnd", &window))) return E_FAIL;
    return m_cache.Erase(reinterpret_cast<HWND>(static_cast<LONG_PTR>(window))) ? S_OK : S_FALSE;
}

HRESULT CStdFactoryBase::CacheClear() {
    if (!m_cacheEnabled) return E_FAIL;
    m_cache.Clear();
    return S_OK;
}
