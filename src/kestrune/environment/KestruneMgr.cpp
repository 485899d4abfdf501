#include "environment/KestruneMgr.h"
#include <cwchar>
#include <vector>
#include "contracts/AcxSetting.h"
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComVariant.h"
#include "host/HostApplication.h"
#include "environment/ObjectMap.h"
#include "contracts/Orlenty.h"

extern const kcom::CreatorFn KestruneMgrCreator = &kcom::CComCreator<CKestruneMgr>::CreateInstance;

namespace {

const wchar_t kIniSection[] = L"BBT";
const wchar_t kHookListSection[] = L"acx_hook";
const wchar_t kInjectorRoot[] = L"HooksMgr\\DllInjector\\ALWAYS";
const wchar_t kFlowEventsName[] = L"AcxFlowEventsObject";
// The hook injector's settings calls carry these further arguments; their meaning is the host's.
constexpr long kModuleArgs[] = {0, 1, 0, 3, 0};
constexpr long kHookArgs[] = {0, 0, 0, 3, 0};

HRESULT SetSetting(IKorSettings* settings, const wchar_t* section, const wchar_t* name, long value,
                   const long (&args)[5]) {
    kcom::CComVariant v(value);
    return settings->SetValue(kcom::CComBSTR(section), kcom::CComBSTR(name), v, args[0], args[1], args[2], args[3],
                              args[4]);
}

void SetMultiMediaTrapping(TRAP_MODE mode) {
    wchar_t category[] = L"MultiMedia";
    CAcxSetting::GetInstance()->SetTrappingModeForCategoryW(category, mode);
}

kcom::CComPtr<IKorSettings> ApplicationSettings() {
    kcom::CComPtr<IKorSettings> settings;
    settings.Attach(OztGetApplicationSettings());
    return settings;
}

bool EqualsNoCase(const wchar_t* a, const wchar_t* b) { return _wcsicmp(a, b) == 0; }

}  // namespace

CKestruneMgr::~CKestruneMgr() {
    kcom::Guard([&] {
        if (m_acxHookWritten) WriteHookFlag(L"acx_hook", false);
        if (m_realHookWritten) WriteHookFlag(L"real_hook", false);
        SetMultiMediaTrapping(TRAP_MODE_FULL);
        return S_OK;
    });
}

STDMETHODIMP CKestruneMgr::SetRack(IObjectRack* rack) {
    return kcom::Guard([&] {
        HRESULT hr = IObjectRackClientImpl<CKestruneMgr>::SetRack(rack);
        if (m_rack && m_agent) {
            kcom::CComQIPtr<IObjectRackClient> agent(m_agent);
            if (agent) hr = agent->SetRack(rack);
        }
        return hr;
    });
}

STDMETHODIMP CKestruneMgr::SetPackageConfiguration(VARIANT config) {
    return kcom::Guard([&]() -> HRESULT {
        if (config.vt != (VT_ARRAY | VT_BSTR) || !config.parray || ::SafeArrayGetDim(config.parray) != 1)
            return E_INVALIDARG;
        LONG lower = 0, upper = -1;
        if (FAILED(::SafeArrayGetLBound(config.parray, 1, &lower)) ||
            FAILED(::SafeArrayGetUBound(config.parray, 1, &upper)))
            return E_INVALIDARG;
        for (LONG i = lower; i <= upper; ++i) {
            kcom::CComBSTR word;
            if (FAILED(::SafeArrayGetElement(config.parray, &i, word.Put())) || word.Length() == 0) continue;
            if (EqualsNoCase(word.c_str(), L"full")) m_full = true;
            else if (EqualsNoCase(word.c_str(), L"multimedia")) m_multimedia = true;
        }
        return S_OK;
    });
}

