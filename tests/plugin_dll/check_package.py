#!/usr/bin/env python3
"""Checks the release package that tools/package.sh wrote: its DLL is byte
for byte the plug-in that was built and inspected, its text files are there
and filled in, the version in its name is the DLL's version resource, and
the source archive it names lies beside it. The DLL is the i386 one (PE32),
as the package's name says.

usage: check_package.py OBJDUMP PLUGIN.dll PACKAGE.zip
"""
import os
import re
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from pe_resources import file_version  # noqa: E402
from inspect_plugin_dll import check, check_machine, report  # noqa: E402

TEXTS = ["README.txt", "LICENSE.txt", "licenses/AdPlug-COPYING.txt", "licenses/libbinio-COPYING.txt"]


def main():
    tool, dll, package = sys.argv[1:4]
    named = re.fullmatch(r"velk-(\d+\.\d+\.\d+\.\d+)-winamp-x86\.zip", os.path.basename(package))
    resource = file_version(tool, dll)
    if check(named, "package name %s is not velk-<a.b.c.d>-winamp-x86.zip" % os.path.basename(package)):
        check(named.group(1) == resource, "version %s in the name, %s in the DLL" % (named.group(1), resource))
    version = named.group(1) if named else resource

    with zipfile.ZipFile(package) as archive:
        names = archive.namelist()
        check(sorted(names) == sorted(["in_velk.dll"] + TEXTS), "entries %r" % names)
        if "in_velk.dll" in names:
            packed = archive.read("in_velk.dll")
            check(packed == open(dll, "rb").read(), "the packed DLL differs from %s" % dll)
            check_machine(packed, "i386")
        texts = {name: archive.read(name).decode("utf-8", errors="replace") for name in TEXTS if name in names}
    for name, content in texts.items():
        check(len(content) > 1000, "%s is nearly empty" % name)
        check("\n" not in content.replace("\r\n", ""), "%s has lines that Notepad would run together" % name)
    for name in TEXTS[1:]:
        check("GNU LESSER GENERAL PUBLIC LICENSE" in texts.get(name, "") and "Version 2.1" in texts.get(name, ""),
              "%s is not the LGPL 2.1" % name)
    readme = texts.get("README.txt", "")
    check("@" not in re.sub(r"\S+@\S+", "", readme), "README.txt has a placeholder left")
    source = "velk-%s-source.tar.gz" % version
    check(("Velk %s" % version) in readme and source in readme, "README.txt lacks the version or %s" % source)
    for words in ["Plugins", "SONG.BNK", "STANDARD.BNK", "ruz2avu.exe", "$$.ims", "$$.rol", "Uninstall",
                  "version 2.1 or (at your option) any later version"]:
        check(words in readme, "README.txt does not say %r" % words)
    check(os.path.isfile(os.path.join(os.path.dirname(package), source)), "%s is not beside the package" % source)

    return report(package, "checked, all as required")


if __name__ == "__main__":
    sys.exit(main())
