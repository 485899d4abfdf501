#pragma once
#include <windows.h>
#include <string>
#include <vector>

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
