// vinsprint: prints the version data of a module file through the VersionInfo component,
// early-bound through IqzVersionInfo. The component is registered, or lies beside the program
// with the program's manifest naming it (registration-free); the calls are the same.
// Usage: vinsprint FILE [PROGID]
//   The class is created by its CLSID, or through PROGID when one is given.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>

#include "common/handles.h"
#include "vinspect.h"

using vinspect::Bstr;
using vinspect::ComRef;

namespace {

void PrintText(const char* label, const wchar_t* text) {
    std::printf("%-18s %ls\n", label, text != nullptr ? text : L"");
}

// Prints the error object that the failed call left, with its code.
void PrintFailure(const char* what, HRESULT result) {
    ComRef<IErrorInfo> info;
    Bstr description;
    if (GetErrorInfo(0, info.Out()) == S_OK) info->GetDescription(description.Out());
    std::printf("%s failed: 0x%08lX %ls\n", what, static_cast<unsigned long>(result),
                description.Get() != nullptr ? description.Get() : L"");
}

using StringProperty = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(BSTR*);

int Run(const char* file, const char* progId) {
    CLSID classId = CLSID_VersionInfo;
    if (progId != nullptr) {
        wchar_t wideProgId[256] = L"";
        MultiByteToWideChar(CP_ACP, 0, progId, -1, wideProgId, 255);
        HRESULT found = CLSIDFromProgID(wideProgId, &classId);
        if (FAILED(found)) return PrintFailure("Finding the ProgID", found), 2;
    }
    ComRef<IqzVersionInfo> info;
    HRESULT result = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IqzVersionInfo,
                                      info.OutVoid());
    if (FAILED(result)) return PrintFailure("Creating the object", result), 2;

    wchar_t widePath[MAX_PATH * 2] = L"";
    MultiByteToWideChar(CP_ACP, 0, file, -1, widePath, MAX_PATH * 2 - 1);
    Bstr path(SysAllocString(widePath));
    result = info->put_Path(path.Get());
    if (FAILED(result)) return PrintFailure("Path", result), 1;

    VARIANT_BOOL exists = VARIANT_FALSE;
    info->get_InfoExist(&exists);
    PrintText("Path", widePath);
    if (!exists) {
        PrintText("InfoExist", L"False (the file carries no version resource)");
        return 0;
    }

    short language = 0;
    short codepage = 0;
    info->get_Language(&language);
    info->get_Codepage(&codepage);
    LONG fields[4] = {};
    info->get_FileVersionHigh(&fields[0]);
    info->get_FileVersionLow(&fields[1]);
    info->get_ProductVersionHigh(&fields[2]);
    info->get_ProductVersionLow(&fields[3]);
    std::printf("%-18s %04X/%04X\n", "Translation", static_cast<USHORT>(language),
                static_cast<USHORT>(codepage));
    std::printf("%-18s %lu.%lu.%lu.%lu\n", "File version", fields[0] >> 16 & 0xFFFFul,
                fields[0] & 0xFFFFul, fields[1] >> 16 & 0xFFFFul, fields[1] & 0xFFFFul);
    std::printf("%-18s %lu.%lu.%lu.%lu\n", "Product version", fields[2] >> 16 & 0xFFFFul,
                fields[2] & 0xFFFFul, fields[3] >> 16 & 0xFFFFul, fields[3] & 0xFFFFul);

    const struct {
        const char* label;
        StringProperty read;
    } strings[] = {
        {"FileDescription", &IqzVersionInfo::get_FileDescription},
        {"ProductName", &IqzVersionInfo::get_ProductName},
        {"FileVersion", &IqzVersionInfo::get_FileVersion},
        {"ProductVersion", &IqzVersionInfo::get_ProductVersion},
        {"CompanyName", &IqzVersionInfo::get_CompanyName},
        {"InternalName", &IqzVersionInfo::get_InternalName},
        {"OriginalFilename", &IqzVersionInfo::get_OriginalFilename},
        {"LegalCopyright", &IqzVersionInfo::get_LegalCopyright},
        {"Comments", &IqzVersionInfo::get_Comments},
        {"Language", &IqzVersionInfo::get_LanguageName},
        {"OS", &IqzVersionInfo::get_FileOSString},
    };
    for (const auto& row : strings) {
        Bstr value;
        result = (info.Get()->*row.read)(value.Out());
        if (FAILED(result)) return PrintFailure(row.label, result), 1;
        PrintText(row.label, value.Get());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: vinsprint FILE [PROGID]\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = Run(argv[1], argc == 3 ? argv[2] : nullptr);
    CoUninitialize();
    return status;
}
