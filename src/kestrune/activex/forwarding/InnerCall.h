#pragma once
// Calls on the inner standard window test object: each call queries the inner object afresh for
// the interface of the same name and hands the callee's answer back.
#include <windows.h>
#include <unknwn.h>
#include "com/ComPtr.h"

// E_NOINTERFACE when there is no inner object or it lacks the interface.
template <class I, class F>
HRESULT CallInner(IUnknown* inner, F&& call) noexcept {
    kcom::CComPtr<I> itf;
    if (!inner || FAILED(inner->QueryInterface(__uuidof(I), reinterpret_cast<void**>(itf.Put()))) || !itf)
        return E_NOINTERFACE;
    return call(itf.get());
}

// The inner object of the concrete class T that an interface template is a base of.
template <class T, class Itf>
IUnknown* InnerOf(Itf* itf) noexcept {
    return static_cast<T*>(itf)->InnerTestObject();
}
