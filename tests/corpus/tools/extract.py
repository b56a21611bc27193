#!/usr/bin/env python3
"""Copies the raw bytes of a version resource (type 16) out of a PE file or a .res file.

    extract.py FILE                 lists the version resources: name, language, size
    extract.py FILE OUT [LANGUAGE]  writes the one version resource (or the one in LANGUAGE, hex) to OUT

The bytes are the resource data exactly as the file stores them: nothing is recounted or rewritten.
"""
import struct
import sys

RT_VERSION = 16


def pe_resources(data):
    """(type, name, language, bytes) of every resource in a PE image's resource directory."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, directories + 2 * 8)
    table = optional + optional_size
    spans = [struct.unpack_from("<8xIIII", data, table + 40 * i) for i in range(sections)]

    def offset(rva):
        for vsize, vaddr, rawsize, rawptr in spans:
            if vaddr <= rva < vaddr + max(vsize, rawsize):
                return rva - vaddr + rawptr
        raise ValueError("RVA %#x outside every section" % rva)

    if rsrc_rva == 0:
        return []
    base = offset(rsrc_rva)

    def entries(at):
        named, ids = struct.unpack_from("<12xHH", data, base + at)
        for i in range(named + ids):
            key, value = struct.unpack_from("<II", data, base + at + 16 + 8 * i)
            if key & 0x80000000:
                length = struct.unpack_from("<H", data, base + (key & 0x7FFFFFFF))[0]
                start = base + (key & 0x7FFFFFFF) + 2
                key = data[start:start + 2 * length].decode("utf-16-le")
            yield key, value

    found = []
    for rtype, level2 in entries(0):
        for name, level3 in entries(level2 & 0x7FFFFFFF):
            for language, leaf in entries(level3 & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                start = offset(rva)
                found.append((rtype, name, language, data[start:start + size]))
    return found


def res_resources(data):
    """(type, name, language, bytes) of every entry of a 32-bit .res file."""
    found, at = [], 0

    def ident(at):
        if struct.unpack_from("<H", data, at)[0] == 0xFFFF:
            return struct.unpack_from("<H", data, at + 2)[0], at + 4
        end = at
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[at:end].decode("utf-16-le"), end + 2

    while at + 32 <= len(data):
        size, header = struct.unpack_from("<II", data, at)
        rtype, rest = ident(at + 8)
        name, rest = ident(rest)
        rest = (rest + 3) & ~3
        language = struct.unpack_from("<6xH", data, rest)[0]
        start = at + header
        if size or header != 32:  # the leading empty entry marks a 32-bit .res file
            found.append((rtype, name, language, data[start:start + size]))
        at = (start + size + 3) & ~3
    return found


def versions(path):
    data = open(path, "rb").read()
    pe = data[:2] == b"MZ"
    return [(n, l, b) for t, n, l, b in (pe_resources if pe else res_resources)(data) if t == RT_VERSION]


def main(argv):
    found = versions(argv[1])
    if len(argv) == 2:
        for name, language, blob in found:
            print("%s\t%04X\t%d" % (name, language, len(blob)))
        return 0
    if len(argv) > 3:
        found = [f for f in found if f[1] == int(argv[3], 16)]
    if len(found) != 1:
        sys.exit("%s: %d version resources match, expected one" % (argv[1], len(found)))
    open(argv[2], "wb").write(found[0][2])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
