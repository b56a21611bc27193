#include "server/registration.h"

#include <oleauto.h>

#include <new>

#include "common/handles.h"
#include "common/result.h"
#include "common/text.h"
#include "server/module.h"
#include "server/registry/script_interpreter.h"

// The platform's per-user type-library calls, which MinGW's headers do not declare.
WINOLEAUTAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpDirectory);
WINOLEAUTAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID locale,
                                      SYSKIND kind);

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

// While it lives, HKEY_CLASSES_ROOT stands for `classes` in this process. The platform's per-user
// type-library calls are meant to write under the user's classes; Wine 8's register machine-wide
// through HKEY_CLASSES_ROOT, and reach the user's classes only when it is pointed there like
// this (all but the other registry view's interface key, which they still write machine-wide).
// The override holds for every thread of the process, for the length of one call.
class ClassesRootOverride {
public:
    explicit ClassesRootOverride(HKEY classes)
        : status_(RegOverridePredefKey(HKEY_CLASSES_ROOT, classes)) {}
    ClassesRootOverride(const ClassesRootOverride&) = delete;
    ClassesRootOverride& operator=(const ClassesRootOverride&) = delete;
    ~ClassesRootOverride() {
        if (status_ == ERROR_SUCCESS) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    }
    HRESULT Result() const {
        return status_ == ERROR_SUCCESS ? S_OK : ResultFromWin32(static_cast<DWORD>(status_));
    }

private:
    LONG status_;
};

// Loads the type library carried by the library's file, or the .tlb beside it; `path` (room for
// MAX_PATH + 4 characters) and `widePath` get the path it was loaded from.
HRESULT LoadServerTypeLibrary(char* path, Bstr* widePath, ComRef<ITypeLib>* library) {
    ModulePath(Module().instance, path);
    HRESULT result = WideFromAnsi(path, -1, widePath->Out());
    if (FAILED(result)) return result;
    if (SUCCEEDED(LoadTypeLib(widePath->Get(), library->Out()))) return S_OK;
    PointToTypeLibraryBeside(path);
    result = WideFromAnsi(path, -1, widePath->Out());
    if (FAILED(result)) return result;
    return LoadTypeLib(widePath->Get(), library->Out());
}

// Registers the type library of the library's file (or the .tlb beside it), with the library's
// folder as its help folder: machine-wide, or for the calling user when `userClasses` (the
// user's HKCU\Software\Classes) is given. The platform takes these paths wide only.
HRESULT RegisterServerTypeLibrary(HKEY userClasses) {
    char path[MAX_PATH + 4];
    Bstr widePath;
    ComRef<ITypeLib> library;
    HRESULT result = LoadServerTypeLibrary(path, &widePath, &library);
    if (FAILED(result)) return result;
    Bstr helpDirectory;
    result = WideFromAnsi(path, static_cast<int>(FileNamePart(path) - path), helpDirectory.Out());
    if (FAILED(result)) return result;
    if (userClasses == nullptr) {
        return RegisterTypeLib(library.Get(), widePath.Get(), helpDirectory.Get());
    }
    ClassesRootOverride userOnly(userClasses);
    if (FAILED(userOnly.Result())) return userOnly.Result();
    return RegisterTypeLibForUser(library.Get(), widePath.Get(), helpDirectory.Get());
}

