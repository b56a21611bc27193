#include "server/registry/script_interpreter.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstring>
#include <new>

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

// A copy of `length` bytes of `text` with a terminating zero.
HRESULT CopyText(const char* text, size_t length, AnsiText* out) {
    AnsiText copy(new (std::nothrow) char[length + 1]);
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy.get(), text, length);
    copy[length] = '\0';
    *out = std::move(copy);
    return S_OK;
}

// The path of `name` below the key whose path (from the root) is `parent`.
HRESULT JoinPath(const char* parent, const char* name, AnsiText* out) {
    size_t parentLength = std::strlen(parent), nameLength = std::strlen(name);
    if (parentLength == 0) return CopyText(name, nameLength, out);
    AnsiText path(new (std::nothrow) char[parentLength + nameLength + 2]);
    if (!path) return E_OUTOFMEMORY;
    std::memcpy(path.get(), parent, parentLength);
    path[parentLength] = '\\';
    std::memcpy(path.get() + parentLength + 1, name, nameLength + 1);
    *out = std::move(path);
    return S_OK;
}

// The first failing registry status of a sequence of steps, as a result code.
void NoteFailure(LONG status, HRESULT* first) {
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && *first == S_OK) {
        *first = ResultFromWin32(static_cast<DWORD>(status));
    }
}

// A value as the registry held it. The default value is named "".
struct SavedValue {
    AnsiText name;
    bool exists = false;
    DWORD type = REG_NONE;
    HeapArray<BYTE> data;
    DWORD size = 0;
};

// A key as the registry held it, with its values and subkeys.
struct SavedKey {
    AnsiText name;
    HeapArray<SavedValue> values;
    DWORD valueCount = 0;
    HeapArray<SavedKey> subkeys;
    DWORD subkeyCount = 0;
};

// Reads value `name` of `key` into `saved`, which records its absence when there is none.
LONG ReadValue(HKEY key, const char* name, SavedValue* saved) {
    HRESULT copied = CopyText(name, std::strlen(name), &saved->name);
    if (FAILED(copied)) return ERROR_OUTOFMEMORY;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    // The value may grow between the two calls: ask again with the size it then has.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        saved->data.reset(new (std::nothrow) BYTE[size != 0 ? size : 1]);
        if (!saved->data) return ERROR_OUTOFMEMORY;
        saved->size = size;
        status = RegQueryValueExA(key, name, nullptr, &saved->type, saved->data.get(),
                                  &saved->size);
        if (status == ERROR_SUCCESS) {
            saved->exists = true;
            return ERROR_SUCCESS;
        }
        size = saved->size;
    }
    return status;
}

// Reads the tree of `key` into `saved` (its name already set): every value, and every subkey
// that can be opened for reading. A subkey that cannot be read is left out: a key-tree removal
// cannot open it either, and so leaves it and everything above it in place.
LONG ReadTree(HKEY key, SavedKey* saved, int depth) {
    DWORD subkeys = 0, values = 0, longestValueName = 0;
    LONG status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                   &values, &longestValueName, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    if (values > 0) {
        saved->values.reset(new (std::nothrow) SavedValue[values]);
        // Room for names in a double-byte code page, where a character may take two bytes.
        DWORD room = longestValueName * 2 + 2;
        AnsiText name(new (std::nothrow) char[room]);
        if (!saved->values || !name) return ERROR_OUTOFMEMORY;
        for (DWORD i = 0; saved->valueCount < values; ++i) {
            DWORD length = room;
            status = RegEnumValueA(key, i, name.get(), &length, nullptr, nullptr, nullptr,
                                   nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) return status;
            status = ReadValue(key, name.get(), &saved->values[saved->valueCount]);
            if (status != ERROR_SUCCESS) return status;
            ++saved->valueCount;
        }
    }
    if (subkeys == 0 || depth >= kMaxTreeDepth) return ERROR_SUCCESS;
    saved->subkeys.reset(new (std::nothrow) SavedKey[subkeys]);
    if (!saved->subkeys) return ERROR_OUTOFMEMORY;
    for (DWORD i = 0; saved->subkeyCount < subkeys; ++i) {
        char name[2 * kSubkeyNameRoom];
        DWORD length = sizeof name;
        status = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return status;
        RegKey subkey;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, subkey.Out()) != ERROR_SUCCESS) continue;
        SavedKey& child = saved->subkeys[saved->subkeyCount];
        if (FAILED(CopyText(name, length, &child.name))) return ERROR_OUTOFMEMORY;
        status = ReadTree(subkey.Get(), &child, depth + 1);
        if (status != ERROR_SUCCESS) return status;
        ++saved->subkeyCount;
    }
    return ERROR_SUCCESS;
}

