#!/usr/bin/env python3
"""Writes the hand-made version resources of the corpus into the folder given (default: beside
tools/): layouts no producer at hand writes, built byte by byte, and two 16-bit NE executables.

    handmade.py [OUTDIR]
"""
import os
import struct
import sys


def align(data):
    return data + b"\0" * (-len(data) % 4)


class Node:
    """One node: `text` (a str) or `data` (bytes) as its value, `children` after it.

    count:      wValueLength written instead of the natural one (characters with the NUL for text)
    terminated: False leaves the NUL out of a text value (and out of the count)
    trailing:   zero bytes after the last child that the node's wLength still covers
    length:     wLength written instead of the node's real length
    """

    def __init__(self, key, text=None, data=None, children=(), count=None, terminated=True, trailing=0, kind=None,
                 length=None):
        self.key, self.text, self.data, self.children = key, text, data, list(children)
        self.count, self.terminated, self.trailing, self.length = count, terminated, trailing, length
        self.kind = kind if kind is not None else (0 if data is not None else 1)

    def value(self, ansi):
        if self.text is None:
            return self.data or b"", len(self.data or b"")
        unit = 1 if ansi else 2
        encoded = self.text.encode("ascii" if ansi else "utf-16-le") + (b"\0" * unit if self.terminated else b"")
        return encoded, len(encoded) // unit

    def serialize(self, ansi=False):
        """32-bit layout (wLength, wValueLength, wType, UTF-16 key), or the 16-bit layout (no
        wType, ANSI key, text counted in bytes)."""
        value, natural = self.value(ansi)
        key = self.key.encode("ascii") + b"\0" if ansi else self.key.encode("utf-16-le") + b"\0\0"
        head = struct.pack("<H", self.count if self.count is not None else natural)
        head += key if ansi else struct.pack("<H", self.kind) + key
        out = align(b"\0\0" + head) + value
        for child in self.children:
            out = align(out) + child.serialize(ansi)
        if self.trailing:
            out = align(out) + b"\0" * self.trailing
        return struct.pack("<H", self.length if self.length is not None else len(out)) + out[2:]


def fixed(major, minor, build, revision, file_os=0x40004, file_type=1):
    return struct.pack("<13I", 0xFEEF04BD, 0x00010000, major << 16 | minor, build << 16 | revision,
                       major << 16 | minor, build << 16 | revision, 0x3F, 0, file_os, file_type, 0, 0, 0)


def root_of(blocks, fixed_data, **options):
    return Node("VS_VERSION_INFO", data=fixed_data, children=blocks, kind=0, **options)


def table(translation, values):
    return Node(translation, children=[Node(key, text=text) for key, text in values])


def translations(*pairs):
    data = b"".join(struct.pack("<HH", language, codepage) for language, codepage in pairs)
    return Node("VarFileInfo", children=[Node("Translation", data=data)])


def root(blocks, version=(1, 0, 0, 0), file_os=0x40004, **options):
    return Node("VS_VERSION_INFO", data=fixed(*version, file_os=file_os), children=blocks, kind=0, **options)


ENGLISH = [("CompanyName", "Example Company"), ("FileDescription", "Hand-made layout"),
           ("FileVersion", "1.2.3.4"), ("ProductName", "vinspect corpus"), ("ProductVersion", "1.2"),
           ("Build Date", "2024-05-01")]
GERMAN = [("CompanyName", "Beispiel GmbH"), ("FileDescription", "Handgemacht"),
          ("FileVersion", "1.2.3.4"), ("ProductName", "vinspect Korpus"), ("Build Date", "01.05.2024")]


def bytes_counted(values, every):
    """A table whose strings count their value in bytes (with the NUL): every one, or the last."""
    made = table("040904B0", values)
    for node in made.children if every else made.children[-1:]:
        node.count = 2 * (len(node.text) + 1)
    return made


