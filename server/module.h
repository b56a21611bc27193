// The process-wide module record of vinspect: its instance handle, the class table, the lock count
// that tells whether the library is in use, and the locks that guard shared state.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "common/handles.h"
#include "server/registry/script_interpreter.h"

namespace vinspect {

// Builds one object of a class: stand-alone without `outer`, aggregated with one.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID iid, void** out);
// Builds the class object of a class; `context` is the class's instance creator.
using ClassObjectCreator = HRESULT (*)(InstanceCreator context, REFIID iid, void** out);
// Registers (nonzero flag) or unregisters (zero) a class, under the classes root that `target`
// names, adding what a registration changes to the target's record.
using RegistryUpdateRoutine = HRESULT (*)(BOOL registerClass, const ScriptTarget& target);
// Returns null for a class that registration processes.
using DescriptionRoutine = const wchar_t* (*)();

// One served class. A row without class identifier ends the table.
struct ClassEntry {
    const CLSID* classId;
    RegistryUpdateRoutine updateRegistry;
    ClassObjectCreator createClassObject;
    InstanceCreator createInstance;
    ComRef<IUnknown> classObject;  // built on first request; the table holds this reference
    DescriptionRoutine description;
};

struct ServerModule {
    // The library's own instance: its file holds the registry scripts, the type library and the
    // error texts.
    HINSTANCE instance;
    ClassEntry* classTable;
    volatile LONG lockCount;
    CriticalSection typeInfoLock;
    CriticalSection classTableLock;
};

// The one module record of the process.
ServerModule& Module();

// The table of classes this library serves.
ClassEntry* ServedClasses();

// Process attach: fills the record. Its locks live as long as the record itself.
HRESULT StartModule(ClassEntry* table, HINSTANCE instance);
// Process detach: releases the cached class objects.
HRESULT StopModule();

// The class object of `classId`, built once and cached; CLASS_E_CLASSNOTAVAILABLE for classes
// this library does not serve.
HRESULT FindClassObject(REFCLSID classId, REFIID iid, void** out);

void AddLock();
void RemoveLock();
LONG LockCount();

}  // namespace vinspect
