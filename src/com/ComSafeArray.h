#pragma once
// Owning SAFEARRAY for arrays that are not description tables (those use CKorSafeArray).
#include <windows.h>
#include <oleauto.h>
#include <memory>
#include <utility>

namespace kcom {

class CComSafeArray {
public:
    CComSafeArray() noexcept = default;
    explicit CComSafeArray(SAFEARRAY* psa) noexcept : psa_(psa) {}
    CComSafeArray(CComSafeArray&& o) noexcept : psa_(std::exchange(o.psa_, nullptr)) {}
    CComSafeArray& operator=(CComSafeArray&& o) noexcept {
        if (this != std::addressof(o)) Reset(std::exchange(o.psa_, nullptr));
        return *this;
    }
    CComSafeArray(const CComSafeArray&) = delete;
    CComSafeArray& operator=(const CComSafeArray&) = delete;
    ~CComSafeArray() { Reset(); }

    void Reset(SAFEARRAY* psa = nullptr) noexcept {
        if (SAFEARRAY* old = std::exchange(psa_, psa)) ::SafeArrayDestroy(old);
    }
    SAFEARRAY* Detach() noexcept { return std::exchange(psa_, nullptr); }
    SAFEARRAY* get() const noexcept { return psa_; }
    operator SAFEARRAY*() const noexcept { return psa_; }
    // Out-parameter for a callee to fill; the held array is destroyed first.
    SAFEARRAY** Put() noexcept { Reset(); return &psa_; }
    // Taking the owner's address would hand out the wrapper, not the slot: Put() is the out-parameter.
    void operator&() = delete;

private:
    SAFEARRAY* psa_ = nullptr;
};

// Holds a SAFEARRAY's data lock for a scope.
class CSafeArrayDataLock {
public:
    explicit CSafeArrayDataLock(SAFEARRAY* psa) noexcept : psa_(psa) {
        if (psa_ && FAILED(::SafeArrayAccessData(psa_, &data_))) { psa_ = nullptr; data_ = nullptr; }
    }
    ~CSafeArrayDataLock() { if (psa_) ::SafeArrayUnaccessData(psa_); }
    CSafeArrayDataLock(const CSafeArrayDataLock&) = delete;
    CSafeArrayDataLock& operator=(const CSafeArrayDataLock&) = delete;
    template <class T>
    T* get() const noexcept { return static_cast<T*>(data_); }
    explicit operator bool() const noexcept { return data_ != nullptr; }

private:
    SAFEARRAY* psa_;
    void* data_ = nullptr;
};

}  // namespace kcom
