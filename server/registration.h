// Self-registration of the library: the class registration written by the library's own registry
// scripts, and the registration of its type library; machine-wide, or for the calling user only.
#pragma once

#include <windows.h>

#include "server/registry/script_interpreter.h"

namespace vinspect {

// Registers every class of the class table, then the type library. A registration that fails
// puts back everything it changed, so that an earlier registration stays as it was.
HRESULT RegisterServer();
// Unregisters every class of the class table; the type library stays registered. Returns the
// first removal the registry refused, after removing all that it could.
HRESULT UnregisterServer();
// DllInstall: the command line "user" (in any case) registers (`install`) or unregisters the
// classes and the type library for the calling user only, under HKCU\Software\Classes, by the
// same rules as RegisterServer and UnregisterServer. Any other command line is E_INVALIDARG.
HRESULT InstallServer(BOOL install, const wchar_t* commandLine);

// Applies the library's "REGISTRY" resource `resourceId` with the variable Module set to the
// library's own path, registering or unregistering, under the classes root of `target`.
HRESULT ApplyModuleScript(WORD resourceId, BOOL registerClass, const ScriptTarget& target);

}  // namespace vinspect
