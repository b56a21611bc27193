// The platform trusts the lengths inside a version block: it follows them when it searches
// children and converts 32-bit text to ANSI at "root length + 4 + the text's offset". A block
// whose lengths lie makes it read and write outside the buffer, so the object walks the headers
// first and refuses such a block.
#include "versioninfo/block_check.h"

namespace vinspect {
namespace {

// Deeper than any value path of at most 511 characters can reach.
constexpr int kMaxDepth = 256;

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

class NodeWalk {
public:
    NodeWalk(const BYTE* block, BlockKind kind)
        : block_(block), unicode_(kind == BlockKind::Unicode) {}

    // The node at `at` inside a parent that ends at `end`, and all its children.
    bool Check(size_t at, size_t end, int depth) const {
        const size_t header = unicode_ ? 6 : 4;
        if (depth > kMaxDepth || end - at < header) return false;
        const size_t length = Word(at);
        if (length < header || length > end - at) return false;
        end = at + length;

        // The key ends at its terminator: a zero WORD (32-bit) or a zero byte (16-bit).
        const size_t unit = unicode_ ? 2 : 1;
        size_t key = at + header;
        while (key + unit <= end && (unicode_ ? Word(key) : block_[key]) != 0) key += unit;
        if (key + unit > end) return false;

        // Value lengths count characters for 32-bit text (any nonzero type), bytes otherwise.
        const size_t value = Align4(key + unit);
        const bool text = unicode_ && Word(at + 4) != 0;
        const size_t valueEnd = value + Word(at + 2) * (text ? 2 : 1);
        if (valueEnd > value && valueEnd > end) return false;

        for (size_t child = Align4(valueEnd); child < end; child = Align4(child + Word(child))) {
            if (!Check(child, end, depth + 1)) return false;
        }
        return true;
    }

private:
    size_t Word(size_t at) const { return block_[at] | (block_[at + 1] << 8); }

    const BYTE* block_;
    bool unicode_;
};

}  // namespace

bool CheckVersionBlock(const BYTE* block, size_t size, BlockLayout* layout) {
    // The platform sizes either kind of block as twice the resource plus four bytes and copies
    // the resource into the first half; the rest is its conversion area.
    if (block == nullptr || size < 4) return false;
    const size_t copied = (size - 4) / 2;
    if (copied < 5) return false;
    // It takes a block for a 16-bit one when the byte after the two length WORDs is printable
    // ASCII (the first key character); any other byte is the low byte of a 32-bit type WORD.
    const BlockKind kind =
        block[4] >= 0x20 && block[4] <= 0x7F ? BlockKind::Ansi : BlockKind::Unicode;
    if (!NodeWalk(block, kind).Check(0, copied, 0)) return false;
    layout->kind = kind;
    layout->rootLength = block[0] | (block[1] << 8);
    return true;
}

}  // namespace vinspect
