// Cost of listing a module the way vinsdemo does (Path, then its 14 reads) through a VersionInfo
// object, against the raw version API doing the same work on the same files. Both run
// interleaved in one process over the system folder's modules; the ratio object/raw is printed.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"

using vinspect::Bstr;
using vinspect::ComRef;

namespace {

std::vector<std::wstring> SystemModules() {
    wchar_t system[MAX_PATH] = L"";
    GetSystemDirectoryW(system, MAX_PATH);
    std::vector<std::wstring> modules;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((std::wstring(system) + L"\\*.dll").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return modules;
    do {
        modules.push_back(std::wstring(system) + L"\\" + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return modules;
}

// The demonstration program's listing through the object.
void ListWithObject(IqzVersionInfo* info, BSTR path) {
    using Read = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(BSTR*);
    static const Read reads[] = {
        &IqzVersionInfo::get_FileDescription, &IqzVersionInfo::get_ProductName,
        &IqzVersionInfo::get_FileVersion,     &IqzVersionInfo::get_ProductVersion,
        &IqzVersionInfo::get_CompanyName,     &IqzVersionInfo::get_InternalName,
        &IqzVersionInfo::get_OriginalFilename, &IqzVersionInfo::get_PrivateBuild,
        &IqzVersionInfo::get_SpecialBuild,    &IqzVersionInfo::get_LegalCopyright,
    };
    static Bstr block(SysAllocString(L"StringFileInfo"));
    static Bstr trademarks(SysAllocString(L"LegalTrademarks"));
    if (FAILED(info->put_Path(path))) return;
    VARIANT_BOOL exists = VARIANT_FALSE;
    info->get_InfoExist(&exists);
    if (!exists) return;
    Bstr value;
    for (Read read : reads) (info->*read)(value.Out());
    info->GetValue(block.Get(), trademarks.Get(), value.Out());
    info->get_LanguageName(value.Out());
    info->get_Comments(value.Out());
    info->get_FileOSString(value.Out());
}

// The same listing written directly against the version API.
void ListWithApi(const char* path) {
    static const char* const names[] = {
        "FileDescription", "ProductName",  "FileVersion",  "ProductVersion", "CompanyName",
        "InternalName",    "OriginalFilename", "PrivateBuild", "SpecialBuild", "LegalCopyright",
        "LegalTrademarks", "Comments",
    };
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return;
    std::unique_ptr<BYTE[]> block(new BYTE[size]);
    if (!GetFileVersionInfoA(path, handle, size, block.get())) return;
    void* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.get(), "\\", &fixed, &length)) return;
    WORD language = 0x0409;
    WORD codepage = 0x04B0;
    void* table = nullptr;
    if (VerQueryValueA(block.get(), "\\VarFileInfo\\Translation", &table, &length) && length >= 4) {
        language = static_cast<WORD*>(table)[0];
        codepage = static_cast<WORD*>(table)[1];
    }
    auto toBstr = [](const char* text, int bytes) {
        int chars = MultiByteToWideChar(CP_ACP, 0, text, bytes, nullptr, 0);
        Bstr value(SysAllocStringLen(nullptr, static_cast<UINT>(chars)));
        MultiByteToWideChar(CP_ACP, 0, text, bytes, value.Get(), chars);
    };
    for (const char* name : names) {
        char valuePath[512];
        void* value = nullptr;
        wsprintfA(valuePath, "\\StringFileInfo\\%04X%04X\\%s", language, codepage, name);
        if (!VerQueryValueA(block.get(), valuePath, &value, &length)) {
            wsprintfA(valuePath, "\\StringFileInfo\\%04X%04X\\%s", 0x0409, 0x04E4, name);
            if (!VerQueryValueA(block.get(), valuePath, &value, &length)) continue;
        }
        if (length > 0) toBstr(static_cast<const char*>(value), lstrlenA(static_cast<char*>(value)));
    }
    char languageName[128] = "";
    VerLanguageNameA(language, languageName, sizeof languageName);
    toBstr(languageName, lstrlenA(languageName));
    Bstr os(SysAllocString(LOWORD(static_cast<VS_FIXEDFILEINFO*>(fixed)->dwFileOS) == 4
                               ? L"Win32"
                               : L"Unknown"));
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    vinspect::ModuleHandle library;
    {
        const std::vector<std::wstring> modules = SystemModules();
        std::vector<Bstr> widePaths;
        std::vector<std::string> ansiPaths;
        for (const std::wstring& module : modules) {
            widePaths.emplace_back(SysAllocString(module.c_str()));
            char ansi[MAX_PATH * 2] = "";
            WideCharToMultiByte(CP_ACP, 0, module.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
            ansiPaths.emplace_back(ansi);
        }
        ComRef<IClassFactory> factory;
        ComRef<IqzVersionInfo> info;
        if (FAILED(OpenVersionInfoFactory(&library, &factory)) ||
            FAILED(factory->CreateInstance(nullptr, IID_IqzVersionInfo, info.OutVoid()))) {
            std::printf("cannot create VersionInfo from vinspect.dll beside the benchmark\n");
            return 1;
        }

        const int rounds = 7;
        std::vector<double> ratios;
        for (int round = 0; round < rounds; ++round) {
            double object = 0;
            double api = 0;
            for (size_t i = 0; i < modules.size(); ++i) {
                // Alternate which side goes first, so neither profits from a warmer cache.
                bool objectFirst = (i + static_cast<size_t>(round)) % 2 == 0;
                for (int side = 0; side < 2; ++side) {
                    double start = Now();
                    if ((side == 0) == objectFirst) {
                        ListWithObject(info.Get(), widePaths[i].Get());
                        object += Now() - start;
                    } else {
                        ListWithApi(ansiPaths[i].c_str());
                        api += Now() - start;
                    }
                }
            }
            ratios.push_back(object / api);
            std::printf("round %d: object %.1f ms, raw API %.1f ms, ratio %.3f\n", round + 1,
                        object * 1000, api * 1000, object / api);
        }
        std::sort(ratios.begin(), ratios.end());
        std::printf("listing %zu modules: median ratio object/raw API = %.3f (goal <= 1.03)\n",
                    modules.size(), ratios[ratios.size() / 2]);
    }
    CoUninitialize();
    return 0;
}
