// Late-bound dispatch for the dual interface IqzVersionInfo: the type description shared by all
// objects, the four IDispatch operations, and the object's ISupportErrorInfo answer.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "vinspect_h.h"

namespace vinspect {

// The type description of IqzVersionInfo, loaded from the registered type library on first need
// and shared by every object; released when the last object goes.
class SharedTypeInfo {
public:
    static void AddUser();
    static void RemoveUser();
    // The cached description, loading it if needed; `*out` gets its own reference.
    static HRESULT FetchTypeInfo(LCID locale, ITypeInfo** out);
};

// The IDispatch part of IqzVersionInfo. Every object that has it is a user of SharedTypeInfo
// for its whole life.
class DispatchSupport : public IqzVersionInfo {
public:
    DispatchSupport() { SharedTypeInfo::AddUser(); }
    DispatchSupport(const DispatchSupport&) = delete;
    DispatchSupport& operator=(const DispatchSupport&) = delete;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** out) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

protected:
    ~DispatchSupport() { SharedTypeInfo::RemoveUser(); }
};

// Tells callers that IqzVersionInfo reports rich error information.
class SupportErrorInfo : public ISupportErrorInfo {
public:
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

protected:
    SupportErrorInfo() = default;
    ~SupportErrorInfo() = default;
};

}  // namespace vinspect
