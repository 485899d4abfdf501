#pragma once
// The answer of an IDispatch::Invoke whose call raised: the error information becomes the
// thread's and, as every dispatch interface answers a failed member, the caller's EXCEPINFO with
// DISP_E_EXCEPTION (a caller without an EXCEPINFO gets the code itself).
#include <windows.h>
#include <oaidl.h>
#include "com/ComError.h"
#include "errors/KorException.h"

class CDispatchError {
public:
    // Takes error over and deletes it; a success code in it still means failure.
    static HRESULT Answer(CKorException* error, EXCEPINFO* excepInfo) noexcept;

    // Runs f; a replay error it raises is handed to the caller in raised, anything else it raises
    // becomes the answer.
    template <class F>
    static HRESULT Catch(F&& f, CKorException*& raised) noexcept {
        return kcom::Guard([&]() -> HRESULT {
            try {
                return f();
            } catch (CKorException* e) {
                raised = e;
                return E_FAIL;
            }
        });
    }
    // Runs f; what it raises becomes the answer.
    template <class F>
    static HRESULT Guard(EXCEPINFO* excepInfo, F&& f) noexcept {
        CKorException* raised = nullptr;
        const HRESULT hr = Catch(f, raised);
        return raised ? Answer(raised, excepInfo) : hr;
    }

private:
    static void Fill(EXCEPINFO* excepInfo, HRESULT hr, IErrorInfo* info) noexcept;
};
