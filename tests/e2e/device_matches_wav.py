#!/usr/bin/env python3
"""Checks that what a sound device consumed (the raw file of SDL's disk audio
driver) is the audio of a WAV file, to within its last block.

The device plays silence whenever it finds no audio queued: before the song,
after it, and wherever a busy machine held the render thread up for longer
than the queue lasts. Such a gap is a hiccup a listener hears, not a wrong
sample, and the disk driver runs faster than real time, so gaps come with
load. What must hold is that the sound is the song's: the frames that are
not silent are, in order, those of the WAV, none missing, none added.

usage: device_matches_wav.py DEVICE.raw SONG.wav
"""
import struct
import sys

BLOCK_FRAMES = 576  # the plug-in's block


def wav_audio(path):
    data = open(path, "rb").read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit(f"{path} is not a WAV file")
    channels, = struct.unpack_from("<H", data, 22)
    bits, = struct.unpack_from("<H", data, 34)
    size, = struct.unpack_from("<I", data, 40)
    return data[44:44 + size], channels * bits // 8


def sounding(audio, frame):
    """The frames that are not silent (16-bit signed: all bytes zero), joined,
    and how many silent frames were left out."""
    silent = bytes(frame)
    kept = [audio[at:at + frame] for at in range(0, len(audio) - frame + 1, frame)
            if audio[at:at + frame] != silent]
    return b"".join(kept), len(audio) // frame - len(kept)


def main():
    device = open(sys.argv[1], "rb").read()
    audio, frame = wav_audio(sys.argv[2])
    song, song_silent = sounding(audio, frame)
    if not song:
        sys.exit("the WAV file holds no sound")
    played, device_silent = sounding(device, frame)
    if not played:
        sys.exit("the device played no sound")
    tolerance = BLOCK_FRAMES * frame
    if len(played) > len(song):
        sys.exit(f"the device played {len(played) - len(song)} bytes of sound more than the song has")
    if len(played) < len(song) - tolerance:
        sys.exit(f"the device played {len(played)} bytes of the song's {len(song)} bytes of sound")
    for at in range(0, len(played), 65536):
        if played[at:at + 65536] != song[at:at + 65536]:
            bad = next(i for i in range(at, min(at + 65536, len(played))) if played[i] != song[i])
            sys.exit(f"the device's sound differs from the WAV's at sounding frame {bad // frame} "
                     f"of {len(song) // frame}")
    print(f"device matches the WAV: {len(song) // frame} sounding frames alike; "
          f"{device_silent} silent frames on the device, {song_silent} in the song")


if __name__ == "__main__":
    main()
