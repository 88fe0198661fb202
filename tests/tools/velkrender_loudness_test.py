#!/usr/bin/env python3
"""velkrender's ReplayGain tags, --normalize and --loudness against Debian's
loudgain on the same files (within 0.1 dB), and its refusals: a .vgm with
--stems, and outputs cut by a full disk, which must leave no file.

usage: velkrender_loudness_test.py VELKRENDER DEFAULT_SONGS_DIR
"""
import math
import os
import pathlib
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import wave
import array

failures = []
SONGS = ["AMG0018.IMS", "go-_-go.ims"]


def check(condition, message):
    if not condition:
        failures.append(message)


def db(amplitude):
    return 20 * math.log10(amplitude)


def tags_of(path):
    """The Vorbis comments of a FLAC or Ogg file, upper-cased names."""
    if path.suffix == ".flac":
        text = subprocess.run(["metaflac", "--export-tags-to=-", str(path)], capture_output=True, text=True,
                              check=True).stdout
    else:
        text = subprocess.run(["vorbiscomment", "-l", str(path)], capture_output=True, text=True, check=True).stdout
    tags = {}
    for line in text.splitlines():
        name, _, value = line.partition("=")
        tags[name.upper()] = value
    return tags


def number(text):
    return float(text.split()[0])


def loudgain_tags(files, album):
    """loudgain's own tags, written into copies of `files`."""
    copies = []
    for f in files:
        copy = f.with_name("lg-" + f.name)
        shutil.copy(f, copy)
        copies.append(copy)
    subprocess.run(["loudgain", "-s", "e"] + (["-a"] if album else []) + [str(c) for c in copies],
                   capture_output=True, check=True)
    return [tags_of(c) for c in copies]


def expect_same(ours, theirs, name, what):
    for tag in what:
        if tag not in ours or tag not in theirs:
            check(False, f"{name}: {tag} missing (ours {tag in ours}, loudgain's {tag in theirs})")
            continue
        a, b = number(ours[tag]), number(theirs[tag])
        if tag.endswith("PEAK"):
            a, b = db(a), db(b)
        check(abs(a - b) <= 0.1, f"{name}: {tag} {ours[tag]} against loudgain's {theirs[tag]}")


