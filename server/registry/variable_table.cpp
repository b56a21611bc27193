#include "server/registry/variable_table.h"

namespace vinspect {

HRESULT VariableTable::Add(const wchar_t*, const wchar_t*) { return E_NOTIMPL; }
const wchar_t* VariableTable::Find(const char*) const { return nullptr; }
void VariableTable::Clear() {}

}  // namespace vinspect
