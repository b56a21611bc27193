// Named replacement texts for registry scripts (%NAME% in a script).
#pragma once

#include <windows.h>

namespace vinspect {

class VariableTable {
public:
    VariableTable() = default;
    VariableTable(const VariableTable&) = delete;
    VariableTable& operator=(const VariableTable&) = delete;
    ~VariableTable() { Clear(); }

    // Copies both strings; E_OUTOFMEMORY when a copy or more room cannot be had.
    HRESULT Add(const wchar_t* name, const wchar_t* text);
    // The text of the first entry whose name equals `name` without regard to case; null if none.
    const wchar_t* Find(const char* name) const;
    // Releases every entry and the table's room.
    void Clear();

private:
    struct Entry {
        wchar_t* name;
        wchar_t* text;
    };
    Entry* entries_ = nullptr;
    size_t count_ = 0;
    size_t room_ = 0;
};

}  // namespace vinspect
