#pragma once
// Owning COM interface pointers.
#include <windows.h>
#include <unknwn.h>
#include <memory>
#include <utility>

namespace kcom {

template <class T>
class CComPtr {
public:
    CComPtr() noexcept = default;
    CComPtr(T* p) noexcept : p_(p) { if (p_) p_->AddRef(); }
    CComPtr(const CComPtr& o) noexcept : CComPtr(o.p_) {}
    CComPtr(CComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~CComPtr() { Release(); }

    CComPtr& operator=(T* p) noexcept {
        if (p) p->AddRef();  // before the release: p may be the held pointer
        T* old = std::exchange(p_, p);
        if (old) old->Release();
        return *this;
    }
    CComPtr& operator=(const CComPtr& o) noexcept { return *this = o.p_; }
    CComPtr& operator=(CComPtr&& o) noexcept {
        if (this != std::addressof(o)) { Release(); p_ = std::exchange(o.p_, nullptr); }
        return *this;
    }

    void Release() noexcept { if (T* old = std::exchange(p_, nullptr)) old->Release(); }
    void Attach(T* p) noexcept { Release(); p_ = p; }
    T* Detach() noexcept { return std::exchange(p_, nullptr); }

    HRESULT CopyTo(T** out) const noexcept {
        if (!out) return E_POINTER;
        *out = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }
    template <class Q>
    HRESULT QueryInterface(Q** out) const noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!p_) return E_NOINTERFACE;
        return p_->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(out));
    }
    HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer = nullptr,
                             DWORD ctx = CLSCTX_ALL) noexcept {
        Release();
        return ::CoCreateInstance(clsid, outer, ctx, __uuidof(T), reinterpret_cast<void**>(&p_));
    }
    HRESULT CoCreateInstance(LPCOLESTR progId, IUnknown* outer = nullptr,
                             DWORD ctx = CLSCTX_ALL) noexcept {
        CLSID clsid;
        HRESULT hr = ::CLSIDFromProgID(progId, &clsid);
        return FAILED(hr) ? hr : CoCreateInstance(clsid, outer, ctx);
    }
    bool IsEqualObject(IUnknown* other) const noexcept {
        if (!p_ && !other) return true;
        if (!p_ || !other) return false;
        CComPtr<IUnknown> a, b;
        p_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a.p_));
        other->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b.p_));
        return a.p_ == b.p_;
    }

    T* get() const noexcept { return p_; }
    operator T*() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    // Out-parameter for a callee to fill; the held pointer is released first.
    T** Put() noexcept { Release(); return &p_; }
    // Taking the owner's address would hand out the wrapper, not the slot: Put() is the out-parameter.
    void operator&() = delete;
    explicit operator bool() const noexcept { return p_ != nullptr; }
    bool operator!() const noexcept { return p_ == nullptr; }

private:
    template <class> friend class CComPtr;
    T* p_ = nullptr;
};

// Pointer that takes whatever it is given through QueryInterface.
template <class T>
class CComQIPtr : public CComPtr<T> {
public:
    CComQIPtr() noexcept = default;
    CComQIPtr(T* p) noexcept : CComPtr<T>(p) {}
    CComQIPtr(IUnknown* unk) noexcept { *this = unk; }
    CComQIPtr& operator=(IUnknown* unk) noexcept {
        T* q = nullptr;
        if (unk) unk->QueryInterface(__uuidof(T), reinterpret_cast<void**>(&q));
        this->Attach(q);
        return *this;
    }
};

// Hands out an interface of an object into a caller's out-pointer.
template <class T>
inline HRESULT QueryTo(IUnknown* unk, T** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!unk) return E_NOINTERFACE;
    return unk->QueryInterface(__uuidof(T), reinterpret_cast<void**>(out));
}

}  // namespace kcom
