// The audio file velkrender writes, its format chosen by the output's
// extension: WAV (anything but the two below), FLAC (.flac) or Ogg Vorbis
// (.ogg), through libsndfile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace velk::render {

// The largest data chunk a WAV file can describe.
constexpr std::uint64_t maxWavDataBytes = 0xFFFFFFFFull - 36;

enum class AudioFileType { wav, flac, vorbis };

// The type `path`'s extension asks for (any case).
AudioFileType audioFileTypeOf(const std::string &path);

class AudioFile {
public:
    AudioFile() = default;
    AudioFile(const AudioFile &) = delete;
    AudioFile &operator=(const AudioFile &) = delete;
    ~AudioFile();

    // Creates the file for 16-bit (or 8-bit) frames of `channels` at `rate`.
    // The title (UTF-8) is written as a tag in FLAC and Ogg; WAV files stay
    // plain PCM, as players read them. False with `error` on failure.
    bool open(const std::string &path, int rate, int channels, bool sixteenBit, const std::string &title,
              std::string &error);
    // Interleaved signed 16-bit frames; 8-bit files get each sample's top
    // byte, unsigned (what the chip itself gives in 8-bit). False on failure.
    bool write(const std::int16_t *frames, std::size_t count);
    // Completes the file; false when anything failed to reach it.
    bool finish();

private:
    SNDFILE *file_ = nullptr;
    int channels_ = 2;
    bool sixteenBit_ = true;
    bool wavBytes_ = false;  // 8-bit WAV samples are written as bytes
    bool failed_ = false;
    std::vector<unsigned char> bytes_;
};

} // namespace velk::render
