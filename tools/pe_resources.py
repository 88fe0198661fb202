#!/usr/bin/env python3
"""Reads the resources of a Windows DLL through objdump: the walk of its
resource directory, and the version in its version resource.

usage: pe_resources.py OBJDUMP FILE.dll   (prints the file version, a.b.c.d)
"""
import re
import struct
import subprocess
import sys


def objdump(tool, *args):
    return subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout


def resource_leaves(private):
    """(type, name, language) -> (rva, size), from objdump's walk of .rsrc."""
    section = private.split("The .rsrc Resource Directory section:", 1)
    if len(section) < 2:
        return {}
    leaves, path = {}, [None, None, None]
    for line in section[1].splitlines():
        entry = re.match(r"^[0-9a-f]{3}(\s+)Entry: (?:name: \[[^\]]*\]: ([^,\s]+)|ID: (0x[0-9a-f]+))", line)
        if entry:
            depth = (len(entry.group(1)) - 3) // 2  # types, names and languages nest by two blanks
            if 0 <= depth <= 2:
                path[depth] = entry.group(2) or int(entry.group(3), 16)
                for deeper in range(depth + 1, 3):
                    path[deeper] = None
            continue
        leaf = re.search(r"Leaf: Addr: (0x[0-9a-f]+), Size: (0x[0-9a-f]+)", line)
        if leaf:
            leaves[tuple(path)] = (int(leaf.group(1), 16), int(leaf.group(2), 16))
    return leaves


def image_base(private):
    return int(re.search(r"^ImageBase\s+([0-9a-f]+)", private, re.M).group(1), 16)


def file_offset(headers, address):
    """Maps an address in the loaded image to its offset in the file, through
    objdump's section table."""
    for match in re.finditer(r"^\s*\d+\s+(\S+)\s+([0-9a-f]+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)", headers, re.M):
        size, vma, offset = (int(match.group(i), 16) for i in (2, 3, 4))
        if vma <= address < vma + size:
            return offset + address - vma
    return None


class Resources:
    """The resources of one DLL, looked up by (type, name, language)."""

    def __init__(self, tool, dll):
        self.private = objdump(tool, "-p", dll)
        self.headers = objdump(tool, "-h", dll)
        self.data = open(dll, "rb").read()
        self.leaves = resource_leaves(self.private)
        self.base = image_base(self.private)

    def get(self, kind, name, language):
        """The resource's bytes; None when it is missing or lies outside the sections."""
        where = self.leaves.get((kind, name, language))
        if where is None:
            return None
        rva, size = where
        offset = file_offset(self.headers, self.base + rva)
        return None if offset is None else self.data[offset:offset + size]


def fixed_versions(block):
    """(file version, product version) as "a.b.c.d" from a version resource's
    fixed file information, or None when it has none."""
    fixed = block.find(struct.pack("<I", 0xFEEF04BD))
    if fixed < 0:
        return None
    ms, ls, pms, pls = struct.unpack_from("<IIII", block, fixed + 8)
    dotted = lambda high, low: "%d.%d.%d.%d" % (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)
    return dotted(ms, ls), dotted(pms, pls)


def file_version(tool, dll):
    """The DLL's file version, "a.b.c.d", or None without a version resource."""
    resources = Resources(tool, dll)
    version = next((resources.get(16, 1, language) for (kind, name, language) in resources.leaves
                    if (kind, name) == (16, 1)), None)
    versions = fixed_versions(version) if version else None
    return versions[0] if versions else None


if __name__ == "__main__":
    found = file_version(sys.argv[1], sys.argv[2])
    if not found:
        sys.exit("%s has no version resource" % sys.argv[2])
    print(found)
