#!/usr/bin/env python3
"""Writes the import and resource directories of a PE32 file whose import table and
resources lie inside its code section, from the symbols that mark them in the
linker's map file, then the header checksum again: set-data-directories.py EXE MAP."""
import re
import struct
import sys

k_importDirectory = 1
k_resourceDirectory = 2


def symbol_address(map_text, name):
    match = re.search(r"^\s+0x([0-9a-fA-F]+)\s+" + re.escape(name) + r"\s", map_text, re.M)
    if not match:
        sys.exit(f"{name} not found in the map file")
    return int(match.group(1), 16)


def pe_checksum(image, checksum_offset):
    """The PE header checksum: 16-bit one's-complement sum of the file, skipping the
    checksum field itself, plus the file length."""
    total = 0
    padded = image + b"\0" * (len(image) % 2)
    for offset in range(0, len(padded), 2):
        if checksum_offset <= offset < checksum_offset + 4:
            continue
        total += padded[offset] | padded[offset + 1] << 8
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16) + len(image)) & 0xFFFFFFFF


def main():
    exe_path, map_path = sys.argv[1], sys.argv[2]
    with open(map_path) as map_file:
        map_text = map_file.read()
    with open(exe_path, "r+b") as exe:
        image = bytearray(exe.read())
        optional_header = struct.unpack_from("<I", image, 0x3C)[0] + 24
        if struct.unpack_from("<H", image, optional_header)[0] != 0x10B:
            sys.exit("only PE32 files are handled")
        image_base = struct.unpack_from("<I", image, optional_header + 28)[0]
        directories = optional_header + 96
        for index, name in ((k_importDirectory, "imports"), (k_resourceDirectory, "resources")):
            start = symbol_address(map_text, f"__comreg32_{name}_start")
            end = symbol_address(map_text, f"__comreg32_{name}_end")
            struct.pack_into("<II", image, directories + 8 * index, start - image_base, end - start)
        checksum_offset = optional_header + 64
        struct.pack_into("<I", image, checksum_offset, pe_checksum(bytes(image), checksum_offset))
        exe.seek(0)
        exe.write(image)


main()
