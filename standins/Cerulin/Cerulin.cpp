// Stand-in for Cerulin.dll: answers "IsInLearn" as a test set it.
#include "CerulinStandIn.h"

namespace {
volatile LONG g_inLearn = FALSE;
volatile LONG g_calls = 0;
}  // namespace

extern "C" {
BOOL __cdecl IsInLearn() {
    ::InterlockedIncrement(&g_calls);
    return g_inLearn;
}
void CerulinStandIn_SetInLearn(BOOL inLearn) { ::InterlockedExchange(&g_inLearn, inLearn ? TRUE : FALSE); }
int CerulinStandIn_GetCallCount() { return g_calls; }
}
