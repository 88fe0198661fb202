#!/usr/bin/env python3
"""The test command's probe of the Windows targets: its verdict for each
kind of machine, and that its own i686 program gets the kernel's answer."""
import errno
import os
import subprocess
import sys
import tempfile
import unittest

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
sys.path.insert(0, TOOLS)
import wine_probe  # noqa: E402

DEBIAN_I386_PROGRAM = "/usr/lib/wine/wine"  # the 32-bit Wine loader, an i386 ELF


class Verdict(unittest.TestCase):
    def test_a_kernel_without_32_bit_programs_builds_the_i686_suite_without_running_it_even_under_ci(self):
        for ci in (False, True):
            for wine_started in (False, True):
                verdict, reason = wine_probe.decide("win32", True, wine_started, ci, "Exec format error")
                self.assertEqual(verdict, "not-run", (ci, wine_started))
                self.assertIn("kernel cannot start 32-bit programs", reason)
                self.assertIn("Exec format error", reason)

    def test_wine_that_starts_a_program_runs_the_suite(self):
        for target in ("win32", "win64"):
            for ci in (False, True):
                self.assertEqual(wine_probe.decide(target, False, True, ci), ("run", ""))

    def test_broken_wine_on_a_kernel_that_can_fails_under_ci_and_is_noticed_elsewhere(self):
        for target, wine in (("win32", "32-bit Wine"), ("win64", "wine64")):
            verdict, reason = wine_probe.decide(target, False, False, True, "no loader")
            self.assertEqual(verdict, "fail", target)
            self.assertIn(wine + " is missing or broken", reason)
            self.assertIn("no loader", reason)
            verdict, reason = wine_probe.decide(target, False, False, False)
            self.assertEqual(verdict, "not-run", target)
            self.assertIn(wine + " is missing or broken", reason)


    def test_wine32_the_bootstrap_could_not_install_is_said_not_failed(self):
        # A mirror without one architecture's updates is no fault of the tree.
        for ci in (False, True):
            verdict, reason = wine_probe.decide("win32", False, False, ci, "no loader", "apt-get could not install")
            self.assertEqual(verdict, "not-run", ci)
            self.assertIn("32-bit Wine could not be installed", reason)
            self.assertIn("apt-get could not install", reason)
        self.assertEqual(wine_probe.decide("win64", False, False, True, "", "apt-get could not install")[0], "fail")


class KernelAnswer(unittest.TestCase):
    def test_the_probe_program_is_answered_as_debians_i386_programs_are(self):
        # A malformed probe program would be refused everywhere, and would
        # silently drop the i686 suite on every machine.
        try:
            subprocess.run([DEBIAN_I386_PROGRAM, "--version"], capture_output=True, timeout=60)
            debian_refused = False
        except OSError as error:
            if error.errno != errno.ENOEXEC:
                self.skipTest("%s cannot be started (%s)" % (DEBIAN_I386_PROGRAM, error.strerror))
            debian_refused = True
        with tempfile.TemporaryDirectory() as folder:
            refused, seen = wine_probe.kernel_refuses_i686(folder)
        self.assertEqual(refused, debian_refused, seen)

    def test_an_exec_format_error_is_the_kernels_refusal(self):
        program = bytearray(wine_probe.i686_program())
        program[18] = 0x3E  # x86-64 in a 32-bit file: every kernel refuses it
        real = wine_probe.i686_program
        wine_probe.i686_program = lambda: bytes(program)
        try:
            with tempfile.TemporaryDirectory() as folder:
                self.assertEqual(wine_probe.kernel_refuses_i686(folder),
                                 (True, "the exec of an i686 program: Exec format error"))
        finally:
            wine_probe.i686_program = real

    def test_a_dry_run_says_it_was_told_and_starts_no_wine(self):
        with tempfile.TemporaryDirectory() as folder:
            prefix = os.path.join(folder, "prefix")
            run = subprocess.run([sys.executable, os.path.join(TOOLS, "wine_probe.py"), "win32", "--ci"],
                                 env=dict(os.environ, VELK_PROBE_KERNEL32="cannot", VELK_WINEPREFIX32=prefix),
                                 capture_output=True, text=True, timeout=60)
            self.assertEqual((run.returncode, run.stdout), (0, "not-run this machine's kernel cannot start 32-bit "
                                                               "programs (a dry run: VELK_PROBE_KERNEL32=cannot)\n"))
            self.assertFalse(os.path.exists(prefix))


if __name__ == "__main__":
    unittest.main(verbosity=2)
