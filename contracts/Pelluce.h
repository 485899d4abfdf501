#pragma once
// Pelluce: the output channel that carries one hook request into the application under test
// and brings the hook's reply back in the same parameter record.
#include <windows.h>
#include <oleauto.h>
#include <objidl.h>
#include <cstddef>
#include "outputchannel.h"

#ifdef PELLUCE_BUILD
#define PELLUCE_API __declspec(dllexport)
#else
#define PELLUCE_API __declspec(dllimport)
#endif

// One request and, after the send, its reply. Callers place it on their own stack; the
// destructor frees whatever it still holds: both VARIANTs, the stream and the blob. The blob
// is always allocated with CoTaskMemAlloc (and so must any code that fills a reply).
class PELLUCE_API CAcxParamHelper {
public:
    CAcxParamHelper();
    ~CAcxParamHelper();
    CAcxParamHelper(const CAcxParamHelper&) = delete;
    CAcxParamHelper& operator=(const CAcxParamHelper&) = delete;

    HWND hWnd;          // window the request is about; a reply may replace it
    LONG lCookie;       // windowless cookie or request parameter; some replies answer here
    LONG lResult;       // the hook's verdict (1 = answered) or a numeric answer
    LONG lReserved1;
    BYTE* pBlob;        // reply bytes owned by the record (CoTaskMemAlloc)
    ULONG cbBlob;
    VARIANT varA;
    VARIANT varB;
    IStream* pStream;   // reply stream, e.g. a marshalled IDispatch
    LONG lReserved2;
};

static_assert(sizeof(CAcxParamHelper) == 64, "the record is shared with peers and must stay 64 bytes");
static_assert(offsetof(CAcxParamHelper, hWnd) == 0);
static_assert(offsetof(CAcxParamHelper, lCookie) == 4);
static_assert(offsetof(CAcxParamHelper, lResult) == 8);
static_assert(offsetof(CAcxParamHelper, pBlob) == 16);
static_assert(offsetof(CAcxParamHelper, cbBlob) == 20);
static_assert(offsetof(CAcxParamHelper, varA) == 24);
static_assert(offsetof(CAcxParamHelper, varB) == 40);
static_assert(offsetof(CAcxParamHelper, pStream) == 56);

class PELLUCE_API CPelluce {
public:
    // Sends request (a registered "Quillon_msg_<NAME>" number) under the carrier message to the
    // hook that owns target's thread and waits for its reply. 0 when the hook answered: the
    // window, cookie, result, blob, both VARIANTs and the stream of params then hold the reply.
    // Negative when the request did not reach the hook, the hook did not answer in time or the
    // channel is missing; params is then left exactly as it was.
    static long SendMessageByOCh(ULONG carrier, HWND target, ULONG request, CAcxParamHelper& params,
                                 IOutputChannel* channel);
};
