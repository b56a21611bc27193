// apartment_client: creates VersionInfo from a multi-threaded apartment and reads a module's
// FileDescription. The object then lives in COM's host apartment, and every call crosses to it
// through the type-library marshaler: run registration-free, the proxy and the type library
// are found through the assembly manifest alone.
// Usage: apartment_client FILE   prints "0x<result> FileDescription=<text>"; exit 0 on success
#include <windows.h>
#include <oleauto.h>

#include <cstdio>

#include "common/handles.h"
#include "vinspect_h.h"

int main(int, char** argv) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    vinspect::ComRef<IqzVersionInfo> info;
    wchar_t path[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, argv[1] != nullptr ? argv[1] : "", -1, path, MAX_PATH - 1);
    vinspect::Bstr file(SysAllocString(path)), description;
    HRESULT result = CoCreateInstance(CLSID_VersionInfo, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IqzVersionInfo, info.OutVoid());
    if (SUCCEEDED(result)) result = info->put_Path(file.Get());
    if (SUCCEEDED(result)) result = info->get_FileDescription(description.Out());
    std::printf("0x%08lX FileDescription=%ls\n", static_cast<unsigned long>(result),
                description.Get() != nullptr ? description.Get() : L"");
    info.Reset();  // released before the apartment ends
    CoUninitialize();
    return FAILED(result) ? 1 : 0;
}
