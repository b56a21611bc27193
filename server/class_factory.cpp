#include "server/class_factory.h"

#include <new>

#include "server/interface_table.h"

namespace vinspect {
namespace {

const InterfaceEntry kClassFactoryInterfaces[] = {
    {&IID_IClassFactory, InterfacePointer<ClassFactory, IClassFactory>},
    {nullptr, nullptr},
};

}  // namespace

HRESULT ClassFactory::Create(InstanceCreator context, REFIID iid, void** out) {
    ClassFactory* factory = new (std::nothrow) ClassFactory(context);
    if (factory == nullptr) return E_OUTOFMEMORY;
    HRESULT result = factory->QueryInterface(iid, out);
    if (result != S_OK) factory->Destroy();
    return result;
}

void ClassFactory::Destroy() {
    // A release that arrives during teardown must not start a second destruction.
    count_ = 1;
    delete this;
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID iid, void** out) {
    return LookupInterface(this, kClassFactoryInterfaces, iid, out);
}

// The table holds the first reference; the step from 1 to 2 and back changes the lock count,
// each exactly once, because the count and its test change together under the cache lock.
STDMETHODIMP_(ULONG) ClassFactory::AddRef() {
    SectionGuard guard(cache_);
    LONG count = InterlockedIncrement(&count_);
    if (count == 2) AddLock();
    return static_cast<ULONG>(count);
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
    LONG count;
    {
        SectionGuard guard(cache_);
        count = InterlockedDecrement(&count_);
        if (count == 1) RemoveLock();
    }
    if (count == 0) Destroy();
    return static_cast<ULONG>(count);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return creator_(outer, iid, out);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
    if (lock) {
        AddLock();
    } else {
        RemoveLock();
    }
    return S_OK;
}

}  // namespace vinspect
