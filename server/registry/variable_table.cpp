#include "server/registry/variable_table.h"

#include <objbase.h>

#include <cstring>
#include <new>

namespace vinspect {
namespace {

constexpr size_t kFirstRoom = 10;

// A task-memory copy of `text`, or null when no memory is left.
char* CopyText(const char* text) {
    size_t bytes = std::strlen(text) + 1;
    void* copy = CoTaskMemAlloc(bytes);
    if (copy != nullptr) std::memcpy(copy, text, bytes);
    return static_cast<char*>(copy);
}

}  // namespace

HRESULT VariableTable::Add(const char* name, const char* text) {
    if (name == nullptr || text == nullptr) return E_INVALIDARG;
    CoTaskMem<char> nameCopy(CopyText(name));
    CoTaskMem<char> textCopy(CopyText(text));
    if (nameCopy.Get() == nullptr || textCopy.Get() == nullptr) return E_OUTOFMEMORY;
    if (count_ == room_) {
        size_t room = room_ == 0 ? kFirstRoom : room_ * 2;
        HeapArray<Entry> grown(new (std::nothrow) Entry[room]);
        if (!grown) return E_OUTOFMEMORY;
        for (size_t i = 0; i < count_; ++i) grown[i] = std::move(entries_[i]);
        entries_ = std::move(grown);
        room_ = room;
    }
    entries_[count_].name = std::move(nameCopy);
    entries_[count_].text = std::move(textCopy);
    ++count_;
    return S_OK;
}

const char* VariableTable::Find(const char* name) const {
    if (name == nullptr) return nullptr;
    for (size_t i = 0; i < count_; ++i) {
        if (lstrcmpiA(entries_[i].name.Get(), name) == 0) return entries_[i].text.Get();
    }
    return nullptr;
}

void VariableTable::Clear() {
    entries_.reset();
    count_ = 0;
    room_ = 0;
}

}  // namespace vinspect
