// The classes this library serves: VersionInfo only.
#include "server/class_factory.h"
#include "server/module.h"
#include "server/object_forms.h"
#include "server/registration.h"
#include "vinspect_h.h"

namespace vinspect {
namespace {

// Resource id of the registry script of VersionInfo.
constexpr WORD kVersionInfoScript = 101;

HRESULT UpdateVersionInfoRegistry(BOOL registerClass, const ScriptTarget& target) {
    return ApplyModuleScript(kVersionInfoScript, registerClass, target);
}

const wchar_t* ProcessedByRegistration() { return nullptr; }

ClassEntry classes[] = {
    {&CLSID_VersionInfo, UpdateVersionInfoRegistry, ClassFactory::Create, CreateVersionInfo,
     {}, ProcessedByRegistration},
    {nullptr, nullptr, nullptr, nullptr, {}, nullptr},
};

}  // namespace

ClassEntry* ServedClasses() { return classes; }

}  // namespace vinspect
