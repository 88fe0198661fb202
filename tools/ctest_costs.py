#!/usr/bin/env python3
"""Writes tools/ctest_costs.txt, the times tools/test.sh gives ctest on a
fresh machine (which has no cost data of its own), so that the longest tests
start first instead of last.

  python3 tools/ctest_costs.py build/native > tools/ctest_costs.txt

From the native (sanitizer) build's last ctest run. Each ThreadSanitizer test
gets its native time and each Windows program the sum of its cases' native
times: no measure of their own, but they keep their order among the rest.
"""
import pathlib
import subprocess
import sys

THREADED = ["playback_tests", "plugin_e2e_tests", "velk_seek_index_tests", "velk_threads_tests", "velkplay_tests"]


def cases(binary):
    out = subprocess.run([str(binary), "--gtest_list_tests"], capture_output=True, text=True, check=True).stdout
    suite, names = "", []
    for line in out.splitlines():
        if not line.startswith(" "):
            suite = line.split()[0]
        else:
            names.append(suite + line.split()[0])
    return names


def main():
    build = pathlib.Path(sys.argv[1])
    costs = {}
    for line in (build / "Testing/Temporary/CTestCostData.txt").read_text().splitlines():
        if line.startswith("---"):
            break
        name, _, cost = line.rsplit(" ", 2)
        costs[name] = float(cost)
    rows = dict(costs)
    for binary in sorted(build.glob("**/*_tests")):
        if not binary.is_file():
            continue
        program = cases(binary)
        total = sum(costs.get(c, 0.0) for c in program)
        for suite in ("win64", "win32"):
            rows[f"{suite}:{binary.name}"] = total
        if binary.name in THREADED:
            for c in program:
                rows[f"tsan:{c}"] = costs.get(c, 0.0)
    for name, cost in sorted(rows.items(), key=lambda r: -r[1]):
        print(f"{name} 1 {cost:.1f}")
    print("---")


if __name__ == "__main__":
    main()
