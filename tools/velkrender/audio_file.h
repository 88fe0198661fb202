// The audio file velkrender writes: WAV or FLAC through libsndfile (FLAC's
// further tags through libFLAC), Ogg Vorbis through libvorbis.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <memory>

#include "tools/velkrender/output_format.h"
#include "tools/velkrender/tag_list.h"

typedef struct sf_private_tag SNDFILE;

namespace velk::render {

class VorbisFile;

// The largest data chunk a WAV file can describe.
constexpr std::uint64_t maxWavDataBytes = 0xFFFFFFFFull - 36;

class AudioFile {
public:
    AudioFile();
    AudioFile(const AudioFile &) = delete;
    AudioFile &operator=(const AudioFile &) = delete;
    ~AudioFile();

    // Creates the file in `format` (an audio one) for 16-bit (or 8-bit)
    // frames of `channels` at `rate`, whatever its name. The title (UTF-8) and
    // `tags` are written as tags in FLAC and Ogg; WAV files stay plain PCM,
    // as players read them. False with `error` on failure.
    bool open(const std::string &path, OutputFormat format, int rate, int channels, bool sixteenBit,
              const std::string &title, const TagList &tags, std::string &error);
    // Interleaved signed 16-bit frames; 8-bit files get each sample's top
    // byte, unsigned (what the chip itself gives in 8-bit). False on failure.
    bool write(const std::int16_t *frames, std::size_t count);
    // Completes the file; false (with `error` when it says more) when
    // anything failed to reach it.
    bool finish(std::string *error = nullptr);

private:
    SNDFILE *file_ = nullptr;
    std::unique_ptr<VorbisFile> vorbis_;
    std::string path_;
    TagList flacTags_;  // written once libsndfile has closed the file
    int channels_ = 2;
    bool sixteenBit_ = true;
    bool wavBytes_ = false;  // 8-bit WAV samples are written as bytes
    bool failed_ = false;
    std::vector<unsigned char> bytes_;
};

} // namespace velk::render