def layouts():
    english = lambda: table("040904B0", ENGLISH)
    sfi = lambda *tables, **options: Node("StringFileInfo", children=list(tables), **options)
    return {
        # Counted in bytes; VarFileInfo follows, so every overcount stays inside the root.
        "hand_bytes_all": root([sfi(bytes_counted(ENGLISH, True)), translations((0x409, 1200))], (1, 2, 3, 4)),
        "hand_bytes_last": root([sfi(bytes_counted(ENGLISH, False)), translations((0x409, 1200))], (1, 2, 3, 4)),
        # The root's wLength covers 4 zero bytes after VarFileInfo.
        "hand_trailing_root": root([sfi(english()), translations((0x409, 1200))], (1, 2, 3, 4), trailing=4),
        # StringFileInfo's wLength covers 4 zero bytes after its table.
        "hand_trailing_sfi": root([sfi(english(), trailing=4), translations((0x409, 1200))], (1, 2, 3, 4)),
        # A string table's wLength covers 8 zero bytes: a zero-length node header, not a short remainder.
        "hand_trailing_table": root([sfi(Node("040904B0", children=english().children, trailing=8)),
                                     translations((0x409, 1200))], (1, 2, 3, 4)),
        # Values without their NUL: an even-length one followed at once by the next node's header,
        # an odd-length one followed by alignment padding (a zero character).
        "hand_unterminated": root([sfi(Node("040904B0", children=[
            Node("CompanyName", text="Example Company", terminated=False),  # 15 characters
            Node("FileDescription", text="Unterminated", terminated=False),  # 12 characters
            Node("FileVersion", text="1.2.3.4"), Node("ProductName", text="vinspect corpus"),
            Node("Build Date", text="2024-05-01", terminated=False)])),
            translations((0x409, 1200))], (1, 2, 3, 4)),
        # Two tables, English first; the translation lists German first.
        "hand_reverse_translation": root([sfi(english(), table("040704B0", GERMAN)),
                                          translations((0x407, 1200), (0x409, 1200))], (1, 2, 3, 4)),
    }


def ansi_tree(strings):
    """A 16-bit version resource: the fixed information, and a short string table when `strings`."""
    blocks = []
    if strings:
        blocks = [Node("StringFileInfo", children=[Node("040904E4", children=[
            Node("CompanyName", text="Example 16"), Node("FileDescription", text="16-bit block"),
            Node("FileVersion", text="3.1.0.0"), Node("Build Date", text="1992-04-06")])]),
            translations((0x409, 1252))]
    return root(blocks, (3, 1, 0, 0), file_os=0x00010001)  # VOS_DOS_WINDOWS16


def ne_executable(resource, shift):
    """A minimal 16-bit Windows (NE) executable without segments whose only resource is `resource`
    as version resource 1, stored in units of 2**shift bytes (the platform reads the resource's
    stored length, rounded up to that unit). Tables follow the 64-byte NE header in the usual order."""
    resident = b"\x06CORPUS\0\0\0"  # the module name with ordinal 0, then the end of the table
    modrefs = b""
    imported = b"\0"
    entries = b"\0"
    nonresident = b"\x0bcorpus test\0\0\0"  # the description, likewise

    resources_at = 0x40
    res_table_len = 2 + 8 + 12 + 2 + 1  # shift, one type with one entry, end of types, no names
    resident_at = resources_at + res_table_len
    modrefs_at = resident_at + len(resident)
    imported_at = modrefs_at + len(modrefs)
    entries_at = imported_at + len(imported)
    ne_at = 0x40
    nonresident_at = ne_at + entries_at + len(entries)
    data_at = nonresident_at + len(nonresident)
    data_at += -data_at % (1 << shift)
    units = (len(resource) + (1 << shift) - 1) >> shift

    res_table = struct.pack("<H", shift)
    res_table += struct.pack("<HHI", 0x8010, 1, 0)  # RT_VERSION, one resource
    res_table += struct.pack("<HHHHHH", data_at >> shift, units, 0x0030, 0x8001, 0, 0)  # moveable, pure; id 1
    res_table += struct.pack("<H", 0) + b"\0"
    header = struct.pack("<2sBBHHIHHHHIIHHHHHHHHIHHHBBHHHH",
                         b"NE", 5, 10, entries_at, len(entries), 0, 0x0302,  # data per instance; Windows API
                         0, 0, 0, 0, 0, 0, 0, len(nonresident),
                         0x40, resources_at, resident_at, modrefs_at, imported_at, nonresident_at,
                         0, shift, 1, 2, 0, 0, 0, 0, 0x030A)  # Windows 3.10
    assert len(header) == 0x40
    mz = bytearray(0x40)
    mz[0:2] = b"MZ"
    struct.pack_into("<HHHHHHHH", mz, 2, 0x40 + 0, 1, 0, 4, 0, 0xFFFF, 0, 0xB8)
    struct.pack_into("<H", mz, 0x18, 0x40)  # e_lfarlc >= 0x40: a new-format executable
    struct.pack_into("<I", mz, 0x3C, ne_at)
    body = header + res_table + resident + modrefs + imported + entries
    image = bytes(mz) + body + nonresident
    image += b"\0" * (data_at - len(image))
    return image + resource + b"\0" * ((units << shift) - len(resource))


