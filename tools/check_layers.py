#!/usr/bin/env python3
"""Fails when a folder of the plug-in includes a header of a folder above it.

The folders stack from the platform edge up to the module the host loads
and, beside it, the song player library; each may include headers of its
own folder and of the folders below it.
The programs and checks around the plug-in (host, tools, tests, bench) sit
on top and may include any of it. The host wrappers of the library
(gstreamer) sit on top too, but see the library only through its public
header, as any other program would: they may include nothing else of the
project but their own headers.

usage: check_layers.py [SOURCE_DIR]
"""
import pathlib
import re
import sys

# Bottom first. Folders on one line share a level and include none of each
# other.
LAYERS = [
    ["platform"],
    ["common", "resources"],
    ["rol", "lyrics"],
    ["converter"],
    ["imsplayer"],
    ["playback"],
    ["module", "libvelk"],
]
LEVEL = {folder: level for level, folders in enumerate(LAYERS) for folder in folders}
# Wrapper folder: the headers (or folders) of the project it may include.
WRAPPERS = {"gstreamer": ("gstreamer/", "libvelk/velk.h")}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)
WHOLE_INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCES = {".h", ".c", ".cpp", ".rc"}


def violations(top):
    for folder, level in LEVEL.items():
        for path in sorted((top / folder).rglob("*")):
            if path.suffix not in SOURCES:
                continue
            for included in INCLUDE.findall(path.read_text(errors="replace")):
                if included == folder or included not in LEVEL:
                    continue
                if LEVEL[included] >= level:
                    yield f"{path.relative_to(top)} includes a header of {included}/, which is not below {folder}/"
    for folder, allowed in WRAPPERS.items():
        for path in sorted((top / folder).rglob("*")):
            if path.suffix not in SOURCES:
                continue
            for included in WHOLE_INCLUDE.findall(path.read_text(errors="replace")):
                if "/" in included and not included.startswith(allowed):
                    yield f"{path.relative_to(top)} includes {included}: {folder}/ sees the library only through velk.h"
    for folder in LEVEL:
        for path in sorted((top / folder).rglob("*")):
            if path.suffix not in SOURCES:
                continue
            for included in INCLUDE.findall(path.read_text(errors="replace")):
                if included in WRAPPERS:
                    yield f"{path.relative_to(top)} includes a header of {included}/, which wraps the library from above"


def main():
    top = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    found = list(violations(top))
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
