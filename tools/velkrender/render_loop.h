// Renders a song to PCM: steps a player at its own tick rate while the chip
// emulator synthesises the frames of each tick. Any CPlayer will do.
#pragma once

#include <cstdint>
#include <functional>

class CPlayer;
class Copl;

namespace velk::render {

struct AudioFormat {
    int rate = 44100;
    bool stereo = true;
    bool sixteenBit = true;

    int channels() const { return stereo ? 2 : 1; }
    int bytesPerFrame() const { return channels() * (sixteenBit ? 2 : 1); }
};

// Receives each block of PCM (interleaved; 16-bit signed or 8-bit unsigned).
using PcmSink = std::function<void(const std::uint8_t *data, std::size_t bytes)>;
// Hears the number of frames rendered so far, now and then.
using Progress = std::function<void(std::uint64_t frames)>;

// Plays `player` from where it stands until an update reports the end (or
// `frameLimit` frames are out), rendering through `chip` after each tick the
// frames of that tick: the song's length by `songlength`, in frames. The
// chip must be the one the player writes to, made for `format`. Returns the
// frames rendered.
std::uint64_t renderSong(CPlayer &player, Copl &chip, const AudioFormat &format, const PcmSink &sink,
                         const Progress &progress = {}, std::uint64_t frameLimit = UINT64_MAX);

} // namespace velk::render
