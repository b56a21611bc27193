#include "server/registry/script_interpreter.h"

namespace vinspect {

HRESULT ApplyScriptText(const char*, BOOL, const VariableTable&) { return E_NOTIMPL; }
HRESULT ApplyRegistryResource(const wchar_t*, WORD, BOOL, const VariableTable&) {
    return E_NOTIMPL;
}

}  // namespace vinspect
