// The two forms in which a VersionInfo object is built: stand-alone, or as the inner part of an
// aggregate whose outer object owns its identity.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace vinspect {

// The instance creator of the class table: stand-alone without `outer`, aggregated with one.
HRESULT CreateVersionInfo(IUnknown* outer, REFIID iid, void** out);

}  // namespace vinspect
