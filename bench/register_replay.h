// A song's chip register writes kept with the frame each came at, and their
// replay on a chip alone: what the emulator by itself costs for the song.
#pragma once

#include <opl.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace velk::bench {

struct TimedWrite {
    std::uint64_t frame;
    int reg, value;
};

// Passes writes on to a chip and keeps them, with the frame they came at.
class TapOpl : public Copl {
public:
    explicit TapOpl(Copl &chip) : chip_(chip) {}
    void write(int reg, int value) override
    {
        writes.push_back({frame, reg, value});
        chip_.write(reg, value);
    }
    void init() override { chip_.init(); }
    void update(short *buf, int samples) override
    {
        chip_.update(buf, samples);
        frame += static_cast<std::uint64_t>(samples);
    }
    std::vector<TimedWrite> writes;
    std::uint64_t frame = 0;

private:
    Copl &chip_;
};

// Renders `frames` frames on `chip` from its reset into `pcm` (room for all
// of them), making each write at its frame, in blocks of at most 4096.
inline void replayWrites(Copl &chip, const std::vector<TimedWrite> &writes, std::uint64_t frames, int bytesPerFrame,
                         std::vector<std::uint8_t> &pcm)
{
    constexpr std::uint64_t block = 4096;
    chip.init();
    std::size_t next = 0;
    for (std::uint64_t done = 0; done < frames;) {
        while (next < writes.size() && writes[next].frame == done) {
            chip.write(writes[next].reg, writes[next].value);
            ++next;
        }
        const std::uint64_t until = next < writes.size() ? writes[next].frame : frames;
        const auto n = static_cast<int>(std::min<std::uint64_t>({block, frames - done, until - done}));
        chip.update(reinterpret_cast<short *>(pcm.data() + done * bytesPerFrame), n);
        done += static_cast<std::uint64_t>(n);
    }
}

} // namespace velk::bench
