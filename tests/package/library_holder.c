/* A program that holds the component's library in use, for the package tests: it creates the
   object by ProgID (so the library is loaded as any client loads it), opens the loaded file as
   Windows' loader holds a mapped image (others may read and rename it, not write or delete it:
   Wine's loader does not lock it), prints "holding <path>" and waits until the file named by its
   argument exists.
   Usage: library_holder.exe STOP_FILE */
#include <windows.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: library_holder STOP_FILE\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)))
        return 1;
    CLSID clsid;
    IUnknown *object = NULL;
    if (FAILED(CLSIDFromProgID(L"qzVersionInfo.VersionInfo", &clsid)) ||
        FAILED(CoCreateInstance(&clsid, NULL, CLSCTX_INPROC_SERVER, &IID_IUnknown,
                                (void **)&object))) {
        fprintf(stderr, "library_holder: the object cannot be created\n");
        return 1;
    }
    char path[MAX_PATH];
    HMODULE library = GetModuleHandleA("vinspect.dll");
    if (!library || !GetModuleFileNameA(library, path, sizeof path))
        return 1;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    printf("holding %s\n", path);
    fflush(stdout);
    while (GetFileAttributesA(argv[1]) == INVALID_FILE_ATTRIBUTES)
        Sleep(100);
    CloseHandle(file);
    object->lpVtbl->Release(object);
    CoUninitialize();
    return 0;
}