// Copies to `stored` (room for 2 * kSubkeyNameRoom bytes) the spelling that the registry keeps
// for the subkey `name` of `parent`, whose names compare without regard to case; `name` itself
// when the subkeys cannot be read.
void FindStoredName(HKEY parent, const char* name, char* stored) {
    for (DWORD i = 0;; ++i) {
        DWORD length = 2 * kSubkeyNameRoom;
        if (RegEnumKeyExA(parent, i, stored, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        if (Same(stored, name)) return;
    }
    lstrcpynA(stored, name, 2 * kSubkeyNameRoom);
}

// Writes the tree `saved` again as `name` under `parent` and returns the first failing status.
// A key that exists but cannot be opened for writing was never removed (a key-tree removal opens
// each key with full access first), so it is left as it is, with everything beneath it.
LONG WriteTree(HKEY parent, const char* name, const SavedKey& saved) {
    RegKey key;
    LONG status = RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                  nullptr, key.Out(), nullptr);
    if (status != ERROR_SUCCESS) {
        RegKey existing;
        return RegOpenKeyExA(parent, name, 0, KEY_READ, existing.Out()) == ERROR_SUCCESS
                   ? ERROR_SUCCESS
                   : status;
    }
    LONG firstStatus = ERROR_SUCCESS;
    for (DWORD i = 0; i < saved.valueCount; ++i) {
        const SavedValue& value = saved.values[i];
        status = RegSetValueExA(key.Get(), value.name.get(), 0, value.type, value.data.get(),
                                value.size);
        if (firstStatus == ERROR_SUCCESS) firstStatus = status;
    }
    for (DWORD i = 0; i < saved.subkeyCount; ++i) {
        status = WriteTree(key.Get(), saved.subkeys[i].name.get(), saved.subkeys[i]);
        if (firstStatus == ERROR_SUCCESS) firstStatus = status;
    }
    return firstStatus;
}

}  // namespace

struct ChangeRecord::Change {
    enum class Kind { CreatedKey, WroteValue, RemovedTree };
    Kind kind;
    HKEY root;
    AnsiText path;     // of the key, from the root
    SavedValue value;  // WroteValue: the value before it was written
    SavedKey tree;     // RemovedTree: the tree before it was removed
    Change* older = nullptr;

    // Puts this change back and returns the registry's status.
    LONG PutBack() const {
        if (kind == Kind::CreatedKey) return RegDeleteKeyA(root, path.get());
        if (kind == Kind::RemovedTree) return WriteTree(root, path.get(), tree);
        RegKey key;
        LONG status = RegOpenKeyExA(root, path.get(), 0, KEY_SET_VALUE, key.Out());
        if (status != ERROR_SUCCESS) return status;
        if (!value.exists) return RegDeleteValueA(key.Get(), value.name.get());
        return RegSetValueExA(key.Get(), value.name.get(), 0, value.type, value.data.get(),
                              value.size);
    }
};

ChangeRecord::~ChangeRecord() {
    // One change at a time: a long record must not unwind through nested destructors.
    while (newest_ != nullptr) delete std::exchange(newest_, newest_->older);
}

HRESULT ChangeRecord::PutBack() {
    HRESULT first = S_OK;
    while (newest_ != nullptr) {
        Change* change = std::exchange(newest_, newest_->older);
        NoteFailure(change->PutBack(), &first);
        delete change;
    }
    return first;
}

void ChangeRecord::Append(ChangeRecord& newer) {
    if (newer.newest_ == nullptr) return;
    Change* oldestOfNewer = newer.newest_;
    while (oldestOfNewer->older != nullptr) oldestOfNewer = oldestOfNewer->older;
    oldestOfNewer->older = newest_;
    newest_ = std::exchange(newer.newest_, nullptr);
}

void ChangeRecord::Push(Change* change) {
    change->older = newest_;
    newest_ = change;
}

