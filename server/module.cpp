#include "server/module.h"

#include "versioninfo/error_report.h"

namespace vinspect {

namespace {

// Built by the runtime when the library is loaded, before the entry routine runs, and torn down
// after its process detach. A function-local static would be built on first use behind a
// thread-safe guard, and the guard's threading runtime takes a TLS index that no unload gives
// back.
ServerModule module;

}  // namespace

ServerModule& Module() { return module; }

HRESULT StartModule(ClassEntry* table, HINSTANCE instance) {
    ServerModule& module = Module();
    module.instance = instance;
    module.classTable = table;
    module.lockCount = 0;
    SetErrorTextModule(module.instance);
    return S_OK;
}

HRESULT StopModule() {
    ServerModule& module = Module();
    for (ClassEntry* entry = module.classTable; entry != nullptr && entry->classId != nullptr;
         ++entry) {
        entry->classObject.Reset();
    }
    return S_OK;
}

HRESULT FindClassObject(REFCLSID classId, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    // Cleared first, so that a stale pointer in the caller's variable is never mistaken for a
    // class object.
    *out = nullptr;
    HRESULT result = S_OK;
    ServerModule& module = Module();
    for (ClassEntry* entry = module.classTable; entry != nullptr && entry->classId != nullptr;
         ++entry) {
        if (!IsEqualCLSID(*entry->classId, classId)) continue;
        if (!entry->classObject) {
            SectionGuard guard(module.classTableLock);
            if (!entry->classObject) {
                result = entry->createClassObject(entry->createInstance, IID_IUnknown,
                                                  entry->classObject.OutVoid());
            }
        }
        if (entry->classObject) result = entry->classObject->QueryInterface(iid, out);
        break;
    }
    if (*out == nullptr && result == S_OK) result = CLASS_E_CLASSNOTAVAILABLE;
    return result;
}

void AddLock() { InterlockedIncrement(&Module().lockCount); }

void RemoveLock() { InterlockedDecrement(&Module().lockCount); }

LONG LockCount() { return Module().lockCount; }

}  // namespace vinspect
