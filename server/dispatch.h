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
    // IDispatch::GetIDsOfNames and IDispatch::Invoke of `instance` through the description.
    static HRESULT GetIDsOfNames(LCID locale, LPOLESTR* names, UINT count, DISPID* ids);
    static HRESULT Invoke(IqzVersionInfo* instance, DISPID id, LCID locale, WORD flags,
                          DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                          UINT* argError);
};

// Adds the IDispatch part of IqzVersionInfo to `Object`, an implementation of the interface's own
// operations: late-bound calls go through the shared type description to the same virtual-table
// operations. Every object built with it is a user of SharedTypeInfo for its whole life.
template <typename Object>
class DispatchSupport : public Object {
public:
    DispatchSupport() { SharedTypeInfo::AddUser(); }
    DispatchSupport(const DispatchSupport&) = delete;
    DispatchSupport& operator=(const DispatchSupport&) = delete;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID locale, ITypeInfo** out) override {
        if (out == nullptr) return E_POINTER;
        return SharedTypeInfo::FetchTypeInfo(locale, out);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale,
                               DISPID* ids) override {
        return SharedTypeInfo::GetIDsOfNames(locale, names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID locale, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
        return SharedTypeInfo::Invoke(this, id, locale, flags, params, result, exception,
                                      argError);
    }

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
