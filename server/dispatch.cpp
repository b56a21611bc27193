#include "server/dispatch.h"

#include "common/handles.h"
#include "server/module.h"

namespace vinspect {
namespace {

struct TypeInfoRecord {
    const IID* iid;
    const GUID* libid;
    WORD majorVersion;
    WORD minorVersion;
    ComRef<ITypeInfo> cached;
    LONG users;
};

// Built when the library is loaded, as the module record is: a function-local static that has a
// destructor would be guarded by the threading runtime.
TypeInfoRecord sharedRecord{&IID_IqzVersionInfo, &LIBID_qzVersionInfo, 1, 0, {}, 0};

TypeInfoRecord& Record() { return sharedRecord; }

// Interfaces for which the object reports rich error information.
const IID* const kErrorInfoInterfaces[] = {&IID_IqzVersionInfo};

}  // namespace

void SharedTypeInfo::AddUser() {
    SectionGuard guard(Module().typeInfoLock);
    ++Record().users;
}

void SharedTypeInfo::RemoveUser() {
    SectionGuard guard(Module().typeInfoLock);
    TypeInfoRecord& record = Record();
    if (--record.users == 0) record.cached.Reset();
}

HRESULT SharedTypeInfo::FetchTypeInfo(LCID locale, ITypeInfo** out) {
    *out = nullptr;
    HRESULT result = E_FAIL;
    SectionGuard guard(Module().typeInfoLock);
    TypeInfoRecord& record = Record();
    if (!record.cached) {
        ComRef<ITypeLib> library;
        result = LoadRegTypeLib(*record.libid, record.majorVersion, record.minorVersion, locale,
                                library.Out());
        if (SUCCEEDED(result)) {
            result = library->GetTypeInfoOfGuid(*record.iid, record.cached.Out());
        }
        if (FAILED(result)) record.cached.Reset();
    }
    if (record.cached) {
        record.cached->AddRef();
        *out = record.cached.Get();
        result = S_OK;
    }
    return result;
}

HRESULT SharedTypeInfo::GetIDsOfNames(LCID locale, LPOLESTR* names, UINT count, DISPID* ids) {
    ComRef<ITypeInfo> typeInfo;
    HRESULT result = FetchTypeInfo(locale, typeInfo.Out());
    if (!typeInfo) return result;
    return typeInfo->GetIDsOfNames(names, count, ids);
}

HRESULT SharedTypeInfo::Invoke(IqzVersionInfo* instance, DISPID id, LCID locale, WORD flags,
                               DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                               UINT* argError) {
    // No error object of an earlier call may be mistaken for this call's.
    SetErrorInfo(0, nullptr);
    ComRef<ITypeInfo> typeInfo;
    HRESULT fetched = FetchTypeInfo(locale, typeInfo.Out());
    if (!typeInfo) return fetched;
    return typeInfo->Invoke(instance, id, flags, params, result, exception, argError);
}

STDMETHODIMP SupportErrorInfo::InterfaceSupportsErrorInfo(REFIID iid) {
    for (const IID* supported : kErrorInfoInterfaces) {
        if (IsEqualIID(*supported, iid)) return S_OK;
    }
    return S_FALSE;
}

}  // namespace vinspect
