// Named replacement texts for registry scripts (%NAME% in a script), in the ANSI code page of the
// scripts themselves.
#pragma once

#include <windows.h>

#include "common/handles.h"

namespace vinspect {

class VariableTable {
public:
    VariableTable() = default;
    VariableTable(const VariableTable&) = delete;
    VariableTable& operator=(const VariableTable&) = delete;

    // Copies both strings; E_OUTOFMEMORY when a copy or more room cannot be had.
    HRESULT Add(const char* name, const char* text);
    // The text of the first entry whose name equals `name` without regard to case; null if none.
    const char* Find(const char* name) const;
    // Releases every entry and the table's room.
    void Clear();

private:
    struct Entry {
        CoTaskMem<char> name;
        CoTaskMem<char> text;
    };
    HeapArray<Entry> entries_;
    size_t count_ = 0;
    size_t room_ = 0;
};

}  // namespace vinspect
