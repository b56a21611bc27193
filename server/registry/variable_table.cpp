#include "server/registry/variable_table.h"

#include <objbase.h>

#include <cstring>
#include <cwchar>

#include "common/handles.h"
#include "common/text.h"

namespace vinspect {
namespace {

constexpr size_t kFirstRoom = 10;

// A task-memory copy of `text`, or null when no memory is left.
wchar_t* CopyText(const wchar_t* text) {
    size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    void* copy = CoTaskMemAlloc(bytes);
    if (copy != nullptr) std::memcpy(copy, text, bytes);
    return static_cast<wchar_t*>(copy);
}

}  // namespace

HRESULT VariableTable::Add(const wchar_t* name, const wchar_t* text) {
    if (name == nullptr || text == nullptr) return E_INVALIDARG;
    CoTaskMem<wchar_t> nameCopy(CopyText(name));
    CoTaskMem<wchar_t> textCopy(CopyText(text));
    if (nameCopy.Get() == nullptr || textCopy.Get() == nullptr) return E_OUTOFMEMORY;
    if (count_ == room_) {
        size_t room = room_ == 0 ? kFirstRoom : room_ * 2;
        void* grown = CoTaskMemRealloc(entries_, room * sizeof(Entry));
        if (grown == nullptr) return E_OUTOFMEMORY;
        entries_ = static_cast<Entry*>(grown);
        room_ = room;
    }
    entries_[count_++] = Entry{nameCopy.Release(), textCopy.Release()};
    return S_OK;
}

const wchar_t* VariableTable::Find(const char* name) const {
    if (name == nullptr) return nullptr;
    for (size_t i = 0; i < count_; ++i) {
        // Names are stored wide and compared in the ANSI code page, the script's own encoding.
        AnsiText stored;
        if (FAILED(AnsiFromWide(entries_[i].name, &stored))) return nullptr;
        if (lstrcmpiA(stored.get(), name) == 0) return entries_[i].text;
    }
    return nullptr;
}

void VariableTable::Clear() {
    for (size_t i = 0; i < count_; ++i) {
        CoTaskMemFree(entries_[i].name);
        CoTaskMemFree(entries_[i].text);
    }
    CoTaskMemFree(entries_);
    entries_ = nullptr;
    count_ = 0;
    room_ = 0;
}

}  // namespace vinspect
