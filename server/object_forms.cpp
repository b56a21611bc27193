#include "server/object_forms.h"

#include <objsafe.h>

#include <new>

#include "server/dispatch.h"
#include "server/interface_table.h"
#include "server/module.h"
#include "versioninfo/version_info.h"

namespace vinspect {
namespace {

// Whether `iid` is an interface through which a script host may call the object.
bool ScriptedInterface(REFIID iid) {
    return IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IqzVersionInfo);
}

// The interface pointers of a VersionInfo object: ISupportErrorInfo first, then the dual
// interface with its late binding, then IObjectSafety. IUnknown and IDispatch requests are
// answered by the dual interface.
class VersionInfoObject : public SupportErrorInfo,
                          public DispatchSupport<VersionInfo>,
                          public IObjectSafety {
public:
    // A browser asks before it lets a page script the object. The object is safe for an
    // untrusted caller (Path then reads local files only) and offers nothing else: it is not
    // safe for untrusted data, and its registration does not name it safe for initialization.
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID iid, DWORD* supported,
                                           DWORD* enabled) override {
        if (supported != nullptr) *supported = 0;
        if (enabled != nullptr) *enabled = 0;
        if (supported == nullptr || enabled == nullptr) return E_POINTER;
        if (!ScriptedInterface(iid)) return E_NOINTERFACE;
        *supported = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
        *enabled = UntrustedCaller() ? INTERFACESAFE_FOR_UNTRUSTED_CALLER : 0;
        return S_OK;
    }
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override {
        if (!ScriptedInterface(iid)) return E_NOINTERFACE;
        if ((mask & ~DWORD{INTERFACESAFE_FOR_UNTRUSTED_CALLER}) != 0) return E_FAIL;
        if (mask != 0) SetUntrustedCaller((enabled & INTERFACESAFE_FOR_UNTRUSTED_CALLER) != 0);
        return S_OK;
    }

protected:
    VersionInfoObject() = default;
    ~VersionInfoObject() = default;
};

const InterfaceEntry kVersionInfoInterfaces[] = {
    {&IID_IqzVersionInfo, InterfacePointer<VersionInfoObject, IqzVersionInfo>},
    {&IID_IDispatch, InterfacePointer<VersionInfoObject, IqzVersionInfo>},
    {&IID_ISupportErrorInfo, InterfacePointer<VersionInfoObject, ISupportErrorInfo>},
    {&IID_IObjectSafety, InterfacePointer<VersionInfoObject, IObjectSafety>},
    {nullptr, nullptr},
};

HRESULT LookupVersionInfoInterface(VersionInfoObject* object, REFIID iid, void** out) {
    return LookupInterface(object, kVersionInfoInterfaces, iid, out);
}

// The reference count of an object form. Each object is used from one apartment only, so the
// count changes with plain arithmetic. Destruction sets the count to 1 first, so that a release
// during teardown cannot start a second destruction, and gives the object's lock back.
template <typename Form>
class ApartmentCount {
public:
    ULONG Increment() { return static_cast<ULONG>(++count_); }
    ULONG Decrement() {
        LONG count = --count_;
        if (count == 0) Destroy();
        return static_cast<ULONG>(count);
    }
    void Destroy() {
        count_ = 1;
        RemoveLock();
        delete static_cast<Form*>(this);
    }

private:
    LONG count_ = 0;
};

// A VersionInfo object that is not aggregated.
class StandaloneObject final : public VersionInfoObject, public ApartmentCount<StandaloneObject> {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        return LookupVersionInfoInterface(this, iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return Increment(); }
    STDMETHODIMP_(ULONG) Release() override { return Decrement(); }

private:
    friend class ApartmentCount<StandaloneObject>;
    ~StandaloneObject() = default;
};

// The VersionInfo part of an aggregate: its IUnknown operations belong to the outer object.
// The outer unknown is kept without a reference, since the outer object owns this part.
class DelegatingPart final : public VersionInfoObject {
public:
    explicit DelegatingPart(IUnknown* outer) : outer_(outer) {}
    ~DelegatingPart() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        return outer_->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

private:
    IUnknown* outer_;
};

// The aggregate's own, non-delegating IUnknown, through which the outer object controls the
// lifetime of the contained part and asks it for interfaces.
class InnerObject final : public IUnknown, public ApartmentCount<InnerObject> {
public:
    explicit InnerObject(IUnknown* outer) : contained_(outer) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return LookupVersionInfoInterface(&contained_, iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return Increment(); }
    STDMETHODIMP_(ULONG) Release() override { return Decrement(); }

private:
    friend class ApartmentCount<InnerObject>;
    ~InnerObject() = default;
    DelegatingPart contained_;
};

template <typename Form>
HRESULT Complete(Form* object, REFIID iid, void** out) {
    AddLock();
    HRESULT result = object->QueryInterface(iid, out);
    if (result != S_OK) object->Destroy();
    return result;
}

}  // namespace

HRESULT CreateVersionInfo(IUnknown* outer, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer == nullptr) {
        StandaloneObject* object = new (std::nothrow) StandaloneObject();
        if (object == nullptr) return E_OUTOFMEMORY;
        return Complete(object, iid, out);
    }
    InnerObject* object = new (std::nothrow) InnerObject(outer);
    if (object == nullptr) return E_OUTOFMEMORY;
    return Complete(object, iid, out);
}

}  // namespace vinspect
