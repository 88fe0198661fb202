#include "tools/velkrender/wav_writer.h"

#include "common/bytes.h"

namespace velk::render {
namespace {

constexpr std::size_t headerSize = 44;

Bytes header(const AudioFormat &format, std::uint32_t dataBytes, std::uint32_t padding)
{
    const unsigned channels = format.stereo ? 2 : 1;
    const unsigned bits = format.sixteenBit ? 16 : 8;
    const auto rate = static_cast<std::uint32_t>(format.rate);
    Bytes h;
    putText(h, "RIFF", 4);
    putU32(h, dataBytes + padding + 36);
    putText(h, "WAVE", 4);
    putText(h, "fmt ", 4);
    putU32(h, 16);
    putU16(h, 1);  // PCM
    putU16(h, channels);
    putU32(h, rate);
    putU32(h, rate * static_cast<std::uint32_t>(format.bytesPerFrame()));
    putU16(h, static_cast<unsigned>(format.bytesPerFrame()));
    putU16(h, bits);
    putText(h, "data", 4);
    putU32(h, dataBytes);
    return h;
}

} // namespace

bool WavWriter::open(const std::string &path, const AudioFormat &format)
{
    out_.open(path, std::ios::binary | std::ios::trunc);
    const Bytes h = header(format, 0, 0);
    out_.write(reinterpret_cast<const char *>(h.data()), static_cast<std::streamsize>(h.size()));
    dataBytes_ = 0;
    format_ = format;
    return static_cast<bool>(out_);
}

void WavWriter::write(const std::uint8_t *data, std::size_t bytes)
{
    out_.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(bytes));
    dataBytes_ += bytes;
}

bool WavWriter::finish()
{
    const std::uint32_t padding = dataBytes_ % 2;  // chunks are padded to an even size
    if (padding)
        out_.put(0);
    const Bytes h = header(format_, static_cast<std::uint32_t>(dataBytes_), padding);
    out_.seekp(0);
    out_.write(reinterpret_cast<const char *>(h.data()), static_cast<std::streamsize>(headerSize));
    out_.close();
    return !out_.fail();
}

} // namespace velk::render
