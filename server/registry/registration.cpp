#include "server/registry/registration.h"

#include <oleauto.h>

#include "common/handles.h"
#include "server/module.h"
#include "server/registry/script_interpreter.h"
#include "common/text.h"

namespace vinspect {
namespace {

// The full path of `module`, widened with the system ANSI code page.
HRESULT ModulePath(HINSTANCE module, Bstr* path) {
    char ansi[MAX_PATH] = "";
    GetModuleFileNameA(module, ansi, MAX_PATH);
    ansi[MAX_PATH - 1] = '\0';
    return WideFromAnsi(ansi, -1, path->Out());
}

// The text of `path` with every single quote doubled, so that the path survives being placed
// inside a quoted script token.
HRESULT QuoteForScript(const wchar_t* path, Bstr* quoted) {
    UINT quotes = 0;
    UINT length = 0;
    for (const wchar_t* at = path; *at != L'\0'; ++at, ++length) {
        if (*at == L'\'') ++quotes;
    }
    BSTR result = SysAllocStringLen(nullptr, length + quotes);
    if (result == nullptr) return E_OUTOFMEMORY;
    wchar_t* out = result;
    for (const wchar_t* at = path; *at != L'\0'; ++at) {
        *out++ = *at;
        if (*at == L'\'') *out++ = L'\'';
    }
    *out = L'\0';
    quoted->Reset(result);
    return S_OK;
}

// The directory part of `path`, ending with its separator; empty when it has none.
HRESULT HelpDirectory(const wchar_t* path, Bstr* directory) {
    UINT cut = 0;
    UINT length = 0;
    for (const wchar_t* at = path; *at != L'\0'; ++at) {
        ++length;
        if (*at == L'\\' || *at == L'/' || *at == L':') cut = length;
    }
    directory->Reset(SysAllocStringLen(path, cut));
    return directory->Get() != nullptr ? S_OK : E_OUTOFMEMORY;
}

// `path` with everything from its last "." replaced by ".tlb" (".tlb" appended without one).
HRESULT TypeLibraryBeside(const char* path, Bstr* tlbPath) {
    const char* dot = nullptr;
    const char* at = path;
    while (*at != '\0') {
        if (*at == '.') dot = at;
        at = CharNextA(at);
    }
    size_t keep = static_cast<size_t>((dot != nullptr ? dot : at) - path);
    char replaced[MAX_PATH + 4] = "";
    lstrcpynA(replaced, path, static_cast<int>(keep + 1));
    lstrcatA(replaced, ".tlb");
    return WideFromAnsi(replaced, -1, tlbPath->Out());
}

// Registers the type library carried by the library's file (or the .tlb beside it).
HRESULT RegisterServerTypeLibrary() {
    char ansi[MAX_PATH] = "";
    GetModuleFileNameA(Module().typeLibInstance, ansi, MAX_PATH);
    ansi[MAX_PATH - 1] = '\0';

    Bstr loadedPath;
    HRESULT result = WideFromAnsi(ansi, -1, loadedPath.Out());
    if (FAILED(result)) return result;
    ComRef<ITypeLib> library;
    if (FAILED(LoadTypeLib(loadedPath.Get(), library.Out()))) {
        result = TypeLibraryBeside(ansi, &loadedPath);
        if (FAILED(result)) return result;
        result = LoadTypeLib(loadedPath.Get(), library.Out());
        if (FAILED(result)) return result;
    }
    Bstr helpDirectory;
    result = HelpDirectory(loadedPath.Get(), &helpDirectory);
    if (FAILED(result)) return result;
    return RegisterTypeLib(library.Get(), loadedPath.Get(), helpDirectory.Get());
}

}  // namespace

HRESULT ApplyModuleScript(WORD resourceId, BOOL registerClass) {
    VariableTable variables;
    Bstr path;
    HRESULT result = ModulePath(Module().moduleInstance, &path);
    if (FAILED(result)) return result;
    Bstr quoted;
    result = QuoteForScript(path.Get(), &quoted);
    if (FAILED(result)) return result;
    variables.Add(L"Module", quoted.Get());
    return ApplyRegistryResource(path.Get(), resourceId, registerClass, variables);
}

HRESULT RegisterServer() {
    for (ClassEntry* entry = Module().classTable; entry->classId != nullptr; ++entry) {
        if (entry->description() != nullptr) continue;
        HRESULT result = entry->updateRegistry(TRUE);
        if (FAILED(result)) return result;
    }
    // Classes without their type library fail every late-bound call: a registration that cannot
    // register it takes the classes back.
    HRESULT result = RegisterServerTypeLibrary();
    if (FAILED(result)) UnregisterServer();
    return result;
}

HRESULT UnregisterServer() {
    for (ClassEntry* entry = Module().classTable; entry->classId != nullptr; ++entry) {
        if (entry->description() != nullptr) continue;
        entry->updateRegistry(FALSE);
    }
    return S_OK;
}

}  // namespace vinspect
