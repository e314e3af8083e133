#!/usr/bin/env python3
"""Reads the resources of a Windows program back.

    python3 pe_resources.py FILE

prints, as one JSON object: the manifest's text, the version (the fixed file version and the
version strings), the icon sizes, string 1 of the string table and the number of exports.

    python3 pe_resources.py --check --pack PACK --player EXE --version V --title T --work DIR
                            [--other EXE2 ...]

makes a saver from EXE with `PACK build --title T` and fails, saying why, unless the saver's
manifest asks for per-monitor v2 DPI awareness, its version is V, its icons are 16, 32, 48 and
256 pixels, its string 1 is T, it and every EXE2 export nothing, no import library lies beside
them, and the saver's copy of the player differs from EXE only inside string table block 1.
Python 3 standard library only.
"""

import argparse
import json
import os
import struct
import subprocess
import sys
import zlib

RT_ICON, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 6, 14, 16, 24


class Pe:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not a Windows program (no MZ)")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        sections, optional_size = self.u16(pe + 6), self.u16(pe + 20)
        optional = pe + 24
        directories = {0x10B: 96, 0x20B: 112}[self.u16(optional)]
        count = self.u32(optional + directories - 4)
        self.directories = [struct.unpack_from("<II", data, optional + directories + 8 * i)
                            for i in range(count)]
        self.sections = []
        for i in range(sections):
            at = optional + optional_size + 40 * i
            vsize, va, raw_size, raw = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((va, min(vsize, raw_size) if vsize else raw_size, raw))

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"address {rva:#x} lies outside the sections")

    def resources(self):
        """{(type, name, language): (file offset, size)} of the resources."""
        found = {}
        if len(self.directories) <= 2 or not self.directories[2][0]:
            return found
        root_rva = self.directories[2][0]
        root = self.offset(root_rva)

        def walk(at, path):
            named, ids = self.u16(at + 12), self.u16(at + 14)
            for i in range(named + ids):
                ident, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                key = path + (ident if ident < 0x80000000 else f"name@{ident & 0x7FFFFFFF:#x}",)
                if target & 0x80000000:
                    walk(root + (target & 0x7FFFFFFF), key)
                else:
                    rva, size = struct.unpack_from("<II", self.data, root + target)
                    found[key] = (self.offset(rva), size)

        walk(root, ())
        return found

    def export_count(self):
        if not self.directories or not self.directories[0][0]:
            return 0
        return self.u32(self.offset(self.directories[0][0]) + 20)  # NumberOfFunctions


def version_info(data):
    """The fixed file version and the strings of a VS_VERSIONINFO block."""

    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        end = at + length
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_size = value_length * 2 if kind == 1 else value_length
        value = data[value_at:value_at + value_size]
        children, child = [], (value_at + value_size + 3) & ~3
        while child < end:
            children.append(node(child))
            child = (child + struct.unpack_from("<H", data, child)[0] + 3) & ~3
        return key, value, kind, children

    key, fixed, _, children = node(0)
    ms, ls = struct.unpack_from("<II", fixed, 8)
    result = {"fixed": f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}", "strings": {}}
    for name, _, _, tables in children:
        if name != "StringFileInfo":
            continue
        for _, _, _, strings in tables:
            for skey, value, _, _ in strings:
                result["strings"][skey] = value.decode("utf-16-le").rstrip("\0")
    return result


def image_size(data):
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return struct.unpack_from(">I", data, 16)[0]
    return struct.unpack_from("<i", data, 4)[0]  # BITMAPINFOHEADER.biWidth


def string_block(data, index):
    at = 0
    for _ in range(index):
        at += 2 + 2 * struct.unpack_from("<H", data, at)[0]
    length = struct.unpack_from("<H", data, at)[0]
    return data[at + 2:at + 2 + 2 * length].decode("utf-16-le", errors="surrogatepass")


