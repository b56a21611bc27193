// Static interface tables and the one generic QueryInterface that walks them.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace vinspect {

// Maps an interface identifier to one of the interface pointers inside an object. The first row
// also answers IUnknown; a row without identifier ends the table.
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*pointer)(void* object);
};

// The interface pointer of base `Interface` inside an object of type `Object`.
template <typename Object, typename Interface>
IUnknown* InterfacePointer(void* object) {
    return static_cast<Interface*>(static_cast<Object*>(object));
}

// Finds `iid` in `table`, AddRefs the pointer it names and stores it in `out`.
HRESULT LookupInterface(void* object, const InterfaceEntry* table, REFIID iid, void** out);

}  // namespace vinspect
