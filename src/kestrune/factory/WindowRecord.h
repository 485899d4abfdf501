#pragma once
// A recorder record in the window format, read in place: the medium's handle is the record's
// address. Window at byte 8, message at 12, wParam at 16, lParam at 24 (the low words of the
// 64-bit fields).
#include <windows.h>
#include <cstring>

class CWindowRecord {
public:
    static constexpr size_t kWindowAt = 8;
    static constexpr size_t kMessageAt = 12;
    static constexpr size_t kWParamAt = 16;
    static constexpr size_t kLParamAt = 24;

    explicit CWindowRecord(const void* data) noexcept : m_data(static_cast<const BYTE*>(data)) {}

    HWND Window() const noexcept { return ToWindow(Read<DWORD>(kWindowAt)); }
    // The menu and WM_DESTROY tests look at the low word only.
    WORD Message16() const noexcept { return Read<WORD>(kMessageAt); }
    UINT Message() const noexcept { return Read<DWORD>(kMessageAt); }
    DWORD LParam() const noexcept { return Read<DWORD>(kLParamAt); }

    static HWND ToWindow(DWORD value) noexcept { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value)); }

private:
    template <class T>
    T Read(size_t offset) const noexcept {
        T value;
        std::memcpy(&value, m_data + offset, sizeof(T));
        return value;
    }
    const BYTE* m_data;
};
