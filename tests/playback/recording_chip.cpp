#include "tests/playback/recording_chip.h"

#include <cstring>

#include "tests/playback/scripted_player.h"

namespace velk::test {

ChipRecord chips;

void resetRecordingChips()
{
    chips.created = 0;
    chips.alive = 0;
    chips.registerWrites = 0;
    chips.frameSize = 0;
    chips.chunks.clear();
    chips.frames = 0;
    chips.tickFrames.clear();
}

Copl *createRecordingChip(int, bool use16Bit, bool stereo)
{
    return new RecordingChip(use16Bit, stereo);
}

RecordingChip::RecordingChip(bool use16Bit, bool stereo)
{
    chips.frameSize = (use16Bit ? 2 : 1) * (stereo ? 2 : 1);
    ++chips.created;
    ++chips.alive;
}

RecordingChip::~RecordingChip()
{
    --chips.alive;
}

void RecordingChip::update(short *buffer, int frames)
{
    const int ticks = players.ticksOnOwnChip;
    for (; ticksSeen_ < ticks; ++ticksSeen_)
        chips.tickFrames.push_back(chips.frames);
    chips.chunks.push_back(frames);
    auto *bytes = reinterpret_cast<std::uint8_t *>(buffer);
    for (int frame = 0; frame < frames; ++frame)
        std::memset(bytes + frame * chips.frameSize, patternByte(chips.frames + frame), chips.frameSize);
    chips.frames += frames;
}

} // namespace velk::test