// Takes the type library's registration for the calling user back, if it has one.
HRESULT UnregisterUserTypeLibrary(HKEY userClasses) {
    char path[MAX_PATH + 4];
    Bstr widePath;
    ComRef<ITypeLib> library;
    HRESULT result = LoadServerTypeLibrary(path, &widePath, &library);
    if (FAILED(result)) return result;
    TLIBATTR* attributes = nullptr;
    result = library->GetLibAttr(&attributes);
    if (FAILED(result)) return result;
    const TLIBATTR found = *attributes;
    library->ReleaseTLibAttr(attributes);
    // Registered type libraries live under TypeLib\{LIBID}\<major>.<minor>.
    char key[80];
    wsprintfA(key, "TypeLib\\{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}\\%x.%x",
              found.guid.Data1, found.guid.Data2, found.guid.Data3, found.guid.Data4[0],
              found.guid.Data4[1], found.guid.Data4[2], found.guid.Data4[3], found.guid.Data4[4],
              found.guid.Data4[5], found.guid.Data4[6], found.guid.Data4[7], found.wMajorVerNum,
              found.wMinorVerNum);
    RegKey registered;
    if (RegOpenKeyExA(userClasses, key, 0, KEY_READ, registered.Out()) != ERROR_SUCCESS) {
        return S_OK;
    }
    registered.Reset();
    ClassesRootOverride userOnly(userClasses);
    if (FAILED(userOnly.Result())) return userOnly.Result();
    return UnRegisterTypeLibForUser(found.guid, found.wMajorVerNum, found.wMinorVerNum,
                                    found.lcid, found.syskind);
}

// Registers every class of the class table, then the type library: machine-wide, or for the
// calling user under `userClasses` (the user's HKCU\Software\Classes) when that is given. On
// failure everything that the classes' scripts changed is put back.
HRESULT Register(HKEY userClasses) {
    ChangeRecord changes;
    const ScriptTarget target{userClasses, &changes};
    HRESULT result = S_OK;
    for (ClassEntry* entry = Module().classTable; entry->classId != nullptr; ++entry) {
        if (entry->description() != nullptr) continue;
        result = entry->updateRegistry(TRUE, target);
        if (FAILED(result)) break;
    }
    // Classes without their type library fail every late-bound call: a registration that cannot
    // register it takes back what it wrote for the classes.
    if (SUCCEEDED(result)) result = RegisterServerTypeLibrary(userClasses);
    if (FAILED(result)) changes.PutBack();
    return result;
}

// Unregisters every class of the class table, machine-wide or under `userClasses`; returns the
// first failure.
HRESULT Unregister(HKEY userClasses) {
    const ScriptTarget target{userClasses, nullptr};
    HRESULT first = S_OK;
    for (ClassEntry* entry = Module().classTable; entry->classId != nullptr; ++entry) {
        if (entry->description() != nullptr) continue;
        HRESULT result = entry->updateRegistry(FALSE, target);
        if (FAILED(result) && first == S_OK) first = result;
    }
    return first;
}

}  // namespace

HRESULT ApplyModuleScript(WORD resourceId, BOOL registerClass, const ScriptTarget& target) {
    char path[MAX_PATH];
    ModulePath(Module().instance, path);
    AnsiText quoted;
    HRESULT result = QuoteForScript(path, &quoted);
    if (FAILED(result)) return result;
    VariableTable variables;
    result = variables.Add("Module", quoted.get());
    if (FAILED(result)) return result;
    return ApplyRegistryResource(path, resourceId, registerClass, variables, target);
}

HRESULT RegisterServer() { return Register(nullptr); }

HRESULT UnregisterServer() { return Unregister(nullptr); }

HRESULT InstallServer(BOOL install, const wchar_t* commandLine) {
    if (commandLine == nullptr ||
        CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) != CSTR_EQUAL) {
        return E_INVALIDARG;
    }
    const char userClassesPath[] = "Software\\Classes";
    RegKey userClasses;
    if (!install) {
        LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, userClassesPath, 0, KEY_ALL_ACCESS,
                                    userClasses.Out());
        if (status == ERROR_FILE_NOT_FOUND) return S_OK;  // nothing registered for the user
        if (status != ERROR_SUCCESS) return ResultFromWin32(static_cast<DWORD>(status));
        HRESULT result = Unregister(userClasses.Get());
        HRESULT typeLibrary = UnregisterUserTypeLibrary(userClasses.Get());
        return FAILED(result) ? result : typeLibrary;
    }
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, userClassesPath, 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                  userClasses.Out(), nullptr);
    if (status != ERROR_SUCCESS) return ResultFromWin32(static_cast<DWORD>(status));
    return Register(userClasses.Get());
}

}  // namespace vinspect
