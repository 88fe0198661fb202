// An Ogg Vorbis file written with libvorbis, so that its comment header can
// carry any tag (libsndfile writes only its own few).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "tools/velkrender/tag_list.h"

namespace velk::render {

class VorbisFile {
public:
    VorbisFile();
    VorbisFile(const VorbisFile &) = delete;
    VorbisFile &operator=(const VorbisFile &) = delete;
    ~VorbisFile();

    // Creates the file with these tags in its comment header, for frames
    // of `channels` at `rate`, at libsndfile's quality (0.4).
    bool open(const std::string &path, int rate, int channels, const TagList &tags, std::string &error);
    bool write(const std::int16_t *frames, std::size_t count);
    // Ends the stream and closes the file; false when anything failed.
    bool finish();

private:
    struct Encoder;
    bool drain(bool last);

    std::unique_ptr<Encoder> encoder_;
    std::FILE *file_ = nullptr;
    int channels_ = 2;
    bool failed_ = false;
};

} // namespace velk::render
