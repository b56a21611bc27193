/* Holds a library in use for the package tests: loads it, as any client does, and opens the file
   as Windows' loader holds a mapped image (others may read and rename it, not write or delete
   it; Wine's loader does not lock it), prints "holding" and waits until STOP_FILE exists.
   Usage: library_holder.exe LIBRARY STOP_FILE */
#include <windows.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    if (argc != 3 || !LoadLibraryA(argv[1]))
        return 1;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    puts("holding");
    fflush(stdout);
    while (GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES)
        Sleep(100);
    CloseHandle(file);
    return 0;
}