STDMETHODIMP CKestruneMgr::Init() {
    return kcom::Guard([&]() -> HRESULT {
        if (!m_rack) return E_FAIL;
        m_rack->SetObject(kcom::CComBSTR(L"KestruneMgr"), GetControllingUnknown());
        HRESULT hr = m_agent.CoCreateInstance(CLSID_AcxAgntUtil, nullptr, CLSCTX_ALL);
        if (FAILED(hr) || !m_agent) return E_FAIL;
        if (kcom::CComQIPtr<IObjectRackClient> agent(m_agent); agent) agent->SetRack(m_rack);

        if (kcom::CComPtr<IKorSettings> settings = ApplicationSettings()) {
            kcom::CComBSTR root;
            if (SUCCEEDED(settings->GetProductRegRoot(root.Put())) && !root.IsNull())
                ApplyProductSettings(settings, root.c_str());
        }
        EnsureFlowEventsObject(m_rack);
        return S_OK;
    });
}

void CKestruneMgr::ApplyProductSettings(IKorSettings* settings, const wchar_t* root) {
    const std::wstring agentRoot = std::wstring(root) + L"\\ActiveX Add-in";
    CAcxSetting::GetInstance()->SetProductActiveXAgentRegRoot(HKEY_CURRENT_USER, agentRoot.c_str());

    kcom::CComVariant useBBHook;
    const bool useBB = SUCCEEDED(settings->GetValue(kcom::CComBSTR(L"ActiveX Add-in"), kcom::CComBSTR(L"UseBBHook"),
                                                    &useBBHook, 0, 0)) &&
                       useBBHook.vt == VT_I4 && useBBHook.lVal != 0;
    if (useBB) {
        if ((m_full || m_multimedia) && SUCCEEDED(WriteHookFlag(L"acx_hook", true))) m_acxHookWritten = true;
    } else {
        SetSetting(settings, L"HooksMgr\\DllInjector\\ALWAYS\\DEFAULT\\MODULES", L"Quillon.dll", 1, kModuleArgs);
        RegisterInjectorHooks(settings);
    }
    if (m_multimedia && SUCCEEDED(WriteHookFlag(L"real_hook", true))) m_realHookWritten = true;

    if (m_full && m_multimedia) SetMultiMediaTrapping(TRAP_MODE_FULL_AND_MULTIMEDIA);
    else if (m_full) SetMultiMediaTrapping(TRAP_MODE_FULL);
    else if (m_multimedia) SetMultiMediaTrapping(TRAP_MODE_MULTIMEDIA);
}

HRESULT CKestruneMgr::EnsureFlowEventsObject(IObjectRack* rack) {
    if (!rack) return E_POINTER;
    const kcom::CComBSTR name(kFlowEventsName);
    kcom::CComPtr<IUnknown> existing;
    if (SUCCEEDED(rack->GetObject(name, IID_IObjectRackClient, existing.Put())) && existing) return S_OK;
    kcom::CComPtr<IObjectRackClient> sink;
    HRESULT hr = ::CoCreateInstance(CLSID_AcxFlowEvents, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectRackClient,
                                    reinterpret_cast<void**>(sink.Put()));
    if (FAILED(hr)) return hr;
    if (!sink) return E_FAIL;
    sink->SetRack(rack);
    return rack->SetObject(name, sink);
}

HRESULT CKestruneMgr::LoadIniFileName() {
    if (m_iniFile.empty() && m_rack) {
        if (kcom::CComPtr<IKorSettings> settings = ApplicationSettings()) {
            kcom::CComVariant name;
            if (SUCCEEDED(settings->GetValue(kcom::CComBSTR(L"HooksMgr\\Bbhook"), kcom::CComBSTR(L"IniFileName"), &name,
                                             0, 0)) &&
                name.vt == VT_BSTR && name.bstrVal)
                m_iniFile = name.bstrVal;
        }
    }
    // A bare name lives in the host's program folder. An empty name stays empty: placing it
    // would name the folder itself.
    if (!m_iniFile.empty() && m_iniFile.find(L'\\') == std::wstring::npos) {
        std::wstring dir;
        if (!GetInstallationDir(dir)) return E_FAIL;
        m_iniFile = dir + L"\\Bin\\" + m_iniFile;
    }
    return m_iniFile.empty() ? E_FAIL : S_OK;
}

