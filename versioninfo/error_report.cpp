#include "versioninfo/error_report.h"

#include <oleauto.h>

#include "common/handles.h"
#include "common/result.h"
#include "common/text.h"
#include "vinspect_h.h"

namespace vinspect {
namespace {

constexpr size_t kDescriptionSize = 512;

// The module whose string table holds the error texts; null: the calling program.
HINSTANCE errorTextModule = nullptr;

}  // namespace

void SetErrorTextModule(HINSTANCE module) { errorTextModule = module; }

HRESULT ReportError(ComponentError number) {
    char description[kDescriptionSize] = "";
    // A null module is the calling program's own.
    LoadStringA(errorTextModule, static_cast<UINT>(number), description, kDescriptionSize);
    description[kDescriptionSize - 1] = '\0';
    return RaiseErrorInfo(CLSID_VersionInfo, description, GUID_NULL, ComponentResult(number));
}

HRESULT ReportSystemError(HRESULT code) {
    char description[kDescriptionSize];
    // A code without a system text keeps the empty description.
    SystemMessageText(code, description, kDescriptionSize);
    return RaiseErrorInfo(CLSID_VersionInfo, description, GUID_NULL, code);
}

HRESULT RaiseErrorInfo(REFCLSID classId, const char* description, REFGUID interfaceId,
                       HRESULT resultCode) {
    Bstr wideDescription;
    if (FAILED(WideFromAnsi(description, -1, wideDescription.Out()))) return resultCode;

    ComRef<ICreateErrorInfo> creator;
    if (FAILED(CreateErrorInfo(creator.Out()))) return resultCode;
    creator->SetGUID(interfaceId);

    CoTaskMem<wchar_t> progId;
    if (SUCCEEDED(ProgIDFromCLSID(classId, progId.Out())) && progId.Get() != nullptr) {
        creator->SetSource(progId.Get());
    }
    creator->SetDescription(wideDescription.Get());

    ComRef<IErrorInfo> errorInfo;
    if (SUCCEEDED(creator->QueryInterface(IID_IErrorInfo, errorInfo.OutVoid()))) {
        SetErrorInfo(0, errorInfo.Get());
    }
    return resultCode;
}

}  // namespace vinspect
