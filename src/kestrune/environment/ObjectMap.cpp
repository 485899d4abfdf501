#include "environment/ObjectMap.h"
#include <cwchar>
#include <string>
#include "com/ComClassFactory.h"
#include "com/ComError.h"
#include "com/ComModule.h"
#include "com/ComPtr.h"
#include "com/ComRegistrar.h"
#include "com/Handles.h"
#include "kestrune.h"

namespace {

enum ScriptExtras : unsigned {
    kProgrammable = 1,
    kTypeLib = 2,
    kControlCategory = 4,  // implemented category of test objects
    kNoCurVer = 8,
};

// What each class's registry script writes.
struct ClassScript {
    UINT id;
    const wchar_t* progId;
    const wchar_t* viProgId;
    const wchar_t* description;
    const wchar_t* threading;
    unsigned extras;
};

const ClassScript kScripts[] = {
    {101, L"Quorvel.AcxFactory.1", L"Quorvel.AcxFactory", L"AcxFactory Class", L"Apartment", kProgrammable},
    {102, L"Quorvel.AcxQuery", L"Quorvel.AcxQuery", L"AcxQuery Class", L"Apartment", 0},
    {103, L"Quorvel.AcxObject.1", L"Quorvel.AcxObject", L"KorActiveX Class", L"Apartment", kControlCategory},
    {105, L"Quorvel.KestruneMgr.1", L"Quorvel.KestruneMgr", L"KestruneMgr Class", L"Apartment", kTypeLib},
    {107, L"Quorvel.AcxUtil.1", L"Quorvel.AcxUtil", L"AcxUtil Class", L"Apartment", kProgrammable | kTypeLib},
    {108, L"Quorvel.AcxFlowEvents.1", L"Quorvel.AcxFlowEvents", L"AcxFlowEvents Class", L"Apartment",
     kProgrammable | kTypeLib},
    {109, L"Quorvel.AcxAgentUtil.1", L"Quorvel.AcxAgentUtil", L"AcxAgntUtil Class", L"both", kNoCurVer},
    {206, L"Quorvel.AcxWlsObject.1", L"Quorvel.AcxWlsObject", L"KorWlsActiveX Class", L"Apartment",
     kControlCategory},
};

const wchar_t kTestObjectCategory[] = L"{17159721-B8F5-11d2-8E68-00104B3E8BFD}";

using kcom::ClassObjectFn;
constexpr ClassObjectFn kOrdinary = &kcom::CreateClassObject<kcom::CComClassFactory>;
constexpr ClassObjectFn kSingleton = &kcom::CreateClassObject<kcom::CComClassFactorySingleton>;

kcom::ObjectMapEntry g_objectMap[] = {
    {&CLSID_AcxFactory, &AcxFactoryCreator, kOrdinary, 101, &UpdateRegistryWithRefCount, nullptr},
    {&CLSID_AcxQuery, &AcxQueryCreator, kOrdinary, 102, &UpdateRegistryWithRefCount, nullptr},
    {&CLSID_KorActiveX, &KorActiveXCreator, kOrdinary, 103, &UpdateRegistryWithRefCount, nullptr},
    {&CLSID_KestruneMgr, &KestruneMgrCreator, kOrdinary, 105, &UpdateRegistryWithRefCount, nullptr},
    {&CLSID_KorAcxUtil, &AcxUtilObjCreator, kOrdinary, 107, &UpdateRegistryWithRefCount, nullptr},
    {&CLSID_AcxFlowEvents, &AcxFlowEventsCreator, kOrdinary, 108, &UpdateRegistryWithRefCount, nullptr},
    {&CLSID_AcxAgntUtil, &AcxAgntUtilCreator, kSingleton, 109, &UpdateRegistryWithRefCount, nullptr},
    {&CLSID_KorWlsActiveX, &KorActiveXWlsBackwardCreator, kOrdinary, 206, &UpdateRegistryWithRefCount, nullptr},
};

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

kcom::RegScriptKey Key(std::wstring path, const wchar_t* defaultValue = nullptr) {
    kcom::RegScriptKey k;
    k.path = std::move(path);
    if (defaultValue) {
        k.hasDefault = true;
        k.defaultValue = defaultValue;
    }
    return k;
}

// The server is registered by its bare file name.
std::wstring RelativePath() {
    std::wstring name = kcom::Module().GetModuleFileNameOnly();
    if (name.size() > MAX_PATH) name.resize(MAX_PATH);
    return name;
}

kcom::RegScript BuildScript(const ClassScript& s, REFCLSID clsid) {
    const std::wstring clsidText = GuidText(clsid);
    const std::wstring clsidKey = L"CLSID\\" + clsidText;
    kcom::RegScript script;
    const bool versioned = std::wcscmp(s.progId, s.viProgId) != 0;
    if (versioned) {
        script.push_back(Key(s.progId, s.description));
        script.push_back(Key(std::wstring(s.progId) + L"\\CLSID", clsidText.c_str()));
    }
    script.push_back(Key(s.viProgId, s.description));
    script.push_back(Key(std::wstring(s.viProgId) + L"\\CLSID", clsidText.c_str()));
    if (!(s.extras & kNoCurVer)) script.push_back(Key(std::wstring(s.viProgId) + L"\\CurVer", s.progId));
    script.push_back(Key(clsidKey, s.description));
    script.push_back(Key(clsidKey + L"\\ProgID", s.progId));
    script.push_back(Key(clsidKey + L"\\VersionIndependentProgID", s.viProgId));
    if (s.extras & kProgrammable) {
        script.push_back(Key(clsidKey + L"\\Programmable"));
        script.back().forceRemove = true;
    }
    const std::wstring relativePath = RelativePath();
    script.push_back(Key(clsidKey + L"\\InprocServer32", relativePath.c_str()));
    script.back().values.emplace_back(L"ThreadingModel", s.threading);
    if (s.extras & kTypeLib)
        script.push_back(Key(clsidKey + L"\\TypeLib", GuidText(kcom::Module().GetLibId()).c_str()));
    if (s.extras & kControlCategory) {
        script.push_back(Key(clsidKey + L"\\Implemented Categories"));
        script.push_back(Key(clsidKey + L"\\Implemented Categories\\" + kTestObjectCategory));
    }
    return script;
}

const ClassScript* FindScript(UINT id) noexcept {
    for (const ClassScript& s : kScripts)
        if (s.id == id) return &s;
    return nullptr;
}

// "RefCount": a REG_DWORD; missing or of another kind it counts as 0.
DWORD ReadRefCount(HKEY key) noexcept {
    DWORD type = 0, value = 0, size = sizeof(value);
    if (::RegQueryValueExW(key, L"RefCount", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(DWORD))
        return 0;
    return value;
}

void AddRefCount(HKEY key) noexcept {
    DWORD count = ReadRefCount(key) + 1;
    ::RegSetValueExW(key, L"RefCount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof(count));
}

// Counts one registration down and answers how many remain.
DWORD ReleaseRefCount(HKEY key) noexcept {
    DWORD count = ReadRefCount(key);
    if (count >= 2) {
        --count;
        ::RegSetValueExW(key, L"RefCount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof(count));
        return count;
    }
    if (count == 1) ::RegDeleteValueW(key, L"RefCount");
    return 0;
}

HRESULT OpenClassesKey(const wchar_t* path, kcom::CRegKey& key) noexcept {
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_ALL_ACCESS, key.Put()) == ERROR_SUCCESS ? S_OK : E_FAIL;
}

HRESULT OpenInprocKey(REFCLSID clsid, kcom::CRegKey& key) noexcept {
    kcom::CCoTaskMem<OLECHAR> clsidText;
    if (FAILED(::StringFromCLSID(clsid, clsidText.Put()))) return E_OUTOFMEMORY;
    wchar_t path[256];
    std::swprintf(path, 256, L"CLSID\\%ls\\%ls", clsidText.get(), L"InprocServer32");
    return OpenClassesKey(path, key);
}

// The type library's own count lives beside its registration.
struct TypeLibInfo {
    kcom::CComPtr<ITypeLib> lib;
    TLIBATTR attr{};
    wchar_t countKey[256]{};
};

HRESULT LoadTypeLibInfo(TypeLibInfo& info) noexcept {
    HRESULT hr = kcom::Module().GetTypeLib(info.lib.Put());
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = info.lib->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    info.attr = *attr;
    info.lib->ReleaseTLibAttr(attr);
    kcom::CCoTaskMem<OLECHAR> guidText;
    if (FAILED(::StringFromCLSID(info.attr.guid, guidText.Put()))) return E_OUTOFMEMORY;
    std::swprintf(info.countKey, 256, L"TypeLib\\%ls\\%d.%d\\%d\\Win32", guidText.get(), info.attr.wMajorVerNum,
                  info.attr.wMinorVerNum, static_cast<int>(info.attr.lcid));
    return S_OK;
}

HRESULT RegisterTypeLibByName(ITypeLib* lib, const std::wstring& name) noexcept {
    std::wstring path = name, helpDir;
    return ::RegisterTypeLib(lib, path.data(), helpDir.data());
}

}  // namespace

kcom::ObjectMapEntry* GetObjectMap() noexcept { return g_objectMap; }
size_t GetObjectMapCount() noexcept { return sizeof(g_objectMap) / sizeof(g_objectMap[0]); }

HRESULT UpdateRegistryWithRefCount(UINT scriptId, BOOL reg, REFCLSID clsid) noexcept {
    return kcom::Guard([&]() -> HRESULT {
        const ClassScript* s = FindScript(scriptId);
        if (!s) return E_INVALIDARG;
        const kcom::RegScript script = BuildScript(*s, clsid);
        kcom::CRegKey key;
        if (reg) {
            HRESULT hr = kcom::RegisterScript(HKEY_CLASSES_ROOT, script);
            if (FAILED(hr)) return hr;
            if (FAILED(OpenInprocKey(clsid, key))) return E_FAIL;
            AddRefCount(key);
            return hr;
        }
        if (FAILED(OpenInprocKey(clsid, key))) return E_FAIL;
        const DWORD remaining = ReleaseRefCount(key);
        key.Reset();
        if (remaining == 0) kcom::UnregisterScript(HKEY_CLASSES_ROOT, script);
        return S_OK;
    });
}

HRESULT RegisterServer() noexcept {
    return kcom::Guard([&]() -> HRESULT {
        HRESULT hr = kcom::Module().RegisterClasses();
        if (FAILED(hr)) return hr;
        kcom::CComPtr<ITypeLib> lib;
        hr = kcom::Module().GetTypeLib(lib.Put());
        if (FAILED(hr)) return hr;
        const std::wstring name = RelativePath();
        if (FAILED(RegisterTypeLibByName(lib, name))) {
            ::Sleep(172);
            RegisterTypeLibByName(lib, name);  // whatever this gives, the count below goes up
        }
        TypeLibInfo info;
        hr = LoadTypeLibInfo(info);
        if (FAILED(hr)) return hr;
        kcom::CRegKey key;
        if (FAILED(OpenClassesKey(info.countKey, key))) return E_FAIL;
        AddRefCount(key);
        return hr;
    });
}

HRESULT UnregisterServer() noexcept {
    return kcom::Guard([&]() -> HRESULT {
        TypeLibInfo info;
        HRESULT hr = LoadTypeLibInfo(info);
        if (FAILED(hr)) return hr;
        kcom::CRegKey key;
        if (FAILED(OpenClassesKey(info.countKey, key))) return E_FAIL;
        const DWORD remaining = ReleaseRefCount(key);
        key.Reset();
        kcom::Module().UnregisterClasses();
        if (remaining == 0)
            hr = ::UnRegisterTypeLib(info.attr.guid, info.attr.wMajorVerNum, info.attr.wMinorVerNum, info.attr.lcid,
                                     info.attr.syskind);
        else
            hr = RegisterTypeLibByName(info.lib, RelativePath());
        if (FAILED(hr)) return hr;
        return remaining == 0 ? S_OK : S_FALSE;
    });
}
