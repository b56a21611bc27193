// The interpreter of registry scripts: a tree of keys and values under root keys, applied in
// registration mode (open or create, write) or unregistration mode (remove from the leaves up,
// keeping keys that still hold foreign subkeys).
#pragma once

#include <windows.h>

#include "server/registry/variable_table.h"

namespace vinspect {

// Expands the variables of `text` and applies it. The one failure code for syntax faults and for
// keys that can be neither opened nor created is DISP_E_EXCEPTION (E_FAIL: a variable name of 32
// bytes or more); a value that cannot be written fails with the registry's reason as a result
// code (0x80070005: access denied). A key that can be opened for reading only is still walked
// into. Each root block is checked whole before it is applied, so a block with a syntax fault
// changes nothing; a block whose registration fails in the registry is undone, and root blocks
// before it stay. Refused as faults: unquoted tokens of 4096 bytes or more, value names of 260
// bytes or more, empty key names, "D" values that do not convert to a 32-bit integer (when
// registering), and nesting beyond 64 blocks.
HRESULT ApplyScriptText(const char* text, BOOL registerMode, const VariableTable& variables);

// Applies the "REGISTRY" resource `resourceId` of the file `moduleFile`, mapped as data.
HRESULT ApplyRegistryResource(const char* moduleFile, WORD resourceId, BOOL registerMode,
                              const VariableTable& variables);

}  // namespace vinspect
