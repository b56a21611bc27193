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
    ITypeInfo* cached;
    LONG users;
};

TypeInfoRecord& Record() {
    static TypeInfoRecord record{&IID_IqzVersionInfo, &LIBID_qzVersionInfo, 1, 0, nullptr, 0};
    return record;
}

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
    if (--record.users == 0 && record.cached != nullptr) {
        record.cached->Release();
        record.cached = nullptr;
    }
}

HRESULT SharedTypeInfo::FetchTypeInfo(LCID locale, ITypeInfo** out) {
    *out = nullptr;
    HRESULT result = E_FAIL;
    SectionGuard guard(Module().typeInfoLock);
    TypeInfoRecord& record = Record();
    if (record.cached == nullptr) {
        ComRef<ITypeLib> library;
        result = LoadRegTypeLib(*record.libid, record.majorVersion, record.minorVersion, locale,
                                library.Out());
        if (SUCCEEDED(result)) result = library->GetTypeInfoOfGuid(*record.iid, &record.cached);
        if (FAILED(result)) record.cached = nullptr;
    }
    if (record.cached != nullptr) {
        record.cached->AddRef();
        *out = record.cached;
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
