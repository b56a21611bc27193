// The interpreter of registry scripts: a tree of keys and values under root keys, applied in
// registration mode (open or create, write) or unregistration mode (remove from the leaves up,
// keeping keys that still hold foreign subkeys).
#pragma once

#include <windows.h>

#include "server/registry/variable_table.h"

namespace vinspect {

// Expands the variables of `text` and applies it. The one failure code for syntax and registry
// failures is DISP_E_EXCEPTION.
HRESULT ApplyScriptText(const char* text, BOOL registerMode, const VariableTable& variables);

// Applies the "REGISTRY" resource `resourceId` of the file `moduleFile`, mapped as data.
HRESULT ApplyRegistryResource(const wchar_t* moduleFile, WORD resourceId, BOOL registerMode,
                              const VariableTable& variables);

}  // namespace vinspect
