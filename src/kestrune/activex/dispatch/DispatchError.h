#pragma once
// The answer of an IDispatch::Invoke whose call raised: the error information becomes the
// thread's and, as every dispatch interface answers a failed member, the caller's EXCEPINFO with
// DISP_E_EXCEPTION (a caller without an EXCEPINFO gets the code itself).
#include <windows.h>
#include <oaidl.h>
#include <new>
#include "com/ComError.h"
#include "errors/KorException.h"

class CDispatchError {
public:
    // Takes error over and deletes it; a success code in it still means failure.
    static HRESULT Answer(CKorException* error, EXCEPINFO* excepInfo) noexcept;

    // Runs f; what it raises becomes the answer.
    template <class F>
    static HRESULT Guard(EXCEPINFO* excepInfo, F&& f) noexcept {
        try {
            return f();
        } catch (CKorException* e) {
            return Answer(e, excepInfo);
        } catch (const kcom::ComError& e) {
            return FAILED(e.hr()) ? e.hr() : E_FAIL;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
    }

private:
    static void Fill(EXCEPINFO* excepInfo, HRESULT hr, IErrorInfo* info) noexcept;
};
