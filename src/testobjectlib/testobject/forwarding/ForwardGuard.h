#pragma once
// The boundary between a test object's COM methods and its operations: no C++ exception may
// leave a COM method (the callers are the host, scripts and oleaut32, whose frames the unwinder
// cannot pass).
#include <windows.h>
#include <new>
#include "com/ComError.h"
#include "errors/KorException.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/replay/ReplaySkeletonContext.h"

// Runs f and turns whatever it raises into an HRESULT. A replay error travels as a heap
// CKorException whose error information is already set: its code is returned (a success code in
// it still means failure), and the exception is kept for the replay step running on this thread,
// which raises it again once the call is back in its own frames, or else deleted.
template <class F>
HRESULT ForwardGuard(F&& f) noexcept {
    try {
        return f();
    } catch (CKorException* e) {
        const HRESULT hr = e ? e->Error() : E_FAIL;
        CReplaySkeletonContext::Park(e);
        return FAILED(hr) ? hr : E_FAIL;
    } catch (const kcom::ComError& e) {
        return FAILED(e.hr()) ? e.hr() : E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// The test-object part of the concrete class T that an interface template is a base of.
template <class T, class Itf>
CComTestObject* TestObjectOf(Itf* itf) noexcept {
    return static_cast<T*>(itf);
}

// Body of a forwarding method: one operation of the test object, same arguments, guarded.
// Several operations share their name and signature with the method that reaches them (IsDirty,
// Load, Save, the replay-skeleton and custom-step operations, get/put_CollectionName, GetRack,
// RefreshObject). A concrete class that overrides such an operation overrides the interface
// method too, so its override must not raise, and overriding a replay-skeleton hook operation
// replaces the hook rule of that method.
#define KOR_FORWARD(op, ...) \
    return ForwardGuard([&]() -> HRESULT { return TestObjectOf<T>(this)->op(__VA_ARGS__); })
