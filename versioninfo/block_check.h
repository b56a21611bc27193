// Structural check of a version block before the platform's lookups walk it.
#pragma once

#include <windows.h>

#include <cstddef>

namespace vinspect {

// The two layouts of a version resource. A 16-bit node is WORD length, WORD value length and an
// ANSI key; a 32-bit node adds a type WORD after the value length and has a UTF-16 key.
enum class BlockKind { Ansi, Unicode };

struct BlockLayout {
    BlockKind kind = BlockKind::Unicode;
    size_t rootLength = 0;  // bytes of the root node: the resource's own data
};

// Walks every node of `block` (`size` bytes, as sized by GetFileVersionInfoSizeA and filled by
// GetFileVersionInfoA) and fills `layout`. False when a node is shorter than its header, runs
// past its parent, has a key that does not end inside it or a value that does not lie inside
// it, or when the root runs past the resource data that the platform copied.
bool CheckVersionBlock(const BYTE* block, size_t size, BlockLayout* layout);

}  // namespace vinspect
