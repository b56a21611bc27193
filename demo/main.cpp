// vinsdemo: lists the version strings of a module file through a VersionInfo object.
#include <windows.h>

#include "demo/form.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    return vinsdemo::RunProgram(instance, show, vinsdemo::CreateVersionInfoByClsid);
}
