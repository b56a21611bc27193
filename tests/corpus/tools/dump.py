#!/usr/bin/env python3
"""Prints the node tree of a raw version resource (.bin, 32-bit layout) or of a 16-bit one (-a):
length, value length, type, key and value, one node a line, as the lengths in the bytes say."""
import struct
import sys


def dump(data, ansi, at, end, depth, out):
    header = 4 if ansi else 6
    while at + header <= end:
        length, value_length = struct.unpack_from("<HH", data, at)
        kind = 1 if ansi else struct.unpack_from("<H", data, at + 4)[0]
        if length == 0:
            out.append("%s(zero length at %d)" % ("  " * depth, at))
            return
        unit = 1 if ansi else 2
        key_end = at + header
        while key_end + unit <= len(data) and data[key_end:key_end + unit] != b"\0" * unit:
            key_end += unit
        key = data[at + header:key_end].decode("latin-1" if ansi else "utf-16-le", "replace")
        value_at = (key_end + unit + 3) & ~3
        size = value_length * unit if kind == 1 and not (ansi and depth == 0) else value_length
        raw = data[value_at:value_at + size]
        text = raw.decode("latin-1" if ansi else "utf-16-le", "replace") if kind == 1 and depth > 0 else raw.hex()
        type_text = "" if ansi else " t%d" % kind
        out.append("%s@%d len %d vlen %d%s %r %s" % ("  " * depth, at, length, value_length, type_text, key,
                                                   repr(text) if value_length else ""))
        children = (value_at + size + 3) & ~3
        if depth < 3 and children < at + length:
            dump(data, ansi, children, min(at + length, end), depth + 1, out)
        at = (at + length + 3) & ~3
    if at < end:
        out.append("%s(%d trailing bytes: %s)" % ("  " * depth, end - at, data[at:end].hex()))


def main(argv):
    ansi = "-a" in argv
    data = open([a for a in argv[1:] if a != "-a"][0], "rb").read()
    out = []
    dump(data, ansi, 0, len(data), 0, out)
    print("\n".join(out))


if __name__ == "__main__":
    main(sys.argv)
