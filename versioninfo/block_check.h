// Structural check of a version block before the platform's lookups walk it.
#pragma once

#include <windows.h>

#include <cstddef>

namespace vinspect {

// Walks the nodes of `block` (`size` bytes, as sized by GetFileVersionInfoSizeA and filled by
// GetFileVersionInfoA) and tells whether the platform's lookups stay inside the block. Refuses
// only what would make them read or write outside it; lengths that merely disagree with each
// other, as many producers write them, are accepted.
bool CheckVersionBlock(const BYTE* block, size_t size);

}  // namespace vinspect
