#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "com/Handles.h"

// Puts one registry value back as it was when the guard ends, however the test ends: its old data,
// or no value and none of the keys that were made after the guard began. The programs that write
// where the package reads from a fixed place hold the one registry lock while they run.
class CRegistryRestore {
public:
    CRegistryRestore(HKEY root, std::wstring path, const wchar_t* name = nullptr)
        : root_(root), path_(std::move(path)), name_(name ? name : L""), named_(name != nullptr) {
        while (!path_.empty() && path_.back() == L'\\') path_.pop_back();
        for (size_t end = 0; end != std::wstring::npos;) {
            end = path_.find(L'\\', end + 1);
            const std::wstring part = path_.substr(0, end);
            HKEY key = nullptr;
            if (::RegOpenKeyExW(root_, part.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
                made_ = part;
                return;
            }
            ::RegCloseKey(key);
        }
        DWORD size = 0;
        if (::RegGetValueW(root_, path_.c_str(), Name(), RRF_RT_ANY | RRF_NOEXPAND, &type_, nullptr, &size) !=
            ERROR_SUCCESS)
            return;
        data_.resize(size);
        had_ = ::RegGetValueW(root_, path_.c_str(), Name(), RRF_RT_ANY | RRF_NOEXPAND, &type_, data_.data(), &size) ==
               ERROR_SUCCESS;
        data_.resize(size);
    }
    ~CRegistryRestore() {
        if (!made_.empty()) {
            ::RegDeleteTreeW(root_, made_.c_str());
            ::RegDeleteKeyW(root_, made_.c_str());
        } else if (had_) {
            ::RegSetKeyValueW(root_, path_.c_str(), Name(), type_, data_.data(), static_cast<DWORD>(data_.size()));
        } else {
            ::RegDeleteKeyValueW(root_, path_.c_str(), Name());
        }
    }
    CRegistryRestore(const CRegistryRestore&) = delete;
    CRegistryRestore& operator=(const CRegistryRestore&) = delete;

private:
    const wchar_t* Name() const { return named_ ? name_.c_str() : nullptr; }

    HKEY root_;
    std::wstring path_, name_, made_;
    bool named_, had_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

// Puts one key back with everything under it as it was when the guard began, however the test
// ends: its values and subkeys, or no key when there was none.
class CRegistryTreeRestore {
public:
    CRegistryTreeRestore(HKEY root, std::wstring path) : root_(root), path_(std::move(path)) {
        kcom::CRegKey key;
        had_ = ::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
        if (had_) Read(key, saved_);
    }
    ~CRegistryTreeRestore() {
        ::RegDeleteTreeW(root_, path_.c_str());
        ::RegDeleteKeyW(root_, path_.c_str());
        if (had_) Write(root_, path_, saved_);
    }
    CRegistryTreeRestore(const CRegistryTreeRestore&) = delete;
    CRegistryTreeRestore& operator=(const CRegistryTreeRestore&) = delete;

private:
    struct Value {
        std::wstring name;
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    struct Tree {
        std::wstring name;
        std::vector<Value> values;
        std::vector<Tree> keys;
    };

    static void Read(HKEY key, Tree& tree) {
        DWORD keys = 0, longestKey = 0, values = 0, longestName = 0, largest = 0;
        if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &keys, &longestKey, nullptr, &values, &longestName,
                               &largest, nullptr, nullptr) != ERROR_SUCCESS)
            return;
        for (DWORD i = 0; i < values; ++i) {
            Value value;
            std::wstring name(longestName + 1, L'\0');
            DWORD length = longestName + 1, size = largest;
            value.data.resize(largest);
            if (::RegEnumValueW(key, i, name.data(), &length, nullptr, &value.type, value.data.data(), &size) !=
                ERROR_SUCCESS)
                continue;
            value.name.assign(name.c_str(), length);
            value.data.resize(size);
            tree.values.push_back(std::move(value));
        }
        for (DWORD i = 0; i < keys; ++i) {
            std::wstring name(longestKey + 1, L'\0');
            DWORD length = longestKey + 1;
            kcom::CRegKey child;
            if (::RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
                ::RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, child.Put()) != ERROR_SUCCESS)
                continue;
            tree.keys.push_back({name.substr(0, length), {}, {}});
            Read(child, tree.keys.back());
        }
    }
    static void Write(HKEY parent, const std::wstring& path, const Tree& tree) {
        kcom::CRegKey key;
        if (::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr) !=
            ERROR_SUCCESS)
            return;
        for (const Value& value : tree.values)
            ::RegSetValueExW(key, value.name.empty() ? nullptr : value.name.c_str(), 0, value.type, value.data.data(),
                             static_cast<DWORD>(value.data.size()));
        for (const Tree& child : tree.keys) Write(key, child.name, child);
    }

    HKEY root_;
    std::wstring path_;
    bool had_ = false;
    Tree saved_;
};
