// The entry routine and the exported entry points of vinspect.dll.
#include <windows.h>
#include <objbase.h>

#include "server/module.h"
#include "server/registration.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        vinspect::StartModule(vinspect::ServedClasses(), instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        vinspect::StopModule();
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* out) {
    return vinspect::FindClassObject(classId, iid, out);
}

STDAPI DllCanUnloadNow() { return vinspect::LockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return vinspect::RegisterServer(); }

STDAPI DllUnregisterServer() { return vinspect::UnregisterServer(); }

STDAPI DllInstall(BOOL install, PCWSTR commandLine) {
    return vinspect::InstallServer(install, commandLine);
}
