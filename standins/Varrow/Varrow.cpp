// Stand-in for Varrow.dll: the add-in's settings singleton, recording every call.
#include "contracts/AcxSetting.h"
#include "VarrowStandIn.h"
#include <oleauto.h>
#include <map>
#include <string>
#include <utility>
#include <vector>
#include "../common/CallLog.h"

namespace {

const wchar_t kNotificationFormat[] = L"AcxSettingNotification";
const wchar_t kWlsClearFormat[] = L"AcxClearWlsCachedInfo";

struct State {
    standin::CallLog log;
    CRITICAL_SECTION cs;
    std::wstring rootPath;
    std::map<std::wstring, long> trapModes;
    std::vector<std::pair<std::wstring, std::wstring>> ignored;
    State() { ::InitializeCriticalSection(&cs); }
    ~State() { ::DeleteCriticalSection(&cs); }
};

State& S() {
    static State s;
    return s;
}

struct Locked {
    Locked() { ::EnterCriticalSection(&S().cs); }
    ~Locked() { ::LeaveCriticalSection(&S().cs); }
};

std::wstring RootName(HKEY root) {
    if (root == HKEY_CURRENT_USER) return L"HKCU";
    if (root == HKEY_LOCAL_MACHINE) return L"HKLM";
    if (root == HKEY_CLASSES_ROOT) return L"HKCR";
    if (!root) return L"0";
    wchar_t buf[16];
    swprintf(buf, 16, L"%p", static_cast<void*>(root));
    return buf;
}

bool ReadProgIdValue(const CAcxSetting& setting, wchar_t* progId, wchar_t* valueName, wchar_t** value) {
    S().log.Add(L"GetValueFromProgIDW(" + standin::Arg(progId) + L"," + standin::Arg(valueName) + L")");
    if (!progId || !valueName || !value) return false;
    std::wstring key;
    HKEY root;
    {
        Locked l;
        key = S().rootPath;
        root = setting.m_rootKey;
    }
    if (!root) return false;
    key += L"\\ProgID\\";
    key += progId;
    wchar_t data[1024];
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegGetValueW(root, key.c_str(), valueName, RRF_RT_REG_SZ, &type, data, &size) != ERROR_SUCCESS)
        return false;
    BSTR b = ::SysAllocString(data);
    if (!b) return false;
    *value = b;
    return true;
}

}  // namespace

CAcxSetting::CAcxSetting()
    : m_notificationFormat(::RegisterClipboardFormatW(kNotificationFormat)),
      m_wlsClearFormat(::RegisterClipboardFormatW(kWlsClearFormat)),
      m_reserved(0),
      m_rootKeyPath(S().rootPath.data()),
      m_rootKey(nullptr) {}

CAcxSetting::~CAcxSetting() = default;

CAcxSetting* CAcxSetting::GetInstance() {
    static CAcxSetting instance;
    return &instance;
}

// Nothing may leave the module by exception: every export catches all.
void CAcxSetting::SetProductActiveXAgentRegRoot(HKEY root, const wchar_t* path) {
    try {
        S().log.Add(L"SetProductActiveXAgentRegRoot(" + RootName(root) + L"," + standin::Arg(path) + L")");
        Locked l;
        S().rootPath = path ? path : L"";
        m_rootKeyPath = S().rootPath.data();
        m_rootKey = root;
    } catch (...) {
    }
}

long CAcxSetting::SetTrappingModeForCategoryW(wchar_t* category, TRAP_MODE mode) {
    try {
        S().log.Add(L"SetTrappingModeForCategoryW(" + standin::Arg(category) + L"," +
                    std::to_wstring(static_cast<int>(mode)) + L")");
        Locked l;
        S().trapModes[category ? category : L""] = mode;
        return 0;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

bool CAcxSetting::GetValueFromProgIDW(wchar_t* progId, wchar_t* valueName, wchar_t** value) {
    try {
        return ReadProgIdValue(*this, progId, valueName, value);
    } catch (...) {
        return false;
    }
}

bool CAcxSetting::IsIgnorePropertyW(wchar_t* progId, wchar_t* property) {
    try {
        S().log.Add(L"IsIgnorePropertyW(" + standin::Arg(progId) + L"," + standin::Arg(property) + L")");
    } catch (...) {
    }
    if (!progId || !property) return false;
    Locked l;
    for (const auto& [p, name] : S().ignored)
        if (_wcsicmp(p.c_str(), progId) == 0 && _wcsicmp(name.c_str(), property) == 0) return true;
    return false;
}

extern "C" {

int VarrowStandIn_GetLog(wchar_t* buffer, int size) { return S().log.CopyOut(buffer, size); }

int VarrowStandIn_GetCallCount(const wchar_t* method) { return S().log.Count(method); }

void VarrowStandIn_Reset() {
    S().log.Clear();
    CAcxSetting* setting = CAcxSetting::GetInstance();
    Locked l;
    S().trapModes.clear();
    S().ignored.clear();
    S().rootPath.clear();
    setting->m_rootKeyPath = S().rootPath.data();
    setting->m_rootKey = nullptr;
}

long VarrowStandIn_GetTrappingMode(const wchar_t* category) {
    Locked l;
    auto it = S().trapModes.find(category ? category : L"");
    return it == S().trapModes.end() ? -2 : it->second;
}

void VarrowStandIn_AddIgnoredProperty(const wchar_t* progId, const wchar_t* property) {
    try {
        Locked l;
        S().ignored.emplace_back(progId ? progId : L"", property ? property : L"");
    } catch (...) {
    }
}

const wchar_t* VarrowStandIn_NotificationFormatName() { return kNotificationFormat; }
const wchar_t* VarrowStandIn_WlsClearFormatName() { return kWlsClearFormat; }

}  // extern "C"
