#include "com/ComRegistrar.h"
#include "com/Handles.h"

namespace kcom {

namespace {
LONG SetString(HKEY key, const wchar_t* name, const std::wstring& value) noexcept {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool HasSubKeys(HKEY key) noexcept {
    DWORD subKeys = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return true;
    return subKeys != 0;
}
}  // namespace

HRESULT RegisterScript(HKEY root, const RegScript& script) noexcept {
    for (const RegScriptKey& k : script) {
        CRegKey key;
        LONG rc = ::RegCreateKeyExW(root, k.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                    nullptr, key.Put(), nullptr);
        if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
        if (k.hasDefault && (rc = SetString(key, nullptr, k.defaultValue)) != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(rc);
        for (const auto& [name, value] : k.values)
            if ((rc = SetString(key, name.c_str(), value)) != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}

HRESULT UnregisterScript(HKEY root, const RegScript& script) noexcept {
    // The script lists parents before children, so walking it backwards empties a key first.
    for (auto it = script.rbegin(); it != script.rend(); ++it) {
        if (it->forceRemove) {
            ::RegDeleteTreeW(root, it->path.c_str());
            ::RegDeleteKeyW(root, it->path.c_str());
            continue;
        }
        CRegKey key;
        if (::RegOpenKeyExW(root, it->path.c_str(), 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS) continue;
        for (const auto& value : it->values) ::RegDeleteValueW(key, value.first.c_str());
        bool keep = HasSubKeys(key);
        key.Reset();
        if (!keep) ::RegDeleteKeyW(root, it->path.c_str());
    }
    return S_OK;
}

}  // namespace kcom
