// The class object (IClassFactory) of a served class: built once per process, cached in the class
// table, and counted in the lock count while anybody besides the table holds it.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "common/handles.h"
#include "server/module.h"

namespace vinspect {

class ClassFactory final : public IClassFactory {
public:
    // The class-object creator of the class table: `context` is the row's instance creator.
    static HRESULT Create(InstanceCreator context, REFIID iid, void** out);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    explicit ClassFactory(InstanceCreator creator) : creator_(creator) {}
    ~ClassFactory() = default;
    void Destroy();

    volatile LONG count_ = 0;
    InstanceCreator creator_;
    CriticalSection cache_;
};

}  // namespace vinspect
