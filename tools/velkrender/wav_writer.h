// A PCM WAV file written as the frames come: the sizes in its header are
// filled in when it is finished.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "tools/velkrender/render_loop.h"

namespace velk::render {

// The largest data chunk a WAV file can describe.
constexpr std::uint64_t maxWavDataBytes = 0xFFFFFFFFull - 36;

class WavWriter {
public:
    // False when the file cannot be created.
    bool open(const std::string &path, const AudioFormat &format);
    void write(const std::uint8_t *data, std::size_t bytes);
    // Writes the sizes; false when anything failed to reach the file.
    bool finish();

private:
    std::ofstream out_;
    AudioFormat format_;
    std::uint64_t dataBytes_ = 0;
};

} // namespace velk::render
