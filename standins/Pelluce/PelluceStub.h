#pragma once
// Test controls of the Pelluce stand-in: counters, injected failures, an in-process responder
// and a ready-made output channel. Outside the channel's contract with the package.
#include "contracts/Pelluce.h"

// Answers a request in this process instead of sending it; its result is the send result.
// requestName is the registered name without "Quillon_msg_" ("#<number>" when unknown).
struct QuillonStubWindow;  // QuillonStub.h

typedef long (*PelluceStubResponder)(void* context, ULONG carrier, HWND target, ULONG request,
                                     const wchar_t* requestName, CAcxParamHelper* params);

extern "C" {
// Sends seen for one request name (as above), and in all.
PELLUCE_API LONG PelluceStub_GetCount(const wchar_t* requestName);
PELLUCE_API LONG PelluceStub_GetTotalCount();
// Counters, injected failures and the responder back to their start.
PELLUCE_API void PelluceStub_Reset();
// The next count sends fail with hr (negative) without reaching anything.
PELLUCE_API void PelluceStub_FailNext(ULONG count, LONG hr);
// A null responder sends for real again.
PELLUCE_API void PelluceStub_SetResponder(PelluceStubResponder responder, void* context);
// Answers every send in this process from a scenario (the hook's language, windows named by
// the table), as the hook would: a silent reply fails, a stall longer than the channel's
// time-out fails after the time-out. Null text goes back to sending for real. A responder set
// with PelluceStub_SetResponder comes first.
PELLUCE_API HRESULT PelluceStub_SetScenario(const wchar_t* scenario, const QuillonStubWindow* windows, ULONG count);
// An output channel whose sends wait at most timeoutMs.
PELLUCE_API HRESULT PelluceStub_CreateChannel(ULONG timeoutMs, IOutputChannel** channel);
// Replaces the record's blob with a copy of size bytes (null data: a null blob with that length).
PELLUCE_API HRESULT PelluceStub_SetBlob(CAcxParamHelper* params, const void* data, ULONG size);
}
