#!/usr/bin/env python3
"""python3 clear_exports.py PROGRAM.exe: empties the export directory entry of a PE program's
optional header, after objcopy has removed its .edata section.

The linker's --exclude-all-symbols stops only the automatic exports; a static library built for a
DLL (pixman's) still asks for its functions to be exported through .drectve, and a program has no
use for an export table."""

import struct
import sys


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.split("\n")[0])
    path = sys.argv[1]
    with open(path, "r+b") as f:
        data = f.read(4096)
        is_mz = data[:2] == b"MZ" and len(data) >= 0x40
        pe = struct.unpack_from("<I", data, 0x3C)[0] if is_mz else 0
        if not pe or data[pe:pe + 4] != b"PE\0\0":
            sys.exit(f"{path}: not a PE program")
        optional = pe + 24
        directories = {0x10B: 96, 0x20B: 112}.get(struct.unpack_from("<H", data, optional)[0])
        if directories is None:
            sys.exit(f"{path}: unknown optional header")
        f.seek(optional + directories)  # entry 0: the export directory
        f.write(bytes(8))


if __name__ == "__main__":
    main()