def loudgain_loudness(path):
    out = subprocess.run(["loudgain", "-O", "-s", "s", str(path)], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        fields = line.split("\t")
        if fields[0] == str(path):
            return float(fields[1].split()[0])
    raise RuntimeError("loudgain did not scan " + str(path))


def largest_sample(path):
    with wave.open(str(path)) as w:
        samples = array.array("h", w.readframes(w.getnframes()))
    return max(abs(s) for s in samples)


def run(velkrender, *args, limit=None, emulator="woody"):
    def small_files():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    # woody: the tags' arithmetic is the same on every emulator, and Nuked
    # takes three times as long under the sanitizers. VGM files take none.
    chosen = ["--emu", emulator] if emulator else []
    return subprocess.run([velkrender, *chosen, *args], capture_output=True, text=True,
                          preexec_fn=small_files if limit else None)


def main():
    velkrender, default_songs = sys.argv[1], sys.argv[2]
    songs_dir = pathlib.Path(os.environ.get("VELK_SONGS_DIR", default_songs))
    for tool in ("loudgain", "metaflac", "vorbiscomment"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing (tools/bootstrap.sh installs loudgain, flac and vorbis-tools)")
    songs = [songs_dir / s for s in SONGS]
    if not all(s.exists() for s in songs):
        if os.environ.get("CI"):
            sys.exit(f"the real songs are missing from {songs_dir}")
        print(f"real songs not found in {songs_dir}; skipping")
        sys.exit(77)
    with tempfile.TemporaryDirectory() as temp:
        temp = pathlib.Path(temp)
        # A batch: track and album tags, as loudgain -a tags the same files.
        result = run(velkrender, "--format", "flac", "--out-dir", str(temp / "album"), *map(str, songs))
        check(result.returncode == 0, "batch: " + result.stderr)
        flacs = sorted((temp / "album").glob("*.flac"))
        check(len(flacs) == 2, f"batch: {flacs}")
        theirs = loudgain_tags(flacs, album=True)
        for f, t in zip(flacs, theirs):
            ours = tags_of(f)
            expect_same(ours, t, f.name, ["REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_ALBUM_GAIN",
                                          "REPLAYGAIN_ALBUM_PEAK"])
            check(ours.get("REPLAYGAIN_REFERENCE_LOUDNESS") == "-18.00 LUFS", f"{f.name}: {ours}")
            check(ours.get("TITLE"), f"{f.name}: the title tag is kept: {ours}")
            check(ours["REPLAYGAIN_TRACK_GAIN"].endswith(" dB"), f"{f.name}: {ours['REPLAYGAIN_TRACK_GAIN']}")

        # One Ogg song, with a control: a track gain, no album.
        ogg = temp / "one.ogg"
        # Nuked: on woody's render the Vorbis coding moved loudgain's reading
        # of the decoded file 0.13 dB from the render's.
        result = run(velkrender, "--gain", "1=-6", str(songs[0]), "-o", str(ogg), emulator="nuked")
        check(result.returncode == 0, "ogg: " + result.stderr)
        ours = tags_of(ogg)
        theirs = loudgain_tags([ogg], album=False)[0]
        expect_same(ours, theirs, "one.ogg", ["REPLAYGAIN_TRACK_GAIN"])
        # loudgain reads the peaks of the decoded Vorbis, which the lossy
        # coding moves a little; ours are the render's.
        check(abs(db(number(ours["REPLAYGAIN_TRACK_PEAK"])) - db(number(theirs["REPLAYGAIN_TRACK_PEAK"]))) < 0.5,
              f"one.ogg: peak {ours} against {theirs}")
        check("REPLAYGAIN_ALBUM_GAIN" not in ours, f"one song has no album: {ours}")

        # --loudness: a table, the album's row last; no file written.
        result = run(velkrender, "--loudness", *map(str, songs))
        rows = [line.split() for line in result.stdout.splitlines()]
        check(result.returncode == 0 and rows[-2][-1] == "(album)", "--loudness: " + result.stdout + result.stderr)
        album_gain = number(tags_of(flacs[0])["REPLAYGAIN_ALBUM_GAIN"])
        check(abs(float(rows[-2][3]) - album_gain) < 0.006, f"--loudness album gain {rows[-2]} against {album_gain}")

        # --normalize: at -18 LUFS by loudgain, or held below clipping by the
        # peak, as the note says.
        for name, extra in (("quiet", ["--gain", "1-11=-9"]),):
            wav = temp / f"{name}.wav"
            result = run(velkrender, "--normalize", *extra, str(songs[0]), "-o", str(wav))
            check(result.returncode == 0, f"normalize {name}: " + result.stderr)
            lufs, largest = loudgain_loudness(wav), largest_sample(wav)
            if "short" in result.stderr:
                check(largest >= 32700 and lufs < -18.0, f"normalize {name}: held at {lufs} LUFS, peak {largest}")
            else:
                check(abs(lufs + 18.0) <= 0.1 and largest <= 32767, f"normalize {name}: {lufs} LUFS")
            print(f"normalize {name}: {lufs:.2f} LUFS, largest sample {largest}; {result.stderr.strip()}")

        # Refusals and cut files.
        result = run(velkrender, "--stems", "--format", "vgm", str(songs[0]), "--out-dir", str(temp / "stems"), emulator=None)
        check(result.returncode == 2 and "VGM" in result.stderr, "--stems with VGM: " + result.stderr)
        for name in ("cut.flac", "cut.vgm", "cut.wav"):
            out = temp / name
            result = run(velkrender, str(songs[0]), "-o", str(out), limit=20000,
                         emulator=None if out.suffix == ".vgm" else "woody")
            check(result.returncode == 1 and not out.exists(),
                  f"{name} on a full disk: status {result.returncode}, left {out.exists()}: {result.stderr}")
    for failure in failures:
        print("FAIL:", failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
