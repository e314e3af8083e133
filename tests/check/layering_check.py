#!/usr/bin/env python3
"""python3 layering_check.py ROOT [--plant FILE:TEXT ...]: every #include under ROOT points down the
layer table below, and only the OS back ends, tools, benchmarks and tests include system or toolkit
headers. --plant appends TEXT as one more line of FILE in memory (the tree is not touched)."""

import argparse
import os
import re
import sys

# Folder -> the folders it may include besides itself. "*" is every folder, "-x" takes x away again.
MAY_INCLUDE = {
    # errors, geometry, integer helpers, the random generator: nothing of ours below it
    "base": [],
    # bitmaps, regions, canvas, pixel conversion and resampling, JPEG decoding
    "graphics": ["base"],
    # files, run folders, replacement files, instance lock, termination, saver services
    "system": ["base"],
    # the application framework: forms, controls, timers, message box, media player
    "ui": ["base", "graphics", "system"],
    # the Linux back end: SDL2 windows, X11 host windows, FreeType text, POSIX files
    "os/linux": ["base", "graphics", "system", "ui"],
    # the Windows back end: Win32 windows, GDI text, registry, MCI sound
    "os/windows": ["base", "graphics", "system", "ui"],
    # the payload format: trailer, component streams, records, builder
    "payload": ["base", "graphics", "system"],
    # the transition view, its frame composition and the style table
    "transition": ["base", "graphics", "ui"],
    # the settings file and the setup dialog
    "setup": ["base", "graphics", "system", "ui", "payload", "transition"],
    # the saver window, slideshow scheduler and music
    "saver": ["base", "graphics", "system", "ui", "payload", "transition", "setup"],
    # the player program: arguments, run modes, start-up, preview
    "app": ["base", "graphics", "system", "ui", "payload", "transition", "setup", "saver"],
    # the pack and render tools and the media generator
    "tools": ["base", "graphics", "system", "ui", "payload", "transition", "setup", "saver"],
    # benchmarks: anything but the player program and the operating systems' own code
    "bench": ["*", "-app", "-os/linux", "-os/windows"],
    # unit, end-to-end and fuzz tests
    "tests": ["*"],
}

# Folders that may include system and toolkit headers.
SYSTEM_HEADERS_ALLOWED_IN = {"os/linux", "os/windows", "tools", "bench", "tests"}

# System and toolkit headers kept out of every other folder (matched whole, ignoring case).
DENIED_HEADERS = [
    r"SDL\.h|SDL2/.*|SDL_.*\.h",  # SDL
    r"X11/.*",  # X11
    r"wayland-.*\.h|xkbcommon/.*",  # Wayland
    r"win.*\.h|mmsystem\.h|shellapi\.h|shlobj\.h|commctrl\.h|objbase\.h|dwmapi\.h|shlwapi\.h"
    r"|knownfolders\.h|io\.h|direct\.h|process\.h",  # Windows SDK and CRT
    r"unistd\.h|fcntl\.h|sys/.*|pthread\.h|dirent\.h|dlfcn\.h|poll\.h|pwd\.h|signal\.h"
    r"|termios\.h|spawn\.h|sched\.h|syslog\.h|linux/.*",  # POSIX and Linux
    r"fontconfig/.*|ft2build\.h|freetype/.*|gtk/.*|glib\.h|vips/.*",  # fonts, desktop toolkits
]
DENIED = re.compile("|".join(f"(?:{p})" for p in DENIED_HEADERS), re.IGNORECASE)

SOURCES = (".h", ".hpp", ".cpp", ".cc", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s*(?:"([^"]+)"|<([^>]+)>)')
# Strings stay (an include path is one); comments become as many newlines as they held.
LEXEME = re.compile(r'"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'|//[^\n]*|/\*.*?\*/', re.S)


def allowed(folder):
    names = set()
    for entry in MAY_INCLUDE[folder]:
        if entry == "*":
            names |= set(MAY_INCLUDE)
        elif entry.startswith("-"):
            names.discard(entry[1:])
        else:
            names.add(entry)
    return names | {folder}


def folder_of(path):
    parts = path.split("/")
    if len(parts) < 2:
        return ""
    return "/".join(parts[:2]) if parts[0] == "os" and len(parts) > 2 else parts[0]


def strip_comments(text):
    return LEXEME.sub(lambda m: "\n" * m[0].count("\n") if m[0][0] == "/" else m[0], text)


def sources(root):
    for top, dirs, files in os.walk(root):
        at_root = os.path.samefile(top, root)
        dirs[:] = sorted(d for d in dirs if d != ".git" and not (at_root and d.startswith("build")))
        for name in sorted(files):
            if name.endswith(SOURCES):
                yield os.path.relpath(os.path.join(top, name), root).replace(os.sep, "/")


def target_folder(root, rel, path):
    """The folder a quoted include lands in, searched as the compiler does: next to the file, then
    from ROOT. None when it is neither."""
    beside = os.path.normpath(os.path.join(os.path.dirname(rel), path)).replace(os.sep, "/")
    if os.path.isfile(os.path.join(root, beside)):
        return folder_of(beside) if not beside.startswith("../") else None
    folder = folder_of(os.path.normpath(path).replace(os.sep, "/"))
    return folder if folder in MAY_INCLUDE else None


def check(root, plants):
    problems, unknown_folders, includes, files = [], set(), 0, 0
    for rel in sources(root):
        folder = folder_of(rel)
        if folder not in MAY_INCLUDE:
            if folder not in unknown_folders:
                unknown_folders.add(folder)
                where = f"folder {folder}/" if folder else "the top folder"
                problems.append((rel, 0, f"{rel}: {where} holds C/C++ sources but has no row in "
                                         "MAY_INCLUDE of tests/check/layering_check.py"))
            continue
        with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
            lines = f.read().splitlines()
        lines += plants.pop(rel, [])
        files += 1
        may = allowed(folder)
        for number, line in enumerate(strip_comments("\n".join(lines)).split("\n"), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            includes += 1
            quoted, angled = match.groups()
            where = f"{rel}:{number}:"
            if angled is not None:
                if folder not in SYSTEM_HEADERS_ALLOWED_IN and DENIED.fullmatch(angled.strip()):
                    problems.append((rel, number, f"{where} system header <{angled}> outside os/, "
                                                  "tools/, bench/ and tests/"))
                continue
            target = target_folder(root, rel, quoted)
            if target is None:
                problems.append((rel, number, f'{where} unknown include "{quoted}" (no known '
                                              "folder, and no such file next to it)"))
            elif target not in may:
                listed = ", ".join(sorted(may, key=list(MAY_INCLUDE).index))
                problems.append((rel, number, f'{where} {folder} may not include "{quoted}" '
                                              f"({folder} may include: {listed})"))
    for rel in plants:
        problems.append((rel, 0, f"{rel}: --plant names a file that is not a checked source"))
    return sorted(problems), includes, files


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("root")
    parser.add_argument("--plant", action="append", default=[], metavar="FILE:TEXT")
    args = parser.parse_args()
    plants = {}
    for plant in args.plant:
        name, sep, text = plant.partition(":")
        if not sep:
            parser.error(f"--plant {plant!r} is not FILE:TEXT")
        plants.setdefault(name, []).append(text)
    problems, includes, files = check(args.root, plants)
    for _, _, message in problems:
        print(message)
    if problems:
        return 1
    print(f"layering_check: {includes} includes in {files} files, all pointing down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
