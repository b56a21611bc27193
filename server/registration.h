// Self-registration of the library: the class registration written by the library's own registry
// scripts, and the registration of its type library.
#pragma once

#include <windows.h>

namespace vinspect {

// Registers every class of the class table, then the type library; takes the classes back when
// the type library cannot be registered.
HRESULT RegisterServer();
// Unregisters every class of the class table; the type library stays registered. Always S_OK.
HRESULT UnregisterServer();

// Applies the library's "REGISTRY" resource `resourceId` with the variable Module set to the
// library's own path, registering or unregistering.
HRESULT ApplyModuleScript(WORD resourceId, BOOL registerClass);

}  // namespace vinspect
