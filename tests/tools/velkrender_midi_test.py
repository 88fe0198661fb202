#!/usr/bin/env python3
"""velkrender --midi on the real songs, read back with mido: every note's
key, start and end are the library's score to the MIDI tick, the tempo map
and the bends are there, and timidity plays the file.

usage: velkrender_midi_test.py VELKRENDER SCORE_JSON DEFAULT_SONGS_DIR
"""
import array
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import wave

try:
    import mido
except ImportError:
    sys.exit("python3-mido is missing (tools/bootstrap.sh installs it)")

DRUM_KEYS = {"Bass drum": 36, "Snare drum": 38, "Tom-tom": 45, "Cymbal": 49, "Hi-hat": 42}
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def notes_of(track):
    """(start, end, key, velocity, channel) of each note of a track."""
    now, held, notes = 0, {}, []
    for message in track:
        now += message.time
        if message.type == "note_on" and message.velocity > 0:
            if message.note in held:
                check(False, f"{track.name}: key {message.note} struck again at {now} while held")
                return []
            held[message.note] = (now, message.velocity, message.channel)
        elif message.type in ("note_off", "note_on") and message.note in held:
            start, velocity, channel = held.pop(message.note)
            notes.append((start, now, message.note, velocity, channel))
    check(not held, f"{track.name}: notes never ended: {held}")
    return sorted(notes)


def events_of(track, kind):
    now, found = 0, []
    for message in track:
        now += message.time
        if message.type == kind:
            found.append((now, message))
    return found


def round_trip(velkrender, score_json, song, out):
    run = subprocess.run([velkrender, "--midi", "--out-dir", out, song], capture_output=True, text=True)
    check(run.returncode == 0, f"{song}: velkrender failed: {run.stderr}")
    path = pathlib.Path(out) / (pathlib.Path(song).stem + ".mid")
    check(f"written: {path}" in run.stdout, f"{song}: does not say it wrote {path}: {run.stdout}")
    score = json.loads(subprocess.run([score_json, song], capture_output=True, text=True, check=True).stdout)
    midi = mido.MidiFile(path)
    check(midi.type == 1 and midi.ticks_per_beat == score["ticks_per_beat"], f"{song}: type or division")

    tempos = [(t, m.tempo) for t, m in events_of(midi.tracks[0], "set_tempo")]
    check(tempos == [(tick, round(60e6 / bpm)) for tick, bpm in score["tempo"]], f"{song}: the tempo map")

    names = [name for name, _ in score["voices"]]
    sounding = {voice for voice, *_ in score["notes"]}
    tracks = {}
    for track in midi.tracks[1:]:
        voice = names.index(track.name.split(" (")[0])
        tracks[voice] = track
    check(set(tracks) == sounding, f"{song}: tracks for voices {sorted(tracks)}, voices with notes {sorted(sounding)}")
    channels = set()
    compared = 0
    for voice, track in tracks.items():
        name, rhythm = score["voices"][voice]
        expected = sorted((start, end, DRUM_KEYS[name] if rhythm else key, velocity)
                          for v, key, velocity, start, end in score["notes"] if v == voice)
        got = notes_of(track)
        check([n[:4] for n in got] == expected, f"{song}: {track.name}: notes differ from the score "
              f"(first: {next(((a, b) for a, b in zip(got, expected) if a[:4] != b), 'none, but not as many')})")
        compared += len(got)
        voice_channels = {n[4] for n in got}
        check(voice_channels == ({9} if rhythm else voice_channels - {9}) and len(voice_channels) == 1,
              f"{song}: {track.name}: channels {voice_channels}")
        if not rhythm:
            channels |= voice_channels
            rpn = [(m.control, m.value) for t, m in events_of(track, "control_change") if t == 0]
            check(rpn[:4] == [(101, 0), (100, 0), (6, 1), (38, 0)], f"{song}: {track.name}: bend range {rpn}")
            bends = [(t, m.pitch) for t, m in events_of(track, "pitchwheel")]
            wanted = [(tick, max(-8192, min(8191, round(semitones * 8192))))
                      for v, tick, semitones in score["pitch"] if v == voice]
            check(bends == wanted, f"{song}: {track.name}: {len(bends)} bends, the score has {len(wanted)}")
    check(len(channels) == len([v for v in tracks if not score["voices"][v][1]]), f"{song}: melodic channels shared")
    check(compared == len(score["notes"]), f"{song}: {compared} notes of {len(score['notes'])}")
    print(f"{pathlib.Path(song).name}: {compared} notes, {len(tempos)} tempos, "
          f"{len(score['pitch'])} bends, {len(tracks)} tracks: as the score")
    return path, midi.length


def timidity_plays(path, seconds, out):
    wav = pathlib.Path(out) / "timidity.wav"
    try:
        run = subprocess.run(["timidity", "-Ow", "-o", str(wav), str(path)], capture_output=True, text=True)
    except FileNotFoundError:
        check(False, "timidity is missing (tools/bootstrap.sh installs it)")
        return
    check(run.returncode == 0 and wav.exists(), f"timidity failed: {run.stdout}{run.stderr}")
    if not wav.exists():
        return
    with wave.open(str(wav)) as w:
        samples = array.array("h", w.readframes(w.getnframes()))
        length = w.getnframes() / w.getframerate()
    peak = max(map(abs, samples), default=0)
    check(peak > 3000, f"timidity's render is silent (peak {peak})")
    check(abs(length - seconds) < 5, f"timidity plays {length:.1f} s, the MIDI file lasts {seconds:.1f} s")
    print(f"timidity: {length:.1f} s, peak {peak}")


def main():
    velkrender, score_json, default_songs = sys.argv[1:4]
    songs = pathlib.Path(os.environ.get("VELK_SONGS_DIR") or default_songs)
    wanted = [songs / "AMG0018.IMS", songs / "go-_-go.ims"]
    missing = [str(s) for s in wanted if not s.is_file()]
    if missing:
        ci = os.environ.get("CI", "")
        print(f"real songs missing: {', '.join(missing)}; " + ("failing under CI" if ci not in ("", "false", "0")
                                                                 else "skipping"))
        return 1 if ci not in ("", "false", "0") else 77
    with tempfile.TemporaryDirectory() as out:
        for song in wanted:
            path, seconds = round_trip(velkrender, score_json, str(song), out)
        timidity_plays(path, seconds, out)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


sys.exit(main())