def object_layouts():
    """The modules of the object's tests (layouts/NAME.bin): translations and string tables in
    every combination that the translation rules tell apart."""
    info = fixed(4, 0, 1381, 1, file_type=2)  # VFT_DLL
    strings = [("CompanyName", "Tervik"), ("LegalCopyright", "(c) Tervik"), ("Build Date", "1998, 9")]
    sfi = lambda key: Node("StringFileInfo", children=[table(key, strings)])
    open_table = Node("040904B0", children=[Node("CompanyName", text="Tervik"),
                                            Node("ProductName", text="Open", terminated=False)])
    return {
        "english": root_of([sfi("040904B0"), translations((0x409, 0x4B0))], info),
        "german": root_of([translations((0x407, 0x4E4), (0x409, 0x4B0))], info),
        "western": root_of([sfi("040904E4"), translations((0x409, 0x4B0))], info),
        "mislabelled": root_of([sfi("040904B0"), translations((0x407, 0x4E4))], info),
        "neutral": root_of([sfi("040904E4"), translations((0, 0x4E4))], info),
        "untranslated": root_of([sfi("040904B0")], info),
        "empty-table": root_of([translations()], info),
        "unknown-language": root_of([translations((0xC7F, 0x4B0))], info),
        "no-fixed": root_of([translations((0x407, 0x4E4))], None),
        # The last value of the block, without terminator.
        "unterminated": root_of([translations((0x409, 0x4B0)),
                                 Node("StringFileInfo", children=[open_table])], info),
    }


def malformed_layouts():
    """Resources that lie about their own layout, for the object's refusal tests, each in the
    32-bit layout (layouts/NAME.bin) and the 16-bit one (layouts/NAME.ansi.bin): variations of
    CompanyName "Acme" and ProductName "Thing", the last node of the block."""
    def resource(product, ansi, extra=()):
        made = Node("040904B0", children=[Node("CompanyName", text="Acme"), product])
        blocks = [translations((0x409, 0x4B0)), Node("StringFileInfo", children=[made])]
        return root_of(blocks + list(extra), fixed(1, 2, 0, 0, file_type=2)).serialize(ansi)

    def nested(levels):
        node = Node("ProductName", text="Thing")
        for _ in range(levels):
            node = Node("n", children=[node])
        return node

    def key_cut(ansi):
        # A last node whose key loses its terminator (and the 16-bit padding) at the block's end.
        made = resource(Node("ProductName", text="Thing"), ansi, [Node("Custom-Key", length=14 if ansi else 26)])
        made = made[:-2]
        return struct.pack("<H", len(made)) + made[2:]

    rows = {
        "well-formed": lambda ansi: resource(Node("ProductName", text="Thing"), ansi),
        "root-ffff": lambda ansi: b"\xff\xff" + resource(Node("ProductName", text="Thing"), ansi)[2:],
        "truncated": lambda ansi: resource(Node("ProductName", text="Thing"), ansi)[:11],
        # A 65539-character value: its count wraps to 4 (65540), and so does the copy of its text.
        "wrapped": lambda ansi: resource(Node("ProductName", text="xxxx", terminated=False), ansi),
        "child-past-parent": lambda ansi: resource(Node("ProductName", text="Thing", length=0x200), ansi),
        "value-past-resource": lambda ansi: resource(Node("ProductName", text="Thing", count=200), ansi),
        "key-unterminated": key_cut,
        "nested-300": lambda ansi: resource(nested(300), ansi),
    }
    files = {}
    for name, make in rows.items():
        files[name + ".bin"] = make(False)
        files[name + ".ansi.bin"] = make(True)
    # 32-bit only: a root length between the resource's length and twice that. Zeros follow the
    # resource in the platform's block, so every node lies inside the root; but the ANSI lookup
    # converts text into the area behind the root, which would then reach past the block.
    well_formed = files["well-formed.bin"]
    files["root-long.bin"] = struct.pack("<H", len(well_formed) * 3 // 2 & ~3) + well_formed[2:]
    return files


def main(argv):
    out = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    files = {name + ".bin": node.serialize() for name, node in layouts().items()}
    files["hand_ansi16.bin"] = ansi_tree(True).serialize(ansi=True)
    # Fixed information only, stored at its exact length (72 bytes); a string table too, stored in
    # 16-byte units as linkers of the time did.
    files["ne_fixed.ne"] = ne_executable(ansi_tree(False).serialize(ansi=True), 0)
    files["ne_strings.ne"] = ne_executable(ansi_tree(True).serialize(ansi=True), 4)
    # The layouts of the object's own tests: not from other producers, some refused on purpose.
    os.makedirs(os.path.join(out, "layouts"), exist_ok=True)
    for name, node in object_layouts().items():
        files[os.path.join("layouts", name + ".bin")] = node.serialize()
    for name, data in malformed_layouts().items():
        files[os.path.join("layouts", name)] = data
    for name, data in sorted(files.items()):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        print("%-30s %5d bytes" % (name, len(data)))


if __name__ == "__main__":
    main(sys.argv)
