#include "server/registry/script_interpreter.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstring>

#include "common/handles.h"
#include "common/result.h"
#include "common/text.h"

namespace vinspect {
namespace {

// The token buffer, including its terminating zero.
constexpr size_t kTokenRoom = 4096;
// Root-key names and value names: 259 bytes and the terminating zero.
constexpr size_t kNameRoom = 260;
// Longest variable name between percent signs.
constexpr size_t kVariableNameLimit = 31;
// Subkey names read back while a key tree is removed.
constexpr DWORD kSubkeyNameRoom = 256;
// Deepest block nesting a script may use, its root block counted as level 1. Real scripts use a
// handful of levels; the bound keeps hostile input from exhausting the stack.
constexpr int kMaxBlockDepth = 64;
// Deepest key tree that a key-tree removal descends into (the registry's own nesting limit).
constexpr int kMaxTreeDepth = 512;

constexpr REGSAM kFullAccess = KEY_ALL_ACCESS;

struct RootKey {
    const char* name;
    HKEY key;
};

const RootKey kRootKeys[] = {
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKU", HKEY_USERS},
    {"HKPD", HKEY_PERFORMANCE_DATA},
    {"HKDD", HKEY_DYN_DATA},
    {"HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

bool IsSpace(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// The next character of ANSI text. A double-byte character is stepped over whole, but never
// past the terminating zero, even when a lead byte ends the text.
const char* Next(const char* at) {
    if (*at == '\0') return at;
    const char* next = CharNextA(at);
    if (next <= at) return at + 1;
    for (const char* byte = at + 1; byte < next; ++byte) {
        if (*byte == '\0') return byte;
    }
    return next;
}

bool Same(const char* text, const char* word) { return lstrcmpiA(text, word) == 0; }

// Key names denote one subkey of their parent: no backslash, and not empty (an empty name would
// stand for the parent itself, and a removal would then take the parent's whole tree).
bool IsValidKeyName(const char* name) {
    if (*name == '\0') return false;
    for (const char* at = name; *at != '\0'; at = Next(at)) {
        if (*at == '\\') return false;
    }
    return true;
}

// Keys that forced removal never touches: they are shared by every program.
bool IsGuarded(const char* name) { return Same(name, "CLSID") || Same(name, "TYPELIB"); }

HKEY FindRootKey(const char* name) {
    if (std::strlen(name) >= kNameRoom) return nullptr;
    for (const RootKey& root : kRootKeys) {
        if (Same(name, root.name)) return root.key;
    }
    return nullptr;
}

bool KeyHasSubkeys(HKEY key) {
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return subkeys > 0;
}

// Whether the key holds values worth walking its block for. A key whose only value is a
// non-empty default value counts as holding nothing.
bool KeyHoldsValues(HKEY key) {
    DWORD values = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    if (values == 0) return false;
    if (values >= 2) return true;
    DWORD size = 0;
    if (RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return true;  // the single value is a named one
    }
    return size == 0;
}

// Removes `name` under `parent` with everything beneath it, leaf by leaf. Stops at the first
// subkey that cannot be removed, leaving it and its ancestors in place.
LONG RemoveKeyTree(HKEY parent, const char* name, int depth) {
    if (depth > kMaxTreeDepth) return ERROR_CANTOPEN;
    RegKey key;
    LONG status = RegOpenKeyExA(parent, name, 0, kFullAccess, key.Out());
    if (status != ERROR_SUCCESS) return status;
    for (;;) {
        // Index 0 every time: each removed subkey leaves the list.
        char subkey[kSubkeyNameRoom];
        DWORD length = kSubkeyNameRoom;
        if (RegEnumKeyExA(key.Get(), 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        status = RemoveKeyTree(key.Get(), subkey, depth + 1);
        if (status != ERROR_SUCCESS) return status;
    }
    key.Reset();
    return RegDeleteKeyA(parent, name);
}

// Opens `name` under `parent` for writing, for reading when writing is refused, or creates it.
HRESULT OpenOrCreateKey(HKEY parent, const char* name, RegKey* key) {
    if (RegOpenKeyExA(parent, name, 0, kFullAccess, key->Out()) == ERROR_SUCCESS) return S_OK;
    if (RegOpenKeyExA(parent, name, 0, KEY_READ, key->Out()) == ERROR_SUCCESS) return S_OK;
    if (RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, kFullAccess, nullptr,
                        key->Out(), nullptr) == ERROR_SUCCESS) {
        return S_OK;
    }
    return DISP_E_EXCEPTION;
}

// A growing task-memory text buffer.
class TextBuffer {
public:
    HRESULT Reserve(size_t room) {
        void* block = CoTaskMemAlloc(room);
        if (block == nullptr) return E_OUTOFMEMORY;
        data_.Reset(static_cast<char*>(block));
        room_ = room;
        return S_OK;
    }
    // Appends `count` bytes, keeping room for a terminating zero.
    HRESULT Append(const char* bytes, size_t count) {
        while (used_ + count + 1 > room_) {
            if (room_ > static_cast<size_t>(-1) / 2) return E_OUTOFMEMORY;
            void* grown = CoTaskMemRealloc(data_.Get(), room_ * 2);
            if (grown == nullptr) return E_OUTOFMEMORY;
            // The reallocation has taken the old block over: hand the new one to the owner
            // without freeing the old.
            static_cast<void>(data_.Release());
            data_.Reset(static_cast<char*>(grown));
            room_ *= 2;
        }
        std::memcpy(data_.Get() + used_, bytes, count);
        used_ += count;
        data_.Get()[used_] = '\0';
        return S_OK;
    }
    CoTaskMem<char>& Data() { return data_; }

private:
    CoTaskMem<char> data_;
    size_t used_ = 0;
    size_t room_ = 0;
};

// Replaces every %NAME% of `text` with its variable's text, and %% with one percent sign. The
// replacement is inserted as it is, never scanned again.
HRESULT ExpandVariables(const char* text, const VariableTable& variables,
                        CoTaskMem<char>* expanded) {
    TextBuffer out;
    size_t length = std::strlen(text);
    HRESULT result = out.Reserve(length < 8 ? 16 : length * 2);
    if (FAILED(result)) return result;
    result = out.Append("", 0);
    if (FAILED(result)) return result;
    const char* at = text;
    while (*at != '\0') {
        if (*at != '%') {
            const char* next = Next(at);
            result = out.Append(at, static_cast<size_t>(next - at));
            if (FAILED(result)) return result;
            at = next;
            continue;
        }
        if (at[1] == '%') {
            result = out.Append("%", 1);
            if (FAILED(result)) return result;
            at += 2;
            continue;
        }
        const char* name = at + 1;
        const char* close = name;
        while (*close != '\0' && *close != '%') close = Next(close);
        if (*close == '\0') return DISP_E_EXCEPTION;
        size_t nameLength = static_cast<size_t>(close - name);
        if (nameLength > kVariableNameLimit) return E_FAIL;
        char wanted[kVariableNameLimit + 1];
        std::memcpy(wanted, name, nameLength);
        wanted[nameLength] = '\0';
        const char* replacement = variables.Find(wanted);
        if (replacement == nullptr) return DISP_E_EXCEPTION;
        result = out.Append(replacement, std::strlen(replacement));
        if (FAILED(result)) return result;
        at = close + 1;
    }
    *expanded = std::move(out.Data());
    return S_OK;
}

// Reads and applies one expanded script. Every block is walked twice when it is applied: first
// only checked, with nothing written or removed, so that a script with a syntax fault is refused
// before it has changed the registry; then for real.
class Interpreter {
public:
    explicit Interpreter(const char* text) : at_(text) {}

    HRESULT Apply(bool registerMode) {
        while (*at_ != '\0') {
            HRESULT result = ReadToken();
            if (FAILED(result)) return result;
            HKEY root = FindRootKey(token_);
            if (root == nullptr) return DISP_E_EXCEPTION;
            result = ReadToken();
            if (FAILED(result)) return result;
            if (token_[0] != '{') return DISP_E_EXCEPTION;
            const char* block = at_;
            result = registerMode ? RegisterRootBlock(root, block)
                                  : UnregisterRootBlock(root, block);
            if (FAILED(result)) return result;
            SkipSpace();
        }
        return S_OK;
    }

private:
    HRESULT RegisterRootBlock(HKEY root, const char* block) {
        writing_ = false;
        HRESULT result = RegisterBlock(root, 1);
        writing_ = true;
        if (FAILED(result)) return result;
        at_ = block;
        result = RegisterBlock(root, 1);
        if (FAILED(result)) {
            // Undo what this root block wrote; root blocks before it stay.
            at_ = block;
            UnregisterBlock(root, false, 1);
        }
        return result;
    }

    HRESULT UnregisterRootBlock(HKEY root, const char* block) {
        // A skipped walk touches nothing and is the check.
        HRESULT result = UnregisterBlock(root, true, 1);
        if (FAILED(result)) return result;
        at_ = block;
        return UnregisterBlock(root, false, 1);
    }

    void SkipSpace() {
        while (IsSpace(*at_)) ++at_;
    }

    bool TokenIs(const char* word) const { return Same(token_, word); }

    // Reads the next token into the token buffer.
    HRESULT ReadToken() {
        SkipSpace();
        if (*at_ == '\0') return DISP_E_EXCEPTION;
        size_t stored = 0;
        if (*at_ != '\'') {
            while (*at_ != '\0' && !IsSpace(*at_)) {
                const char* next = Next(at_);
                size_t size = static_cast<size_t>(next - at_);
                if (stored + size >= kTokenRoom) return DISP_E_EXCEPTION;
                std::memcpy(token_ + stored, at_, size);
                stored += size;
                at_ = next;
            }
            token_[stored] = '\0';
            return S_OK;
        }
        at_ = Next(at_);
        for (;;) {
            if (*at_ == '\0') return DISP_E_EXCEPTION;
            const char* next = Next(at_);
            if (*at_ == '\'') {
                if (*next != '\'') break;  // the closing quote
                at_ = next;                // the first of a pair; store the second
                next = Next(at_);
            }
            size_t size = static_cast<size_t>(next - at_);
            if (stored >= kTokenRoom - 2 || stored + size >= kTokenRoom) return DISP_E_EXCEPTION;
            std::memcpy(token_ + stored, at_, size);
            stored += size;
            at_ = next;
        }
        token_[stored] = '\0';
        at_ = Next(at_);
        return S_OK;
    }

    // After "Val": reads the value name and the "=" that must follow it.
    HRESULT ReadValueName(char (&name)[kNameRoom]) {
        HRESULT result = ReadToken();
        if (FAILED(result)) return result;
        size_t length = std::strlen(token_);
        if (length >= kNameRoom) return DISP_E_EXCEPTION;
        std::memcpy(name, token_, length + 1);
        result = ReadToken();
        if (FAILED(result)) return result;
        return token_[0] == '=' ? S_OK : DISP_E_EXCEPTION;
    }

    // With "=" in hand: reads the type and value tokens and writes the value (`name` null: the
    // default value), then reads the token after the assignment.
    HRESULT StoreValue(HKEY key, const char* name) {
        HRESULT result = ReadToken();
        if (FAILED(result)) return result;
        char type = token_[0];
        if (token_[1] != '\0') return DISP_E_EXCEPTION;
        bool isString = type == 's' || type == 'S';
        if (!isString && type != 'd' && type != 'D') return DISP_E_EXCEPTION;
        result = ReadToken();
        if (FAILED(result)) return result;
        LONG status = ERROR_SUCCESS;
        if (isString) {
            if (writing_) {
                status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(token_),
                                        static_cast<DWORD>(std::strlen(token_) + 1));
            }
        } else {
            // A number that does not convert is refused rather than stored as an arbitrary value.
            Bstr wide;
            result = WideFromAnsi(token_, -1, wide.Out());
            if (FAILED(result)) return result;
            LONG number = 0;
            if (FAILED(VarI4FromStr(wide.Get(), 0, 0, &number))) return DISP_E_EXCEPTION;
            if (writing_) {
                status = RegSetValueExA(key, name, 0, REG_DWORD,
                                        reinterpret_cast<const BYTE*>(&number), sizeof number);
            }
        }
        // A registration that did not write its value has failed, with the registry's reason
        // (access denied, for a key that could be opened for reading only).
        if (status != ERROR_SUCCESS) return ResultFromWin32(static_cast<DWORD>(status));
        return ReadToken();
    }

    // With any token in hand: passes over an assignment when the token begins one.
    HRESULT PassOverAssignment() {
        if (token_[0] != '=') return S_OK;
        HRESULT result = ReadToken();
        if (SUCCEEDED(result)) result = ReadToken();
        if (SUCCEEDED(result)) result = ReadToken();
        return result;
    }

    // Passes over an assignment and a block after it, reading the token that follows.
    HRESULT PassOverRest(HKEY parent, int depth) {
        HRESULT result = ReadToken();
        if (SUCCEEDED(result)) result = PassOverAssignment();
        if (FAILED(result) || token_[0] != '{') return result;
        result = UnregisterBlock(parent, true, depth + 1);
        return SUCCEEDED(result) ? ReadToken() : result;
    }

    HRESULT RegisterValueEntry(HKEY parent) {
        char name[kNameRoom];
        HRESULT result = ReadValueName(name);
        return SUCCEEDED(result) ? StoreValue(parent, name) : result;
    }

    HRESULT UnregisterValueEntry(HKEY parent, bool skip) {
        char name[kNameRoom];
        HRESULT result = ReadValueName(name);
        if (FAILED(result)) return result;
        if (!skip) RegDeleteValueA(parent, name);
        return PassOverAssignment();
    }

    // Registration walk of a block whose "{" has just been read: opens or creates each key and
    // writes each value. Only "ForceRemove" and "Delete" remove anything.
    HRESULT RegisterBlock(HKEY parent, int depth) {
        if (depth > kMaxBlockDepth) return DISP_E_EXCEPTION;
        RegKey current;
        HRESULT result = ReadToken();
        while (SUCCEEDED(result) && token_[0] != '}') {
            bool deleteEntry = TokenIs("Delete");
            if (deleteEntry || TokenIs("ForceRemove")) {
                result = ReadToken();
                // "NoRemove" may follow either prefix; the key name comes after it.
                if (SUCCEEDED(result) && TokenIs("NoRemove")) result = ReadToken();
                if (FAILED(result)) return result;
                if (!IsValidKeyName(token_)) return DISP_E_EXCEPTION;
                if (writing_ && !IsGuarded(token_)) RemoveKeyTree(parent, token_, 0);
                if (deleteEntry) {
                    // Nothing is created for a deleted key: its assignment and block are only read.
                    result = PassOverRest(parent, depth);
                    continue;
                }
            } else if (TokenIs("NoRemove")) {
                result = ReadToken();
                if (FAILED(result)) return result;
            }
            if (TokenIs("Val")) {
                result = RegisterValueEntry(parent);
                continue;
            }
            if (!IsValidKeyName(token_)) return DISP_E_EXCEPTION;
            if (writing_) {
                result = OpenOrCreateKey(parent, token_, &current);
                if (FAILED(result)) return result;
            }
            result = ReadToken();
            if (SUCCEEDED(result) && token_[0] == '=') result = StoreValue(current.Get(), nullptr);
            if (SUCCEEDED(result) && token_[0] == '{') {
                result = RegisterBlock(current.Get(), depth + 1);
                if (SUCCEEDED(result)) result = ReadToken();
            }
        }
        return result;
    }

    // Unregistration walk of a block whose "{" has just been read. Removes what the block names
    // from the leaves up and keeps every key that still has subkeys. With `skip` set, the block
    // is only read, with all its checks.
    HRESULT UnregisterBlock(HKEY parent, bool skip, int depth) {
        if (depth > kMaxBlockDepth) return DISP_E_EXCEPTION;
        bool removal = true;  // cleared by "NoRemove" for the rest of the block
        HRESULT result = ReadToken();
        while (SUCCEEDED(result) && token_[0] != '}') {
            if (TokenIs("ForceRemove") || TokenIs("Delete")) {
                result = ReadToken();
                if (FAILED(result)) return result;
            }
            if (TokenIs("NoRemove")) {
                removal = false;
                result = ReadToken();
                if (FAILED(result)) return result;
            }
            if (TokenIs("Val")) {
                result = UnregisterValueEntry(parent, skip);
                continue;
            }
            if (!IsValidKeyName(token_)) return DISP_E_EXCEPTION;
            RegKey key;
            if (skip || RegOpenKeyExA(parent, token_, 0, kFullAccess, key.Out()) != ERROR_SUCCESS) {
                result = PassOverRest(parent, depth);
                continue;
            }
            if (!KeyHasSubkeys(key.Get()) && !KeyHoldsValues(key.Get())) {
                // Nothing to walk: the key goes at once and its block is only read.
                if (RegCloseKey(key.Release()) != ERROR_SUCCESS) return DISP_E_EXCEPTION;
                if (removal) RegDeleteKeyA(parent, token_);
                result = PassOverRest(parent, depth);
                continue;
            }
            CoTaskMem<char> name(static_cast<char*>(CoTaskMemAlloc(std::strlen(token_) + 1)));
            if (name.Get() == nullptr) return E_OUTOFMEMORY;
            std::strcpy(name.Get(), token_);
            result = ReadToken();
            if (SUCCEEDED(result)) result = PassOverAssignment();
            if (SUCCEEDED(result) && token_[0] == '{') {
                result = UnregisterBlock(key.Get(), false, depth + 1);
                if (SUCCEEDED(result)) result = ReadToken();
            }
            if (FAILED(result)) return result;
            // A key that still has subkeys the script does not name stays, with its values.
            if (KeyHasSubkeys(key.Get())) continue;
            if (RegCloseKey(key.Release()) != ERROR_SUCCESS) return DISP_E_EXCEPTION;
            if (removal) RegDeleteKeyA(parent, name.Get());
        }
        return result;
    }

    const char* at_;
    bool writing_ = true;  // false while a registration walk only checks its block
    char token_[kTokenRoom] = "";
};

}  // namespace

HRESULT ApplyScriptText(const char* text, BOOL registerMode, const VariableTable& variables) {
    if (text == nullptr) return E_POINTER;
    CoTaskMem<char> expanded;
    HRESULT result = ExpandVariables(text, variables, &expanded);
    if (FAILED(result)) return result;
    Interpreter interpreter(expanded.Get());
    return interpreter.Apply(registerMode != FALSE);
}

HRESULT ApplyRegistryResource(const char* moduleFile, WORD resourceId, BOOL registerMode,
                              const VariableTable& variables) {
    if (moduleFile == nullptr) return E_POINTER;
    SetLastError(ERROR_SUCCESS);
    ModuleHandle module(LoadLibraryExA(moduleFile, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (module.Get() == nullptr) return FailureFromLastError();
    SetLastError(ERROR_SUCCESS);
    HRSRC found = FindResourceA(module.Get(), MAKEINTRESOURCEA(resourceId), "REGISTRY");
    if (found == nullptr) return FailureFromLastError();
    SetLastError(ERROR_SUCCESS);
    HGLOBAL loaded = LoadResource(module.Get(), found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return FailureFromLastError();
    DWORD size = SizeofResource(module.Get(), found);

    // The stored script carries no terminating zero; the copy gets one.
    CoTaskMem<char> text(static_cast<char*>(CoTaskMemAlloc(size_t{size} + 1)));
    if (text.Get() == nullptr) return E_OUTOFMEMORY;
    std::memcpy(text.Get(), bytes, size);
    text.Get()[size] = '\0';
    return ApplyScriptText(text.Get(), registerMode, variables);
}

}  // namespace vinspect
