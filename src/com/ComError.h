#pragma once
// Internal error type of the package and the guard that keeps every exception inside a COM method.
#include <windows.h>
#include <oleauto.h>
#include <exception>
#include <new>
#include <stdexcept>

namespace kcom {

// An HRESULT raised inside the package; never crosses a module or COM boundary.
class ComError : public std::exception {
public:
    explicit ComError(HRESULT hr) noexcept : hr_(hr) {}
    HRESULT hr() const noexcept { return hr_; }
    const char* what() const noexcept override { return "ComError"; }

private:
    HRESULT hr_;
};

[[noreturn]] inline void Throw(HRESULT hr) { throw ComError(hr); }
inline void ThrowIfFailed(HRESULT hr) { if (FAILED(hr)) throw ComError(hr); }

// Runs f and turns anything it raises into an HRESULT.
template <class F>
HRESULT Guard(F&& f) noexcept {
    try {
        return f();
    } catch (const ComError& e) {
        return e.hr();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Sets the thread's error information (source ProgID or CLSID text, description, interface)
// and returns hr, for methods that report a described failure.
HRESULT ReportError(REFCLSID clsid, LPCOLESTR description, REFIID iid, HRESULT hr) noexcept;
HRESULT ReportError(LPCOLESTR source, LPCOLESTR description, REFIID iid, HRESULT hr) noexcept;

}  // namespace kcom
