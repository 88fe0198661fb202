#!/usr/bin/env python3
"""Inspects the built plug-in DLL with objdump, as a release check: its one
export, its imports (system DLLs only), and its resources: the About dialog
102 with its template, the version resource, and the converter under
"IDR_FILE" 125 in Korean, byte for byte the converter that was built with it;
and that it is a DLL for the MACHINE it was built for (i386: PE32, what
Winamp loads; x86-64: PE32+). Nothing here runs it, so it needs no Wine.

usage: inspect_plugin_dll.py OBJDUMP PLUGIN.dll RUZ2AVU.exe MACHINE
"""
import os
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from pe_resources import Resources, fixed_versions  # noqa: E402

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll",
    "shell32.dll", "ole32.dll", "comctl32.dll", "ntdll.dll", "ws2_32.dll",
}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def report(subject, verdict):
    """Prints the failures and the verdict on `subject`; the exit status."""
    for failure in failures:
        print("FAIL: " + failure)
    print("%s: %s" % (subject, verdict if not failures else "%d failures" % len(failures)))
    return 1 if failures else 0


# The COFF machine field and the optional header's magic of each kind.
MACHINES = {"i386": (0x14C, 0x10B, "PE32 for i386"), "x86-64": (0x8664, 0x20B, "PE32+ for x86-64")}


def check_machine(data, machine):
    want_machine, want_magic, kind = MACHINES[machine]
    at = struct.unpack_from("<I", data, 60)[0] if len(data) >= 64 else 0
    if not check(data[:2] == b"MZ" and data[at:at + 4] == b"PE\0\0" and len(data) >= at + 26, "not a PE file"):
        return
    found = struct.unpack_from("<H", data, at + 4)[0], struct.unpack_from("<H", data, at + 24)[0]
    check(found == (want_machine, want_magic), "machine %#x with magic %#x: want %s" % (found + (kind,)))


def exports(private):
    table = private.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) < 2:
        return []
    return re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", table[1].split("\n\n", 1)[0], re.M)


def imports(private):
    return [name.lower() for name in re.findall(r"DLL Name: (\S+)", private)]


def utf16_text(data, at):
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def sz_or_ordinal(data, at):
    if data[at:at + 2] == b"\xff\xff":
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    return utf16_text(data, at)


def align4(at):
    return (at + 3) & ~3


def check_dialog(template):
    style, _, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", template, 0)
    check(style == 0x80C800C0, "dialog style %#x: want popup, caption, system menu, modal frame, font" % style)
    check((cx, cy) == (191, 122), "dialog size %dx%d: want 191x122" % (cx, cy))
    at = 18
    _, at = sz_or_ordinal(template, at)  # menu
    _, at = sz_or_ordinal(template, at)  # class
    caption, at = utf16_text(template, at)
    check(caption == "About IN_VELK.DLL", "dialog caption %r" % caption)
    points = struct.unpack_from("<H", template, at)[0]
    font, at = utf16_text(template, at + 2)
    check((points, font) == (8, "MS Sans Serif"), "dialog font %d %r" % (points, font))
    want = [
        (0x0080, 1, (69, 93, 50, 14), "OK"),
        (0x0082, 0xFFFF, (20, 16, 161, 8), "Iyagi Music Song (IMS) play plugin for WinAmp."),
        (0x0082, 0xFFFF, (19, 43, 150, 8), "Using ruz2avu.exe and AdPlug :-)"),
        (0x0082, 0xFFFF, (19, 30, 36, 8), "version 1.0"),
        (0x0082, 0xFFFF, (19, 58, 169, 8), None),  # the maker's addresses
        (0x0082, 0xFFFF, (19, 69, 156, 8), None),
    ]
    check(count == len(want), "dialog has %d controls: want %d" % (count, len(want)))
    for index, (kind, ident, box, text) in enumerate(want[:count]):
        at = align4(at)
        cstyle, _, cx0, cy0, cw, ch, cid = struct.unpack_from("<IIhhhhH", template, at)
        at += 18
        cls, at = sz_or_ordinal(template, at)
        title, at = sz_or_ordinal(template, at)
        extra = struct.unpack_from("<H", template, at)[0]
        at += 2 + extra
        check(cls == kind, "control %d class %r: want %#x" % (index, cls, kind))
        check(cid == ident, "control %d id %#x: want %#x" % (index, cid, ident))
        check((cx0, cy0, cw, ch) == box, "control %d at %r: want %r" % (index, (cx0, cy0, cw, ch), box))
        if kind == 0x0080:
            check(cstyle & 0xF == 0, "control %d is not a plain push button (style %#x)" % (index, cstyle))
        if text is not None:
            check(title == text, "control %d text %r: want %r" % (index, title, text))
        else:
            check(isinstance(title, str) and title.strip(), "control %d has no contact text" % index)


def check_version(block):
    versions = fixed_versions(block)
    if check(versions is not None, "version resource has no fixed file information"):
        check(versions[0] == "1.0.2.0", "file version %s: want 1.0.2.0" % versions[0])
        check(versions[1] == "1.0.2.0", "product version %s: want 1.0.2.0" % versions[1])
    strings = block.decode("utf-16-le", errors="replace")
    for key, value in [("FileVersion", "1.0.2.0"), ("ProductVersion", "1.0.2.0"), ("InternalName", "in_velk"),
                       ("ProductName", "in_velk"), ("OriginalFilename", "in_velk.dll"),
                       ("FileDescription", "WinAmp Velk plug-in")]:
        check(re.search(re.escape(key) + r"\x00+" + re.escape(value) + r"\x00", strings) is not None,
              "version resource lacks %s = %s" % (key, value))


def main():
    tool, dll, converter, machine = sys.argv[1:5]
    resources = Resources(tool, dll)
    private = resources.private

    check_machine(resources.data, machine)

    check(exports(private) == ["winampGetInModule2"], "exports: %r, want winampGetInModule2 alone" % exports(private))
    foreign = [name for name in imports(private) if name not in SYSTEM_DLLS]
    check(not foreign, "imports DLLs that are not the system's: %s" % ", ".join(foreign))

    def resource(kind, name, language):
        found = resources.get(kind, name, language)
        check(found is not None, "no resource %r %r in language %#x (have %r)" % (kind, name, language,
                                                                                 list(resources.leaves)))
        return found

    dialog = resource(5, 102, 0x409)
    if dialog:
        check_dialog(dialog)
    version = resource(16, 1, 0x409)
    if version:
        check_version(version)
    image = resource("IDR_FILE", 125, 0x412)
    if image is not None:
        wanted = open(converter, "rb").read()
        check(image == wanted, "resource 125 (%d bytes) differs from %s (%d bytes)" % (len(image), converter, len(wanted)))

    return report(dll, "inspected, all as required")


if __name__ == "__main__":
    sys.exit(main())
