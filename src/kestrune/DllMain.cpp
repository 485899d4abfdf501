#include <windows.h>
#include "ComModule.h"
#include "kestrune.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        kcom::Module().Init(instance, &LIBID_KESTRUNELib);
        ::DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        kcom::Module().Term();
    }
    return TRUE;
}
