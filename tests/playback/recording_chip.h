// A chip that renders a counting pattern instead of sound, so that tests see
// every chunk the render thread asks for, the frame at which each tick was
// carried out, and whether the blocks join up without gaps.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include <opl.h>

namespace velk::test {

struct ChipRecord {
    std::atomic<int> created{0};
    std::atomic<int> alive{0};
    std::atomic<int> registerWrites{0};
    int frameSize = 0;
    // Written by the render thread: read them once it has ended.
    std::vector<int> chunks;
    std::int64_t frames = 0;
    // Frame position of each tick carried out on the chip while rendering
    // (the first frame rendered after it).
    std::vector<std::int64_t> tickFrames;
};

extern ChipRecord chips;
void resetRecordingChips();

// Every byte of frame n is n modulo 256.
inline std::uint8_t patternByte(std::int64_t frame)
{
    return static_cast<std::uint8_t>(frame & 0xFF);
}

// A ChipFactory for the controller.
Copl *createRecordingChip(int sampleRate, bool use16Bit, bool stereo);

class RecordingChip : public Copl {
public:
    RecordingChip(bool use16Bit, bool stereo);
    ~RecordingChip() override;
    void write(int, int) override { ++chips.registerWrites; }
    void init() override {}
    void update(short *buffer, int frames) override;

private:
    int ticksSeen_ = 0;
};

} // namespace velk::test
