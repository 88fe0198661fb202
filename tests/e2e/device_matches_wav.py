#!/usr/bin/env python3
"""Checks that what a sound device consumed (the raw file of SDL's disk audio
driver) is the audio of a WAV file: the device may play silence before the
song starts and after it ends, but in between every byte must be the WAV's,
to within its last block.

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


def main():
    device = open(sys.argv[1], "rb").read()
    audio, frame = wav_audio(sys.argv[2])
    silence = b"\x00"  # 16-bit signed audio: what the device plays when it has none
    if not audio:
        sys.exit("the WAV file holds no audio")
    # The song starts where the device's leading silence ends: at the first
    # frame that is not silent, less the silent frames the song starts with.
    lead = len(audio) - len(audio.lstrip(silence))
    first = len(device) - len(device.lstrip(silence))
    start = (first - lead) // frame * frame
    if start < 0 or first == len(device):
        sys.exit("the device played no audio of the song")
    tolerance = BLOCK_FRAMES * frame
    played = device[start:start + len(audio)]
    if len(played) < len(audio) - tolerance:
        sys.exit(f"the device played {len(played)} bytes of the song's {len(audio)}")
    compared = min(len(played), len(audio))
    for at in range(0, compared, 65536):
        if played[at:at + 65536] != audio[at:at + 65536]:
            bad = next(i for i in range(at, min(at + 65536, compared)) if played[i] != audio[i])
            sys.exit(f"the device's audio differs from the WAV at byte {bad} of {len(audio)} "
                     f"(frame {bad // frame}), after {start} bytes of leading silence")
    trailing = device[start + len(audio):]
    if trailing.strip(silence):
        sys.exit(f"{len(trailing.strip(silence))} bytes of sound after the song's end")
    print(f"device matches the WAV: {len(audio)} bytes of audio, {start} bytes of silence before, "
          f"{len(trailing)} after")


if __name__ == "__main__":
    main()
