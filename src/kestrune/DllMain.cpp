// Entry point and exports of the in-process server.
#include <windows.h>
#include <olectl.h>
#include "com/ComModule.h"
#include "environment/LoadTimeValues.h"
#include "environment/ObjectMap.h"
#include "kestrune.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        kcom::Module().Init(GetObjectMap(), GetObjectMapCount(), instance, &LIBID_KESTRUNELib);
        ::DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        kcom::Module().Term();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() { return kcom::Module().GetLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv) {
    return kcom::Module().GetClassObject(clsid, iid, ppv);
}

STDAPI DllRegisterServer() { return RegisterServer(); }

STDAPI DllUnregisterServer() { return UnregisterServer(); }

// Switches the query engine's old answer for "name"; returns the previous setting.
extern "C" LONG WINAPI SetFlagUseOldNameQuery(LONG flag) {
    return ::InterlockedExchange(&g_useOldNameQuery, flag);
}
