#include "com/ComModule.h"

namespace kcom {

namespace {
HINSTANCE ThisModule() noexcept {
    HMODULE m = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThisModule), &m);
    return m;
}
}  // namespace

CComModule& Module() noexcept {
    static CComModule module;
    return module;
}

void CComModule::Init(HINSTANCE instance, const GUID* libid) noexcept {
    instance_ = instance ? instance : ThisModule();
    if (libid) libid_ = *libid;
}

void CComModule::Init(ObjectMapEntry* map, size_t count, HINSTANCE instance, const GUID* libid) noexcept {
    map_ = map;
    mapCount_ = count;
    Init(instance, libid);
}

void CComModule::Term() noexcept {
    // Released outside the lock: a class object may hold an object whose destructor calls back.
    for (size_t i = 0; i < mapCount_; ++i) {
        IUnknown* cf = nullptr;
        {
            CComCritSecLock lock(cs_);
            cf = map_[i].cachedClassObject;
            map_[i].cachedClassObject = nullptr;
        }
        if (cf) cf->Release();
    }
    CComCritSecLock lock(cs_);
    typeLib_.Release();
}

HRESULT CComModule::GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (size_t i = 0; i < mapCount_; ++i) {
        ObjectMapEntry& e = map_[i];
        if (!::IsEqualCLSID(clsid, *e.clsid)) continue;
        if (!e.creator || !*e.creator || !e.classObject) return CLASS_E_CLASSNOTAVAILABLE;
        CComPtr<IUnknown> cf;
        {
            CComCritSecLock lock(cs_);
            if (!e.cachedClassObject) {
                HRESULT hr = e.classObject(*e.creator, &e.cachedClassObject);
                if (FAILED(hr)) return hr;
            }
            cf = e.cachedClassObject;
        }
        return cf->QueryInterface(iid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CComModule::RegisterClasses() noexcept {
    for (size_t i = 0; i < mapCount_; ++i) {
        const ObjectMapEntry& e = map_[i];
        if (!e.updateRegistry) continue;
        HRESULT hr = e.updateRegistry(e.scriptId, TRUE, *e.clsid);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

void CComModule::UnregisterClasses() noexcept {
    for (size_t i = 0; i < mapCount_; ++i) {
        const ObjectMapEntry& e = map_[i];
        if (e.updateRegistry) e.updateRegistry(e.scriptId, FALSE, *e.clsid);
    }
}

std::wstring CComModule::GetModulePath() const {
    HINSTANCE inst = instance_ ? instance_ : ThisModule();
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(inst, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) { path.resize(n); return path; }
        path.resize(path.size() * 2);
    }
}

std::wstring CComModule::GetModuleFileNameOnly() const {
    std::wstring path = GetModulePath();
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

HRESULT CComModule::GetTypeLib(ITypeLib** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    CComCritSecLock lock(cs_);
    if (!typeLib_) {
        std::wstring path;
        try { path = GetModulePath(); } catch (...) { return E_OUTOFMEMORY; }
        if (path.empty()) return E_FAIL;
        HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib_.Put());
        if (FAILED(hr)) return hr;
    }
    return typeLib_.CopyTo(out);
}

HRESULT CComModule::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    CComPtr<ITypeLib> lib;
    HRESULT hr = GetTypeLib(lib.Put());
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(guid, out);
}

}  // namespace kcom
