#include "server/interface_table.h"

namespace vinspect {

HRESULT LookupInterface(void* object, const InterfaceEntry* table, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    const InterfaceEntry* found = nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) {
        found = table;
    } else {
        for (const InterfaceEntry* entry = table; entry->iid != nullptr; ++entry) {
            if (IsEqualIID(*entry->iid, iid)) {
                found = entry;
                break;
            }
        }
    }
    if (found == nullptr || found->iid == nullptr) return E_NOINTERFACE;
    IUnknown* pointer = found->pointer(object);
    pointer->AddRef();
    *out = pointer;
    return S_OK;
}

}  // namespace vinspect
