#pragma once
// Thread-safe record of the calls a stand-in received, one text line per call.
#include <windows.h>
#include <cwchar>
#include <string>
#include <vector>

namespace standin {

class CallLog {
public:
    CallLog() { ::InitializeCriticalSection(&cs_); }
    ~CallLog() { ::DeleteCriticalSection(&cs_); }
    CallLog(const CallLog&) = delete;
    CallLog& operator=(const CallLog&) = delete;

    void Add(std::wstring line) {
        Lock l(cs_);
        lines_.push_back(std::move(line));
    }
    void Clear() {
        Lock l(cs_);
        lines_.clear();
    }
    std::vector<std::wstring> Lines() const {
        Lock l(cs_);
        return lines_;
    }
    std::wstring Joined() const {
        Lock l(cs_);
        std::wstring all;
        for (const auto& s : lines_) {
            if (!all.empty()) all += L'\n';
            all += s;
        }
        return all;
    }
    // Lines that begin with "<method>(".
    int Count(const wchar_t* method) const noexcept {
        const size_t length = method ? std::wcslen(method) : 0;
        Lock l(cs_);
        int n = 0;
        for (const auto& s : lines_)
            if (s.size() > length && s.compare(0, length, method ? method : L"") == 0 && s[length] == L'(') ++n;
        return n;
    }
    // Copies the joined log out, C style; returns the length needed (-1 when it cannot be built).
    int CopyOut(wchar_t* buffer, int size) const noexcept {
        if (buffer && size > 0) buffer[0] = L'\0';
        try {
            std::wstring all = Joined();
            if (buffer && size > 0) {
                size_t n = all.size() < static_cast<size_t>(size - 1) ? all.size() : static_cast<size_t>(size - 1);
                wmemcpy(buffer, all.data(), n);
                buffer[n] = L'\0';
            }
            return static_cast<int>(all.size());
        } catch (...) {
            return -1;
        }
    }

private:
    struct Lock {
        explicit Lock(CRITICAL_SECTION& cs) : cs_(cs) { ::EnterCriticalSection(&cs_); }
        ~Lock() { ::LeaveCriticalSection(&cs_); }
        CRITICAL_SECTION& cs_;
    };
    mutable CRITICAL_SECTION cs_;
    std::vector<std::wstring> lines_;
};

// Text of a possibly null string argument: "(null)" for null.
inline std::wstring Arg(const wchar_t* s) { return s ? std::wstring(s) : std::wstring(L"(null)"); }

}  // namespace standin
