// What the benchmarks share: a wall-clock reading, and the class object of the vinspect.dll that
// lies beside the benchmark, reached through its export as the COM runtime reaches it.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

#include "common/handles.h"
#include "vinspect_h.h"

// Seconds from the performance counter.
inline double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

// The folder of the running benchmark, with its trailing backslash.
inline std::wstring BenchFolder() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// Loads vinspect.dll from the benchmark's folder and asks it for the class object of VersionInfo.
inline HRESULT OpenVersionInfoFactory(vinspect::ModuleHandle* library,
                                      vinspect::ComRef<IClassFactory>* factory) {
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    library->Reset(LoadLibraryW((BenchFolder() + L"vinspect.dll").c_str()));
    if (!*library) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(library->Get(), "DllGetClassObject")));
    if (getClassObject == nullptr) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return getClassObject(CLSID_VersionInfo, IID_IClassFactory, factory->OutVoid());
}
