// The interpreter of registry scripts: a tree of keys and values under root keys, applied in
// registration mode (open or create, write) or unregistration mode (remove from the leaves up,
// keeping keys that still hold foreign subkeys).
#pragma once

#include <windows.h>

#include "server/registry/variable_table.h"

namespace vinspect {

// What a registration changed, so that it can be put back: each key it created, each value it
// wrote with that value's earlier type and data (or its absence), and each key tree that
// "ForceRemove" or "Delete" removed, as it was read just before its removal.
class ChangeRecord {
public:
    ChangeRecord() = default;
    ChangeRecord(const ChangeRecord&) = delete;
    ChangeRecord& operator=(const ChangeRecord&) = delete;
    ~ChangeRecord();

    // Puts back every recorded change, newest first: values restored, removed trees written
    // again, created keys deleted. A step that fails does not stop the others; the first
    // failure is returned. The record is empty afterwards.
    HRESULT PutBack();
    // Takes over the changes of `newer`, all made after those already recorded.
    void Append(ChangeRecord& newer);

    struct Change;
    // Records `change` as the newest one.
    void Push(Change* change);

private:
    Change* newest_ = nullptr;
};

// Where a script is applied and what a registration reports besides its result.
struct ScriptTarget {
    // The key that the root names HKCR and HKEY_CLASSES_ROOT stand for (such as the user's
    // HKCU\Software\Classes); null: the platform's HKEY_CLASSES_ROOT.
    HKEY classesRoot = nullptr;
    // Receives the changes of the root blocks that a registration applied, so that the caller
    // can put them back later; null: they are not kept.
    ChangeRecord* changes = nullptr;
};

// Expands the variables of `text` and applies it. The one failure code for syntax faults and for
// keys that can be neither opened nor created is DISP_E_EXCEPTION (E_FAIL: a variable name of 32
// bytes or more); a value that cannot be written fails with the registry's reason as a result
// code (0x80070005: access denied). A key that can be opened for reading only is still walked
// into. Each root block is checked whole before it is applied, so a block with a syntax fault
// changes nothing; a block whose registration fails in the registry is put back as it was, and
// root blocks before it stay. Unregistration removes all that it can and returns the first
// removal the registry refused (a key that exists but cannot be opened with full access is
// passed over with its block); finding nothing to remove, and keys kept by "NoRemove" or for
// their foreign subkeys, are no failures. Refused as faults: unquoted tokens of 4096 bytes or
// more, value names of 260 bytes or more, empty key names, "D" values that do not convert to a
// 32-bit integer (when registering), and nesting beyond 64 blocks.
HRESULT ApplyScriptText(const char* text, BOOL registerMode, const VariableTable& variables,
                        const ScriptTarget& target = {});

// Applies the "REGISTRY" resource `resourceId` of the file `moduleFile`, mapped as data.
HRESULT ApplyRegistryResource(const char* moduleFile, WORD resourceId, BOOL registerMode,
                              const VariableTable& variables, const ScriptTarget& target = {});

}  // namespace vinspect
