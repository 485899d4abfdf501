#pragma once
// The guard of the test object's own code. Beside what the frame's guard catches, it knows the
// replay error: raised as a heap CKorException (by an overridable operation, or by a step's
// operation that ends the step), it must be neither leaked nor reduced to E_FAIL.
#include <windows.h>
#include <new>
#include "com/ComError.h"
#include "errors/KorException.h"
#include "testobject/replay/ReplaySkeletonContext.h"

// Runs f and turns whatever it raises into an HRESULT. A replay error's code is returned (a
// success code in it still means failure), and the exception is kept for the replay step running
// on this thread, which raises it again once the call is back in its own frames, or else deleted.
template <class F>
HRESULT TestObjectGuard(F&& f) noexcept {
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
