#include "tools/velkrender/render_loop.h"

#include <player.h>

#include <algorithm>
#include <vector>

namespace velk::render {
namespace {

constexpr std::uint64_t blockFrames = 4096;

} // namespace

std::uint64_t renderSong(CPlayer &player, Copl &chip, const AudioFormat &format, const PcmSink &sink,
                         const Progress &progress, std::uint64_t frameLimit)
{
    std::vector<std::uint8_t> block(blockFrames * static_cast<std::size_t>(format.bytesPerFrame()));
    std::uint64_t rendered = 0;
    double owed = 0.0;  // frames of the ticks so far not yet rendered, with the fraction
    while (rendered < frameLimit && player.update()) {
        owed += format.rate / static_cast<double>(player.getrefresh());
        auto frames = static_cast<std::uint64_t>(owed);
        frames = std::min(frames, frameLimit - rendered);
        owed -= static_cast<double>(frames);
        while (frames > 0) {
            const std::uint64_t n = std::min(frames, blockFrames);
            chip.update(reinterpret_cast<short *>(block.data()), static_cast<int>(n));
            sink(block.data(), static_cast<std::size_t>(n) * static_cast<std::size_t>(format.bytesPerFrame()));
            frames -= n;
            rendered += n;
        }
        if (progress)
            progress(rendered);
    }
    return rendered;
}

} // namespace velk::render
