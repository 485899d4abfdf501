#pragma once
// A recorder record as the host hands it over: fixed global memory whose handle is its address.
//   window format (32 bytes):     window at 8, message at 12, wParam at 16, lParam at 24
//   windowless format (24 bytes): container at 4, cookie at 8, message at 12, wParam at 16, lParam at 20
#include <windows.h>
#include <cstring>
#include "com/Handles.h"

class CRecorderRecord {
public:
    // A size below the layout's cuts the record short.
    static CRecorderRecord Window(HWND window, UINT message, DWORD lParam = 0, SIZE_T size = 32) {
        CRecorderRecord r(size);
        r.Put(8, Handle(window));
        r.Put(12, message);
        r.Put(24, lParam);
        return r;
    }
    static CRecorderRecord Windowless(HWND container, LONG cookie, UINT message, DWORD lParam = 0, SIZE_T size = 24) {
        CRecorderRecord r(size);
        r.Put(4, Handle(container));
        r.Put(8, static_cast<DWORD>(cookie));
        r.Put(12, message);
        r.Put(20, lParam);
        return r;
    }
    HGLOBAL get() const noexcept { return block_.get(); }
    DWORD At(size_t offset) const {
        DWORD value = 0;
        if (offset + 4 <= size_) std::memcpy(&value, static_cast<const BYTE*>(block_.get()) + offset, 4);
        return value;
    }

private:
    explicit CRecorderRecord(SIZE_T size) : block_(::GlobalAlloc(GPTR, size)), size_(size) {}
    static DWORD Handle(HWND window) { return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window)); }
    void Put(size_t offset, DWORD value) {
        if (offset + 4 <= size_) std::memcpy(static_cast<BYTE*>(block_.get()) + offset, &value, 4);
    }

    kcom::CGlobal block_;
    SIZE_T size_;
};
