#!/usr/bin/env python3
"""Runs the README's command blocks as a reader would, from the repository's
top folder, and fails on the first one that fails.

Every code block carries a marker, an HTML comment on the lines above it
(invisible once the Markdown is rendered):

  <!-- runnable -->               quick: run on every check (tools/test.sh)
  <!-- runnable: slow -->         run with --slow (builds, plays whole songs,
                                  installs under /usr/local as the README says)
  <!-- not runnable: REASON -->   shown, never run (a synopsis, a system change)
  <!-- file: PATH -->             the block is the file PATH, byte for byte

A block without a marker fails the check, so a new block is never skipped
unseen. Paths of the source tree that the README names (`tools/x.sh`,
`examples/`) must exist, and with --slow, once every block has run, the
paths under build/demo-native/ too. The blocks run in bash with -e and pipefail, and
with SDL_AUDIODRIVER=dummy, so that velkplay needs no sound device. A
block fails when it exits with an error, or prints a line that starts with
"ERROR " (as gst-play-1.0 does, exiting 0).

usage: check_readme.py [--slow] [--list] [README]
"""
import os
import re
import subprocess
import sys
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MARKER = re.compile(r"^<!--\s*(runnable(?::\s*slow)?|not runnable:\s*.+?|file:\s*\S+)\s*-->\s*$")
# Folders of the source tree; a path in backticks under one of them must exist.
SOURCE_FOLDERS = ("bench", "cmake", "common", "converter", "demo", "examples", "fuzz", "gstreamer", "host",
                  "imsplayer", "libvelk", "lyrics", "module", "packaging", "platform", "playback", "resources",
                  "rol", "tests", "tools", "web")


def blocks(lines):
    """Yields (line number, marker or None, text) for each code block:
    fenced, or indented by four spaces after a blank line that follows a
    paragraph at the margin (not a list item's continuation) or a marker."""
    i, marker, last_text = 0, None, ""
    while i < len(lines):
        line = lines[i]
        if line.startswith("```"):
            start, body = i + 1, []
            i += 1
            while i < len(lines) and not lines[i].startswith("```"):
                body.append(lines[i])
                i += 1
            yield start, marker, "".join(l + "\n" for l in body)
            marker, last_text = None, ""
            i += 1
            continue
        if line.startswith("    ") and i > 0 and not lines[i - 1].strip() and \
                (MARKER.match(last_text) or not re.match(r"^(\s|[-*] |\d+\. )", last_text)):
            start, body = i + 1, []
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                body.append(lines[i][4:])
                i += 1
            while body and not body[-1].strip():
                body.pop()
            yield start, marker, "".join(l + "\n" for l in body)
            marker, last_text = None, ""
            continue
        if line.strip():
            m = MARKER.match(line.strip())
            marker = m.group(1) if m else None
            last_text = line
        i += 1


def missing_paths(text):
    """Source-tree paths in backticks that do not exist."""
    missing = []
    for token in re.findall(r"`([^`\s]+)`", text):
        token = token.rstrip(".,:;")
        if not token.startswith(tuple(f + "/" for f in SOURCE_FOLDERS)):
            continue
        if re.search(r"[<>*?$]|\.\.\.", token.split("/", 1)[1]):
            continue  # a pattern or a stand-in name, not a path
        if os.path.exists(os.path.join(TOP, token)):
            continue
        # What runs make, such as fuzz/corpus/, is ignored by git.
        if subprocess.run(["git", "-C", TOP, "check-ignore", "-q", token]).returncode != 0:
            missing.append(token)
    return missing


def run(start, text, log_dir):
    env = dict(os.environ, SDL_AUDIODRIVER="dummy")
    log = os.path.join(log_dir, f"block-{start}.log")
    began = time.monotonic()
    with open(log, "w") as out:
        status = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", text], cwd=TOP, env=env,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT).returncode
    if status == 0:
        # GStreamer's tools report a failed pipeline on a line of its own and
        # still exit 0.
        with open(log, errors="replace") as f:
            if any(line.startswith("ERROR ") for line in f):
                status = "0, with an ERROR line"
    return status, time.monotonic() - began, log


def main(argv):
    slow = "--slow" in argv
    listing = "--list" in argv
    args = [a for a in argv if not a.startswith("--")]
    readme = args[0] if args else os.path.join(TOP, "README.md")
    with open(readme, encoding="utf-8") as f:
        text = f.read()
    lines = text.splitlines()
    name = os.path.relpath(readme, TOP)
    failures = []

    for path in missing_paths(text):
        failures.append(f"{name}: names {path}, which is not in the source tree")

    log_dir = os.path.join(TOP, "build", "check-readme")
    os.makedirs(log_dir, exist_ok=True)
    stopped = False
    counts = {"ran": 0, "slow, not run": 0, "not runnable": 0, "files": 0}
    for start, marker, body in blocks(lines):
        where = f"{name}:{start}"
        first = body.splitlines()[0] if body.strip() else ""
        if marker is None:
            failures.append(f"{where}: a block without a marker (<!-- runnable -->, <!-- runnable: slow -->, "
                            f"<!-- not runnable: why -->): {first}")
            continue
        if marker.startswith("file:"):
            path = marker.split(":", 1)[1].strip()
            counts["files"] += 1
            try:
                same = open(os.path.join(TOP, path), encoding="utf-8").read() == body
            except OSError:
                same = False
            if not same:
                failures.append(f"{where}: the block is not {path} as it is")
            continue
        if marker.startswith("not runnable"):
            counts["not runnable"] += 1
            if listing:
                print(f"-- {where}: {marker}: {first}")
            continue
        if stopped:
            continue  # later blocks may need what the failed one makes
        if marker != "runnable" and not slow:
            counts["slow, not run"] += 1
            if listing:
                print(f"-- {where}: slow, not run: {first}")
            continue
        if listing:
            print(f"-- {where}: would run: {first}")
            continue
        print(f"-- {where}: {first}{' ...' if body.count(chr(10)) > 1 else ''}", flush=True)
        status, seconds, log = run(start, body, log_dir)
        counts["ran"] += 1
        if status != 0:
            with open(log, errors="replace") as f:
                tail = f.read().splitlines()[-15:]
            failures.append(f"{where}: exit status {status} after {seconds:.0f} s (log {os.path.relpath(log, TOP)}):\n"
                            + "".join(f"     {l}\n" for l in body.splitlines())
                            + "   said:\n" + "".join(f"     {l}\n" for l in tail))
            stopped = True

    if slow and not stopped:
        # What the blocks built is there where the README says it is.
        for token in sorted(set(re.findall(r"`(build/demo-native/[^`\s]+)`", text))):
            if not os.path.exists(os.path.join(TOP, token)):
                failures.append(f"{name}: names {token}, which the blocks above did not make")
    print("README check: " + ", ".join(f"{n} {what}" for what, n in counts.items()) + " blocks")
    for failure in failures:
        print(f"FAILED: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
