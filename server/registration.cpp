#include "server/registration.h"

#include <oleauto.h>

#include <new>

#include "common/handles.h"
#include "common/text.h"
#include "server/module.h"
#include "server/registry/script_interpreter.h"

namespace vinspect {
namespace {

// The full path of `module` in the ANSI code page, as GetModuleFileNameA gives it and as scripts
// hold it; `path` has room for MAX_PATH characters.
void ModulePath(HINSTANCE module, char* path) {
    path[0] = '\0';
    GetModuleFileNameA(module, path, MAX_PATH);
    path[MAX_PATH - 1] = '\0';
}

// The text of `path` with every single quote doubled, so that the path survives being placed
// inside a quoted script token.
HRESULT QuoteForScript(const char* path, AnsiText* quoted) {
    size_t length = 0;
    for (const char* at = path; *at != '\0'; ++at) length += *at == '\'' ? 2 : 1;
    AnsiText result(new (std::nothrow) char[length + 1]);
    if (!result) return E_OUTOFMEMORY;
    char* out = result.get();
    for (const char* at = path; *at != '\0'; ++at) {
        *out++ = *at;
        if (*at == '\'') *out++ = '\'';
    }
    *out = '\0';
    *quoted = std::move(result);
    return S_OK;
}

// Where the path's last component starts: after its last separator (none: at its start).
const char* FileNamePart(const char* path) {
    const char* name = path;
    for (const char* at = path; *at != '\0'; at = CharNextA(at)) {
        if (*at == '\\' || *at == '/' || *at == ':') name = at + 1;
    }
    return name;
}

// Replaces everything from the last "." of `path` with ".tlb" (appends ".tlb" without one); the
// path has room for four more characters.
void PointToTypeLibraryBeside(char* path) {
    char* dot = nullptr;
    char* at = path;
    while (*at != '\0') {
        if (*at == '.') dot = at;
        at = CharNextA(at);
    }
    lstrcpyA(dot != nullptr ? dot : at, ".tlb");
}

// Registers the type library carried by the library's file (or the .tlb beside it), with the
// library's folder as its help folder. The platform takes these paths wide only.
HRESULT RegisterServerTypeLibrary() {
    char path[MAX_PATH + 4];
    ModulePath(Module().typeLibInstance, path);
    Bstr widePath;
    HRESULT result = WideFromAnsi(path, -1, widePath.Out());
    if (FAILED(result)) return result;
    ComRef<ITypeLib> library;
    if (FAILED(LoadTypeLib(widePath.Get(), library.Out()))) {
        PointToTypeLibraryBeside(path);
        result = WideFromAnsi(path, -1, widePath.Out());
        if (FAILED(result)) return result;
        result = LoadTypeLib(widePath.Get(), library.Out());
        if (FAILED(result)) return result;
    }
    Bstr helpDirectory;
    result = WideFromAnsi(path, static_cast<int>(FileNamePart(path) - path), helpDirectory.Out());
    if (FAILED(result)) return result;
    return RegisterTypeLib(library.Get(), widePath.Get(), helpDirectory.Get());
}

}  // namespace

HRESULT ApplyModuleScript(WORD resourceId, BOOL registerClass) {
    char path[MAX_PATH];
    ModulePath(Module().moduleInstance, path);
    AnsiText quoted;
    HRESULT result = QuoteForScript(path, &quoted);
    if (FAILED(result)) return result;
    VariableTable variables;
    result = variables.Add("Module", quoted.get());
    if (FAILED(result)) return result;
    return ApplyRegistryResource(path, resourceId, registerClass, variables);
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