def describe(data):
    pe = Pe(data)
    res = pe.resources()
    by_type = {}
    for (kind, name, _), (start, size) in sorted(res.items(), key=str):
        by_type.setdefault(kind, {})[name] = data[start:start + size]
    icons = by_type.get(RT_ICON, {})
    icon_sizes = []
    for group in by_type.get(RT_GROUP_ICON, {}).values():
        for i in range(struct.unpack_from("<H", group, 4)[0]):
            icon_id = struct.unpack_from("<H", group, 6 + 14 * i + 12)[0]
            icon_sizes.append(image_size(icons[icon_id]))
    manifests = list(by_type.get(RT_MANIFEST, {}).values())
    versions = list(by_type.get(RT_VERSION, {}).values())
    block = by_type.get(RT_STRING, {}).get(1)
    return {
        "manifest": manifests[0].decode("utf-8") if manifests else None,
        "version": version_info(versions[0]) if versions else None,
        "icons": sorted(icon_sizes),
        "string1": string_block(block, 1) if block is not None else None,
        "exports": pe.export_count(),
    }


def png(width, height, rgb):
    def chunk(kind, body):
        crc = struct.pack(">I", zlib.crc32(kind + body))
        return struct.pack(">I", len(body)) + kind + body + crc

    raw = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def check(args):
    os.makedirs(args.work, exist_ok=True)
    picture, saver = os.path.join(args.work, "sky.png"), os.path.join(args.work, "Holiday.scr")
    with open(picture, "wb") as f:
        f.write(png(64, 48, (90, 160, 230)))
    subprocess.run([args.pack, "build", "--player", args.player, "--out", saver,
                    "--picture", picture, "--title", args.title], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([args.pack, "inspect", saver], check=True, stdout=subprocess.DEVNULL)
    with open(args.player, "rb") as f:
        player = f.read()
    with open(saver, "rb") as f:
        packed = f.read()
    found = describe(packed)
    print(json.dumps(found, ensure_ascii=False, indent=1))

    problems = []
    manifest = found["manifest"] or ""
    for needed in ("PerMonitorV2", "true/pm", "Microsoft.Windows.Common-Controls", "asInvoker",
                   "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
                   "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"):  # Windows 10 and 11
        if needed not in manifest:
            problems.append(f"the manifest lacks {needed}")
    version = found["version"] or {"fixed": None, "strings": {}}
    if version["fixed"] != args.version + ".0" * (3 - args.version.count(".")):
        problems.append(f"the fixed file version is {version['fixed']}, not {args.version}")
    for name in ("FileVersion", "ProductVersion"):
        if version["strings"].get(name) != args.version:
            problems.append(f"{name} is {version['strings'].get(name)!r}, not {args.version!r}")
    for name, value in (("ProductName", "Slidesaver"), ("OriginalFilename", "slidesaver.exe")):
        if version["strings"].get(name) != value:
            problems.append(f"{name} is {version['strings'].get(name)!r}, not {value!r}")
    if found["icons"] != [16, 32, 48, 256]:
        problems.append(f"the icons are {found['icons']}, not [16, 32, 48, 256]")
    if found["string1"] != args.title:
        problems.append(f"string 1 is {found['string1']!r}, not {args.title!r}")
    if found["exports"]:
        problems.append(f"the player exports {found['exports']} functions")
    for program in [args.player, *args.other]:
        if program != args.player:
            with open(program, "rb") as f:
                exports = Pe(f.read()).export_count()
            if exports:
                problems.append(f"{os.path.basename(program)} exports {exports} functions")
        folder = os.path.dirname(os.path.abspath(program))
        implibs = [n for n in os.listdir(folder) if n.endswith((".dll.a", ".exe.a"))]
        if implibs:
            problems.append(f"import libraries beside {program}: {', '.join(sorted(implibs))}")
    # The pack tool rewrites the string table block in place and nothing else of the player.
    start, size = next(place for (kind, name, _), place in Pe(player).resources().items()
                       if (kind, name) == (RT_STRING, 1))
    if len(packed) <= len(player) or (packed[:start], packed[start + size:len(player)]) != (
            player[:start], player[start + size:]):
        problems.append("the saver's player differs from the player outside string table block 1")
    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("file", nargs="?")
    parser.add_argument("--check", action="store_true")
    for option in ("--pack", "--player", "--version", "--title", "--work"):
        parser.add_argument(option)
    parser.add_argument("--other", action="append", default=[],
                        help="another Windows program that must export nothing (repeatable)")
    args = parser.parse_args()
    if args.check:
        if not all((args.pack, args.player, args.version, args.title, args.work)):
            parser.error("--check needs --pack, --player, --version, --title and --work")
        return check(args)
    if not args.file:
        parser.error("name a file, or --check")
    with open(args.file, "rb") as f:
        print(json.dumps(describe(f.read()), ensure_ascii=False, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
