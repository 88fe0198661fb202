// A PCM WAV file written as the audio arrives; the sizes in its header are
// filled in when it is closed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace velk::host {

class WavFile {
public:
    WavFile() = default;
    ~WavFile() { close(); }
    WavFile(const WavFile &) = delete;
    WavFile &operator=(const WavFile &) = delete;

    // Creates (or truncates) `path` for the given format; false when the file
    // cannot be created.
    bool create(const std::string &path, int sampleRate, int channels, int bitsPerSample);
    bool isOpen() const { return file_ != nullptr; }
    void append(const char *bytes, std::size_t count);
    // Completes the header; true when every byte reached the file.
    bool close();
    std::uint64_t dataBytes() const { return dataBytes_; }

private:
    std::FILE *file_ = nullptr;
    std::uint64_t dataBytes_ = 0;
    bool failed_ = false;
};

} // namespace velk::host