namespace {

using Change = ChangeRecord::Change;

// A change of `kind` to the key at `path` below `root`, not yet recorded.
HRESULT NewChange(Change::Kind kind, HKEY root, const char* path, Change** out) {
    *out = nullptr;
    Change* change = new (std::nothrow) Change{kind, root, {}, {}, {}, nullptr};
    if (change == nullptr) return E_OUTOFMEMORY;
    HRESULT result = CopyText(path, std::strlen(path), &change->path);
    if (FAILED(result)) {
        delete change;
        return result;
    }
    *out = change;
    return S_OK;
}

// A change that has not (yet) been recorded; freed unless it is handed to the record.
using PendingChange = std::unique_ptr<Change>;

// Opens `name` under `parent` for writing, for reading when writing is refused, or creates it;
// `*created` tells whether this call created it.
HRESULT OpenOrCreateKey(HKEY parent, const char* name, RegKey* key, bool* created) {
    *created = false;
    if (RegOpenKeyExA(parent, name, 0, kFullAccess, key->Out()) == ERROR_SUCCESS) return S_OK;
    if (RegOpenKeyExA(parent, name, 0, KEY_READ, key->Out()) == ERROR_SUCCESS) return S_OK;
    DWORD disposition = 0;
    if (RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, kFullAccess, nullptr,
                        key->Out(), &disposition) == ERROR_SUCCESS) {
        *created = disposition == REG_CREATED_NEW_KEY;
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

    HRESULT Apply(bool registerMode, const ScriptTarget& target) {
        while (*at_ != '\0') {
            HRESULT result = ReadToken();
            if (FAILED(result)) return result;
            HKEY root = FindRootKey(token_);
            if (root == nullptr) return DISP_E_EXCEPTION;
            if (root == HKEY_CLASSES_ROOT && target.classesRoot != nullptr) {
                root = target.classesRoot;
            }
            result = ReadToken();
            if (FAILED(result)) return result;
            if (token_[0] != '{') return DISP_E_EXCEPTION;
            const char* block = at_;
            if (registerMode) {
                ChangeRecord changes;
                result = RegisterRootBlock(root, block, &changes);
                if (FAILED(result)) {
                    // A failed root block is put back as it was; root blocks before it stay.
                    changes.PutBack();
                    return result;
                }
                if (target.changes != nullptr) target.changes->Append(changes);
            } else {
                result = UnregisterRootBlock(root, block);
                if (FAILED(result)) return result;
            }
            SkipSpace();
        }
        return refused_;
    }

private:
    HRESULT RegisterRootBlock(HKEY root, const char* block, ChangeRecord* changes) {
        writing_ = false;
        HRESULT result = RegisterBlock(root, "", 1);
        writing_ = true;
        if (FAILED(result)) return result;
        at_ = block;
        root_ = root;
        changes_ = changes;
        return RegisterBlock(root, "", 1);
    }

    HRESULT UnregisterRootBlock(HKEY root, const char* block) {
        // A skipped walk touches nothing and is the check.
        HRESULT result = UnregisterBlock(root, true, 1);
        if (FAILED(result)) return result;
        at_ = block;
        return UnregisterBlock(root, false, 1);
    }

    // Unregistration: keeps the first removal that the registry refused.
    void NoteRemoval(LONG status) { NoteFailure(status, &refused_); }

    // Removes the tree `name` under `parent` (at `parentPath`), recording it first as it was.
    HRESULT RemoveRecordedTree(HKEY parent, const char* parentPath, const char* name) {
        RegKey key;
        if (RegOpenKeyExA(parent, name, 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return S_OK;
        // The tree comes back under the name as the registry spells it, not as the script does.
        char stored[2 * kSubkeyNameRoom];
        FindStoredName(parent, name, stored);
        AnsiText path;
        HRESULT result = JoinPath(parentPath, stored, &path);
        Change* made = nullptr;
        if (SUCCEEDED(result)) {
            result = NewChange(Change::Kind::RemovedTree, root_, path.get(), &made);
        }
        PendingChange change(made);
        if (FAILED(result)) return result;
        LONG status = ReadTree(key.Get(), &change->tree, 0);
        if (status != ERROR_SUCCESS) return ResultFromWin32(static_cast<DWORD>(status));
        key.Reset();
        changes_->Push(change.release());
        RemoveKeyTree(parent, name, 0);
        return S_OK;
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

    // With "=" in hand: reads the type and value tokens and writes the value (`name` "": the
    // default value) of the key at `path`, recording the value it replaces; then reads the token
    // after the assignment.
    HRESULT StoreValue(HKEY key, const char* path, const char* name) {
        HRESULT result = ReadToken();
        if (FAILED(result)) return result;
        char type = token_[0];
        if (token_[1] != '\0') return DISP_E_EXCEPTION;
        bool isString = type == 's' || type == 'S';
        if (!isString && type != 'd' && type != 'D') return DISP_E_EXCEPTION;
        result = ReadToken();
        if (FAILED(result)) return result;
        PendingChange change;
        if (writing_) {
            Change* made = nullptr;
            result = NewChange(Change::Kind::WroteValue, root_, path, &made);
            change.reset(made);
            if (FAILED(result)) return result;
            LONG status = ReadValue(key, name, &change->value);
            if (status != ERROR_SUCCESS) return ResultFromWin32(static_cast<DWORD>(status));
        }
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
        if (change) changes_->Push(change.release());
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

    HRESULT RegisterValueEntry(HKEY parent, const char* parentPath) {
        char name[kNameRoom];
        HRESULT result = ReadValueName(name);
        return SUCCEEDED(result) ? StoreValue(parent, parentPath, name) : result;
    }

    HRESULT UnregisterValueEntry(HKEY parent, bool skip) {
        char name[kNameRoom];
        HRESULT result = ReadValueName(name);
        if (FAILED(result)) return result;
        if (!skip) NoteRemoval(RegDeleteValueA(parent, name));
        return PassOverAssignment();
    }

    // Opens or creates the key in hand under `parent` (at `parentPath`), recording its creation.
    HRESULT EnterKey(HKEY parent, const char* parentPath, RegKey* key, AnsiText* path) {
        HRESULT result = JoinPath(parentPath, token_, path);
        Change* made = nullptr;
        if (SUCCEEDED(result)) {
            result = NewChange(Change::Kind::CreatedKey, root_, path->get(), &made);
        }
        PendingChange change(made);
        if (FAILED(result)) return result;
        bool created = false;
        result = OpenOrCreateKey(parent, token_, key, &created);
        if (SUCCEEDED(result) && created) changes_->Push(change.release());
        return result;
    }

    // Registration walk of a block whose "{" has just been read, under `parent` at `parentPath`
    // (from the root): opens or creates each key and writes each value, recording each change.
    // Only "ForceRemove" and "Delete" remove anything.
    HRESULT RegisterBlock(HKEY parent, const char* parentPath, int depth) {
        if (depth > kMaxBlockDepth) return DISP_E_EXCEPTION;
        RegKey current;
        AnsiText currentPath;
        HRESULT result = ReadToken();
        while (SUCCEEDED(result) && token_[0] != '}') {
            bool deleteEntry = TokenIs("Delete");
            if (deleteEntry || TokenIs("ForceRemove")) {
                result = ReadToken();
                // "NoRemove" may follow either prefix; the key name comes after it.
                if (SUCCEEDED(result) && TokenIs("NoRemove")) result = ReadToken();
                if (FAILED(result)) return result;
                if (!IsValidKeyName(token_)) return DISP_E_EXCEPTION;
                if (writing_ && !IsGuarded(token_)) {
                    result = RemoveRecordedTree(parent, parentPath, token_);
                    if (FAILED(result)) return result;
                }
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
                result = RegisterValueEntry(parent, parentPath);
                continue;
            }
            if (!IsValidKeyName(token_)) return DISP_E_EXCEPTION;
            if (writing_) {
                result = EnterKey(parent, parentPath, &current, &currentPath);
                if (FAILED(result)) return result;
            }
            result = ReadToken();
            if (SUCCEEDED(result) && token_[0] == '=') {
                result = StoreValue(current.Get(), currentPath.get(), "");
            }
            if (SUCCEEDED(result) && token_[0] == '{') {
                result = RegisterBlock(current.Get(), currentPath.get(), depth + 1);
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
            LONG status = skip ? ERROR_FILE_NOT_FOUND
                               : RegOpenKeyExA(parent, token_, 0, kFullAccess, key.Out());
            if (status != ERROR_SUCCESS) {
                // A key that exists but cannot be opened with full access is passed over with
                // its block, and reported.
                if (!skip) NoteRemoval(status);
                result = PassOverRest(parent, depth);
                continue;
            }
            if (!KeyHasSubkeys(key.Get()) && !KeyHoldsValues(key.Get())) {
                // Nothing to walk: the key goes at once and its block is only read.
                if (RegCloseKey(key.Release()) != ERROR_SUCCESS) return DISP_E_EXCEPTION;
                if (removal) NoteRemoval(RegDeleteKeyA(parent, token_));
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
            if (removal) NoteRemoval(RegDeleteKeyA(parent, name.Get()));
        }
        return result;
    }

    const char* at_;
    bool writing_ = true;  // false while a registration walk only checks its block
    HKEY root_ = nullptr;  // the root key of the block being registered
    ChangeRecord* changes_ = nullptr;  // what the block being registered has changed
    HRESULT refused_ = S_OK;  // unregistration: the first removal the registry refused
    char token_[kTokenRoom] = "";
};

}  // namespace

HRESULT ApplyScriptText(const char* text, BOOL registerMode, const VariableTable& variables,
                        const ScriptTarget& target) {
    if (text == nullptr) return E_POINTER;
    CoTaskMem<char> expanded;
    HRESULT result = ExpandVariables(text, variables, &expanded);
    if (FAILED(result)) return result;
    Interpreter interpreter(expanded.Get());
    return interpreter.Apply(registerMode != FALSE, target);
}

HRESULT ApplyRegistryResource(const char* moduleFile, WORD resourceId, BOOL registerMode,
                              const VariableTable& variables, const ScriptTarget& target) {
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
    return ApplyScriptText(text.Get(), registerMode, variables, target);
}

}  // namespace vinspect
