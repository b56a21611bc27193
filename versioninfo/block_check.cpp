// The platform trusts the lengths inside a version block. A lookup follows node lengths from the
// root down, compares keys up to their terminators, and hands back a pointer to the value it
// found with the value's count as its length; the ANSI lookup in a 32-bit block first converts a
// text value to ANSI by its count (Wine 8: a count of 2 for "Thing" gives "Th", a count past the
// terminator converts what follows) and writes the result at "root length + 4 + the value's
// offset", into the second half of the block. The object walks the headers first and refuses a
// block only where these steps would leave it.
#include "versioninfo/block_check.h"

namespace vinspect {
namespace {

// Deeper than any value path of at most 511 characters can reach; bounds the walk's recursion.
constexpr int kMaxDepth = 256;

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

class NodeWalk {
public:
    NodeWalk(const BYTE* block, bool unicode, size_t rootEnd)
        : block_(block), unicode_(unicode), rootEnd_(rootEnd) {}

    // The node at `at` inside a parent that ends at `end`, and all its children.
    bool Check(size_t at, size_t end, int depth) const {
        const size_t header = HeaderSize();
        if (depth > kMaxDepth || end - at < header) return false;
        // A lookup steps from node to node by these lengths: each node lies inside its parent.
        const size_t length = Word(at);
        if (length < header || length > end - at) return false;
        end = at + length;

        // Keys are compared up to their terminator: a zero WORD (32-bit) or a zero byte (16-bit),
        // which must lie inside the node.
        const size_t unit = unicode_ ? 2 : 1;
        size_t key = at + header;
        while (key + unit <= end && (unicode_ ? Word(key) : block_[key]) != 0) key += unit;
        if (key + unit > end) return false;

        // A value is handed out with its count as its length (characters for 32-bit text, of any
        // nonzero type; bytes otherwise). The count may run past the value's own node, as some
        // producers write it, but not past the root: the ANSI lookup reads the counted text and
        // writes its conversion (at most two bytes a character) into the root's converted copy,
        // which holds no more than the root.
        const size_t value = Align4(key + unit);
        const size_t count = Word(at + 2);
        const bool text = unicode_ && Word(at + 4) != 0;
        const size_t valueBytes = count * (text ? 2 : 1);
        if (count != 0 && (value > rootEnd_ || valueBytes > rootEnd_ - value)) return false;

        // Children follow the value; the list ends at a zero length or where fewer bytes than a
        // node header are left, as the platform takes it.
        for (size_t child = Align4(value + valueBytes); child < end && end - child >= header;
             child = Align4(child + Word(child))) {
            if (Word(child) == 0) break;
            if (!Check(child, end, depth + 1)) return false;
        }
        return true;
    }

private:
    size_t HeaderSize() const { return unicode_ ? 6 : 4; }
    size_t Word(size_t at) const { return block_[at] | (block_[at + 1] << 8); }

    const BYTE* block_;
    bool unicode_;
    size_t rootEnd_;
};

}  // namespace

bool CheckVersionBlock(const BYTE* block, size_t size) {
    if (block == nullptr || size < 6) return false;
    // The platform takes a block for a 16-bit one when the byte after the two length WORDs is
    // printable ASCII (the first key character); any other byte is the low byte of a 32-bit type
    // WORD.
    const bool unicode = !(block[4] >= 0x20 && block[4] <= 0x7F);
    const size_t root = block[0] | (block[1] << 8);
    // The ANSI lookup converts 32-bit text into the area behind the root and its 4-byte
    // signature, which must therefore fit: root length x 2 + 4. A 16-bit block is never converted
    // and needs only its root. How the platform sized the block is not assumed.
    if (unicode ? root > (size - 4) / 2 : root > size) return false;
    return NodeWalk(block, unicode, root).Check(0, root, 0);
}

}  // namespace vinspect