HRESULT CKestruneMgr::WriteHookFlag(const wchar_t* key, bool on) {
    HRESULT hr = LoadIniFileName();
    if (FAILED(hr)) return hr;
    return ::WritePrivateProfileStringW(kIniSection, key, on ? L"1" : L"0", m_iniFile.c_str()) ? S_OK : E_FAIL;
}

HRESULT CKestruneMgr::RegisterInjectorHooks(IKorSettings* settings) {
    HRESULT hr = LoadIniFileName();
    if (FAILED(hr)) return hr;
    kcom::CComQIPtr<IKorSettingsSections> sections(settings);
    if (!sections) return E_POINTER;

    std::vector<wchar_t> keys(4096, L'\0');
    const DWORD length = ::GetPrivateProfileStringW(kHookListSection, nullptr, L"     ", keys.data(),
                                                    static_cast<DWORD>(keys.size()), m_iniFile.c_str());
    // Without the section some profile implementations hand back the blank default as the list.
    if (length == 0 || std::wcsspn(keys.data(), L" ") == length) return S_FALSE;
    for (const wchar_t* key = keys.data(); key < keys.data() + keys.size() && *key; key += std::wcslen(key) + 1) {
        if (EqualsNoCase(key, L"name") || EqualsNoCase(key, L"method")) continue;
        wchar_t value[MAX_PATH] = {};
        if (::GetPrivateProfileStringW(kHookListSection, key, L"     ", value, MAX_PATH, m_iniFile.c_str()) == 0 ||
            value[0] == L'\0')
            continue;
        const bool enabled = EqualsNoCase(value, L"yes");
        const std::wstring section = std::wstring(kInjectorRoot) + L"\\" + key;
        const kcom::CComBSTR sectionName(section.c_str());
        VARIANT_BOOL exists = VARIANT_FALSE;
        if (FAILED(sections->SectionExists(sectionName, &exists))) continue;
        if (!exists && FAILED(sections->CreateSection(sectionName))) continue;
        SetSetting(settings, section.c_str(), L"Enabled", enabled ? 1 : 0, kHookArgs);
        SetSetting(settings, section.c_str(), L"UseDefault", 1, kHookArgs);
    }
    return S_OK;
}

STDMETHODIMP CKestruneMgr::AddQuery(IUnknown* engine) {
    return kcom::Guard([&]() -> HRESULT {
        if (!engine) return E_POINTER;
        kcom::CComQIPtr<IKorQueryRegistration> registration(engine);
        if (!registration) return E_NOINTERFACE;
        return registration->RegisterQuery(kcom::CComBSTR(L"Quorvel.AcxQuery"), kcom::CComBSTR(L"AcxQuery"), 0, 0, -1);
    });
}

STDMETHODIMP CKestruneMgr::AddFactory(IUnknown* recordMgr) {
    return kcom::Guard([&]() -> HRESULT {
        if (!recordMgr) return E_POINTER;
        kcom::CComQIPtr<IKorRecordRegistration> registration(recordMgr);
        if (!registration) return E_NOINTERFACE;
        KorClassDescriptor descriptor{L"AcxFactory", 0, 0xAFFF, 0};
        return registration->RegisterFactory(kcom::CComBSTR(L"Quorvel.AcxFactory"), descriptor, -1,
                                             m_factoryRegistration.Put());
    });
}

STDMETHODIMP CKestruneMgr::AddServer(IUnknown* recordMgr) {
    return kcom::Guard([&]() -> HRESULT {
        if (!recordMgr) return E_POINTER;
        kcom::CComQIPtr<IKorRecordRegistration> registration(recordMgr);
        if (!registration) return E_NOINTERFACE;
        KorClassDescriptor descriptor{L"KestruneSrv", 0, 0x7FFF, 0};
        return registration->RegisterServer(m_factoryRegistration, descriptor, -1);
    });
}

STDMETHODIMP CKestruneMgr::GetValueByName(BSTR, BSTR, VARIANT*) { return E_NOTIMPL; }

STDMETHODIMP CKestruneMgr::SetValueByName(BSTR, BSTR, VARIANT*, long) { return E_NOTIMPL; }
