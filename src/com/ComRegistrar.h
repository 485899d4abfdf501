#pragma once
// A registry script as data: the keys a class writes, with their default and named values.
// Registration writes them (keeping whatever else the keys hold); unregistration removes the
// values it wrote and every key, deepest first, that has no subkeys left.
#include <windows.h>
#include <string>
#include <utility>
#include <vector>

namespace kcom {

struct RegScriptKey {
    std::wstring path;                    // below the script's root
    bool hasDefault = false;
    std::wstring defaultValue;
    std::vector<std::pair<std::wstring, std::wstring>> values;  // named REG_SZ values
    bool forceRemove = false;             // removed with its whole tree on unregistration
};

using RegScript = std::vector<RegScriptKey>;

HRESULT RegisterScript(HKEY root, const RegScript& script) noexcept;
HRESULT UnregisterScript(HKEY root, const RegScript& script) noexcept;

}  // namespace kcom
