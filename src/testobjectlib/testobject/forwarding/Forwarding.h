#pragma once
// The boundary between a test object's COM methods and its operations: no C++ exception may
// leave a COM method (the callers are the host, scripts and oleaut32, whose frames the unwinder
// cannot pass). The guard there is the test object's own, TestObjectGuard: a replay error is
// parked for the running step.
#include <windows.h>
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"

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
    return TestObjectGuard([&]() -> HRESULT { return TestObjectOf<T>(this)->op(__VA_ARGS__); })
