#include "host/wav_file.h"

#include "common/bytes.h"

namespace velk::host {

namespace {
constexpr std::size_t headerSize = 44;
// A RIFF chunk cannot describe more than 4 GiB; longer audio is cut off there.
constexpr std::uint64_t maxDataBytes = 0xFFFFFFFFull - headerSize;

Bytes header(int sampleRate, int channels, int bitsPerSample, std::uint32_t dataBytes)
{
    const std::uint32_t blockAlign = static_cast<std::uint32_t>(channels * bitsPerSample / 8);
    Bytes b;
    putText(b, "RIFF", 4);
    putU32(b, 36 + dataBytes);
    putText(b, "WAVE", 4);
    putText(b, "fmt ", 4);
    putU32(b, 16);
    putU16(b, 1);  // integer PCM
    putU16(b, static_cast<std::uint16_t>(channels));
    putU32(b, static_cast<std::uint32_t>(sampleRate));
    putU32(b, static_cast<std::uint32_t>(sampleRate) * blockAlign);
    putU16(b, static_cast<std::uint16_t>(blockAlign));
    putU16(b, static_cast<std::uint16_t>(bitsPerSample));
    putText(b, "data", 4);
    putU32(b, dataBytes);
    return b;
}
} // namespace

bool WavFile::create(const std::string &path, int sampleRate, int channels, int bitsPerSample)
{
    close();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_)
        return false;
    dataBytes_ = 0;
    failed_ = false;
    Bytes b = header(sampleRate, channels, bitsPerSample, 0);
    failed_ = std::fwrite(b.data(), 1, b.size(), file_) != b.size();
    return true;
}

void WavFile::append(const char *bytes, std::size_t count)
{
    if (!file_ || count == 0)
        return;
    if (dataBytes_ + count > maxDataBytes)
        count = static_cast<std::size_t>(maxDataBytes - dataBytes_);
    if (std::fwrite(bytes, 1, count, file_) != count)
        failed_ = true;
    dataBytes_ += count;
}

bool WavFile::close()
{
    if (!file_)
        return !failed_;
    // Sizes go in at offsets 4 and 40; the format fields are already right.
    const auto data = static_cast<std::uint32_t>(dataBytes_);
    Bytes riffSize, dataSize;
    putU32(riffSize, 36 + data);
    putU32(dataSize, data);
    if (std::fseek(file_, 4, SEEK_SET) != 0 || std::fwrite(riffSize.data(), 1, 4, file_) != 4 ||
        std::fseek(file_, 40, SEEK_SET) != 0 || std::fwrite(dataSize.data(), 1, 4, file_) != 4)
        failed_ = true;
    if (std::fclose(file_) != 0)
        failed_ = true;
    file_ = nullptr;
    return !failed_;
}

} // namespace velk::host
