#!/usr/bin/env python3
"""Says whether the tests of one Windows target can run on this machine.

usage: wine_probe.py win32|win64 [--ci]

Prints one line: "run", "not-run REASON" (the target's tests are built but
not run) or "fail REASON" (under --ci only: the run must fail).

Two facts of the machine decide, asked in turn:
- the kernel: does it start a 32-bit x86 program at all? Some kernels are
  built without that, and no package can change it. The probe writes a
  tiny i686 program of its own and starts it: the exec's errno ENOEXEC is
  the kernel's refusal, whatever Wine is installed.
- Wine: can it start a program of the target (tools/wine-run.sh, which
  also sets up the target's Wine prefix once)? Where the kernel does run
  32-bit programs but Wine does not start one, Wine is missing or broken:
  tools/bootstrap.sh installs it, so under CI that fails the run rather
  than quietly dropping the release target's suite, unless the bootstrap
  could not install it (its reason is in build/deps/i386-unavailable: the
  package mirror could not give 32-bit Wine), which the line says.

VELK_PROBE_KERNEL32=cannot (or can) replaces the kernel's answer, to try
the log of the other kind of machine: for testing that path only; the line
printed says that the answer was given, not observed.
"""
import errno
import os
import struct
import subprocess
import sys
import tempfile

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KERNEL_CANNOT = "this machine's kernel cannot start 32-bit programs"

# A complete i686 Linux program, static and without libraries, so that only
# the kernel is asked: one loadable segment whose code is exit(0) through
# int 0x80.
_BASE = 0x08048000
_CODE = bytes.fromhex("b801000000" "31db" "cd80")  # mov eax, 1; xor ebx, ebx; int 0x80
_HEADERS = 52 + 32


def i686_program():
    size = _HEADERS + len(_CODE)
    ident = b"\x7fELF" + bytes([1, 1, 1]) + bytes(9)  # 32-bit, little-endian, version 1
    header = ident + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, _BASE + _HEADERS, 52, 0, 0, 52, 32, 1, 0, 0, 0)
    segment = struct.pack("<IIIIIIII", 1, 0, _BASE, _BASE, size, size, 5, 0x1000)
    return header + segment + _CODE


def kernel_refuses_i686(folder):
    """Starts the i686 program in `folder`: (refused, what happened). Only
    ENOEXEC is a refusal; anything else (a folder mounted noexec, say)
    leaves the answer to Wine's own start."""
    with tempfile.TemporaryDirectory(dir=folder, prefix="i686-probe.") as work:
        path = os.path.join(work, "exit0")
        with open(path, "wb") as out:
            out.write(i686_program())
        os.chmod(path, 0o755)
        try:
            status = subprocess.run([path], timeout=30).returncode
        except OSError as error:
            if error.errno == errno.ENOEXEC:
                return True, "the exec of an i686 program: %s" % os.strerror(error.errno)
            return False, "could not ask the kernel (%s)" % os.strerror(error.errno)
    if status != 0:
        return False, "the i686 program ended with status %d" % status
    return False, "the kernel started an i686 program"


def wine_starts(target):
    """Asks Wine to start its command interpreter for `target`: (started, its
    last words). The first start also makes the prefix, which takes a while."""
    try:
        run = subprocess.run([os.path.join(TOP, "tools", "wine-run.sh"), "cmd", "/c", "exit"],
                             env=dict(os.environ, VELK_WINE_ARCH=target), stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, errors="replace",
                             timeout=600)
    except subprocess.TimeoutExpired:
        return False, "no answer within 600 s"
    lines = run.stderr.strip().splitlines()
    return run.returncode == 0, lines[-1] if lines else "exit status %d" % run.returncode


UNINSTALLABLE = os.path.join(TOP, "build", "deps", "i386-unavailable")


def uninstallable_reason():
    """Why tools/bootstrap.sh could not install 32-bit Wine, or ""."""
    try:
        with open(UNINSTALLABLE, encoding="utf-8", errors="replace") as marker:
            return marker.read().strip() or "no reason given"
    except OSError:
        return ""


def decide(target, kernel_refuses, wine_started, ci, seen="", uninstallable=""):
    """The verdict on `target`'s tests from what was observed, `seen`
    telling how, and why 32-bit Wine could not be installed (`uninstallable`,
    "" when it was): ("run", ""), ("not-run", reason) or ("fail", reason)."""
    seen = " (%s)" % seen if seen else ""
    if target == "win32" and kernel_refuses:
        return "not-run", KERNEL_CANNOT + seen
    if wine_started:
        return "run", ""
    if target == "win32" and uninstallable:
        return "not-run", "32-bit Wine could not be installed on this machine: " + uninstallable
    wine = "32-bit Wine" if target == "win32" else "wine64"
    reason = "%s is missing or broken: it cannot start a %s program%s" % (wine, target, seen)
    if target == "win32":
        reason += ", although this machine's kernel starts 32-bit programs"
    if ci:
        return "fail", reason + "; CI runs every suite, and tools/bootstrap.sh installs Wine"
    return "not-run", reason


def main(argv):
    if len(argv) < 2 or argv[1] not in ("win32", "win64") or set(argv[2:]) - {"--ci"}:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    target, ci = argv[1], "--ci" in argv[2:]
    refuses, seen = False, ""
    if target == "win32":
        told = os.environ.get("VELK_PROBE_KERNEL32", "")
        if told not in ("", "can", "cannot"):
            print("wine_probe.py: VELK_PROBE_KERNEL32 is can or cannot, not %s" % told, file=sys.stderr)
            return 2
        if told:
            refuses, seen = told == "cannot", "a dry run: VELK_PROBE_KERNEL32=%s" % told
        else:
            build = os.path.join(TOP, "build")
            os.makedirs(build, exist_ok=True)
            refuses, seen = kernel_refuses_i686(build)
    started, said = (False, "") if refuses else wine_starts(target)
    verdict, reason = decide(target, refuses, started, ci, seen if refuses else said, uninstallable_reason())
    print(verdict + (" " + reason if reason else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
