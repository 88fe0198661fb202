#!/usr/bin/env python3
"""Compares the functions libvelk.so exports with those velk.h declares.

Prints each declared function the library lacks and each exported symbol
the header does not declare; fails when there is either.

usage: check_symbols.py velk.h libvelk.so
"""
import re
import subprocess
import sys


def declared(header):
    text = open(header, encoding="utf-8").read()
    return set(re.findall(r"^VELK_API\b[^;(]*?\b(velk_\w+)\s*\(", text, re.M))


def exported(library):
    out = subprocess.run(["nm", "-D", "--defined-only", library], check=True, capture_output=True, text=True).stdout
    return {line.split()[-1].split("@")[0] for line in out.splitlines() if line.split()}


def main():
    header, library = sys.argv[1], sys.argv[2]
    want, have = declared(header), exported(library)
    missing, extra = sorted(want - have), sorted(have - want)
    for name in missing:
        print(f"declared in velk.h but not exported: {name}")
    for name in extra:
        print(f"exported but not declared in velk.h: {name}")
    if not missing and not extra:
        print(f"{len(want)} functions, exported as declared")
    return 1 if missing or extra else 0


if __name__ == "__main__":
    sys.exit(main())
