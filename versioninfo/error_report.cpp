#include "versioninfo/error_report.h"

#include <oleauto.h>

#include <cstring>

#include "common/handles.h"
#include "common/result.h"
#include "common/text.h"

namespace vinspect {
namespace {

constexpr size_t kDescriptionSize = 512;
// wsprintfA never writes more than 1024 characters and a terminator.
constexpr size_t kFormatSize = 1025;

// The module whose string table holds the error texts; null: the calling program.
HINSTANCE errorTextModule = nullptr;

bool HasSystemFacility(HRESULT code) { return (static_cast<unsigned>(code) & 0x70000u) != 0; }

// Formats `format` with two ANSI inserts and copies at most 511 bytes of the result.
void FormatDescription(char (&description)[kDescriptionSize], const char* format,
                       const wchar_t* insert1, const wchar_t* insert2) {
    AnsiText ansi1;
    AnsiText ansi2;
    if (FAILED(AnsiFromWide(insert1, &ansi1)) || FAILED(AnsiFromWide(insert2, &ansi2))) {
        lstrcpynA(description, format, kDescriptionSize);
        return;
    }
    char formatted[kFormatSize] = "";
    wsprintfA(formatted, format, ansi1 ? ansi1.get() : "", ansi2 ? ansi2.get() : "");
    lstrcpynA(description, formatted, kDescriptionSize);
}

}  // namespace

void SetErrorTextModule(HINSTANCE module) { errorTextModule = module; }

HRESULT ReportError(REFCLSID classId, HRESULT code) {
    if (HasSystemFacility(code)) return ReportSystemError(classId, code);
    return ReportError(classId, static_cast<ComponentError>(static_cast<unsigned>(code) & 0xFFFFu));
}

HRESULT ReportError(REFCLSID classId, ComponentError number, const wchar_t* insert1,
                    const wchar_t* insert2) {
    char description[kDescriptionSize] = "";
    char format[kDescriptionSize] = "";
    // A null module is the calling program's own.
    LoadStringA(errorTextModule, static_cast<UINT>(number), format, kDescriptionSize);
    format[kDescriptionSize - 1] = '\0';

    if (insert1 == nullptr) {
        lstrcpynA(description, format, kDescriptionSize);
    } else {
        size_t t = std::strlen(format);
        size_t l1 = std::wcslen(insert1);
        size_t l2 = insert2 != nullptr ? std::wcslen(insert2) : 0;
        if (insert2 == nullptr) {
            FormatDescription(description, format, t + l1 + 2 < kDescriptionSize ? insert1 : L"",
                              nullptr);
        } else if (t + l1 + l2 + 4 < kDescriptionSize) {
            FormatDescription(description, format, insert1, insert2);
        } else if (t + l1 + 2 < kDescriptionSize) {
            FormatDescription(description, format, insert1, L"");
        } else {
            FormatDescription(description, format, L"", L"");
        }
    }
    return RaiseErrorInfo(classId, description, GUID_NULL, ComponentResult(number));
}

HRESULT ReportSystemError(REFCLSID classId, HRESULT code) {
    char description[kDescriptionSize];
    // A code without a system text keeps the empty description.
    SystemMessageText(code, description, kDescriptionSize);
    return RaiseErrorInfo(classId, description, GUID_NULL, code);
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
