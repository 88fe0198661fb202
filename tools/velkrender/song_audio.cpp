#include "tools/velkrender/song_audio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "tools/velkrender/audio_file.h"
#include "tools/velkrender/song_files.h"

namespace velk::render {
namespace {

// Songs longer than this are cut, as AdPlug's own songlength does.
constexpr std::uint64_t maxSongSeconds = 36000;
constexpr std::size_t blockFrames = 4096;

void scaleSamples(std::int16_t *samples, std::size_t count, double scale)
{
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(std::clamp(std::lround(samples[i] * scale), -32768L, 32767L));
}

} // namespace

bool renderToFile(velk_song *song, const AudioTarget &target, const Progress &progress, std::string &error)
{
    const AudioFormat &pcm = target.pcm;
    AudioFile file;
    if (!file.open(target.path, target.format, pcm.rate, pcm.channels(), pcm.sixteenBit, target.title, target.tags,
                   error))
        return false;
    std::uint64_t limit = maxSongSeconds * static_cast<std::uint64_t>(pcm.rate);
    if (target.format == OutputFormat::wav)
        limit = std::min<std::uint64_t>(limit, maxWavDataBytes / static_cast<std::uint64_t>(pcm.bytesPerFrame()));
    std::vector<std::int16_t> block(blockFrames * static_cast<std::size_t>(pcm.channels()));
    std::uint64_t rendered = 0;
    bool written = true;
    while (rendered < limit && written) {
        const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(blockFrames, limit - rendered));
        const long frames = velk_render(song, block.data(), ask);
        if (frames < 0) {
            error = std::string("the song stopped rendering: ") + velk_error_message(song);
            file.finish();
            removeFailedOutput(target.path);
            return false;
        }
        if (frames == 0)
            break;
        if (target.scale != 1.0)
            scaleSamples(block.data(), static_cast<std::size_t>(frames) * static_cast<std::size_t>(pcm.channels()),
                         target.scale);
        written = file.write(block.data(), static_cast<std::size_t>(frames));
        rendered += static_cast<std::uint64_t>(frames);
        if (progress)
            progress(rendered);
    }
    std::string why;
    if (!file.finish(&why) || !written) {
        error = why.empty() ? "cannot write " + target.path : why;
        // A cut file would pass for the song in a folder of renders.
        removeFailedOutput(target.path);
        return false;
    }
    return true;
}

} // namespace velk::render
