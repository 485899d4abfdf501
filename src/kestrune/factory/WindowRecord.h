#pragma once
// Recorder records, read in place: the medium's handle is the record's address. A record that
// comes as global memory is first checked to hold the fields read.
//   window format:     window at byte 8, message at 12, wParam at 16, lParam at 24 (the low
//                      words of the 64-bit fields)
//   windowless format: container window at 4, cookie at 8, message at 12, wParam at 16, lParam at 20
#include <windows.h>
#include <objidl.h>
#include <cstring>

class CRecordView {
public:
    explicit CRecordView(const void* data) noexcept : m_data(static_cast<const BYTE*>(data)) {}

    static HWND ToWindow(DWORD value) noexcept { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value)); }

    // False only for global memory known to be shorter than size; other memory cannot be measured.
    static bool Holds(const STGMEDIUM& medium, size_t size) noexcept {
        if (!medium.hGlobal) return false;
        if (medium.tymed != TYMED_HGLOBAL) return true;
        const SIZE_T held = ::GlobalSize(medium.hGlobal);
        return held == 0 || held >= size;
    }

protected:
    template <class T>
    T Read(size_t offset) const noexcept {
        T value;
        std::memcpy(&value, m_data + offset, sizeof(T));
        return value;
    }

private:
    const BYTE* m_data;
};

class CWindowRecord : public CRecordView {
public:
    static constexpr size_t kWindowAt = 8;
    static constexpr size_t kMessageAt = 12;
    static constexpr size_t kWParamAt = 16;
    static constexpr size_t kLParamAt = 24;
    static constexpr size_t kSize = 28;

    using CRecordView::CRecordView;
    static bool Fits(const STGMEDIUM& medium) noexcept { return Holds(medium, kSize); }

    HWND Window() const noexcept { return ToWindow(Read<DWORD>(kWindowAt)); }
    // The menu and WM_DESTROY tests look at the low word only.
    WORD Message16() const noexcept { return Read<WORD>(kMessageAt); }
    UINT Message() const noexcept { return Read<DWORD>(kMessageAt); }
    DWORD WParam() const noexcept { return Read<DWORD>(kWParamAt); }
    DWORD LParam() const noexcept { return Read<DWORD>(kLParamAt); }

    // Re-targets the record in place to another window.
    static void SetWindow(void* data, HWND window) noexcept {
        const DWORD value = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window));
        std::memcpy(static_cast<BYTE*>(data) + kWindowAt, &value, sizeof value);
    }
};

class CWindowlessRecord : public CRecordView {
public:
    static constexpr size_t kWindowAt = 4;
    static constexpr size_t kCookieAt = 8;
    static constexpr size_t kMessageAt = 12;
    static constexpr size_t kWParamAt = 16;
    static constexpr size_t kLParamAt = 20;
    static constexpr size_t kSize = 24;

    using CRecordView::CRecordView;
    static bool Fits(const STGMEDIUM& medium) noexcept { return Holds(medium, kSize); }

    HWND Window() const noexcept { return ToWindow(Read<DWORD>(kWindowAt)); }
    LONG Cookie() const noexcept { return Read<LONG>(kCookieAt); }
    WORD Message16() const noexcept { return Read<WORD>(kMessageAt); }
    DWORD WParam() const noexcept { return Read<DWORD>(kWParamAt); }
    DWORD LParam() const noexcept { return Read<DWORD>(kLParamAt); }
};
