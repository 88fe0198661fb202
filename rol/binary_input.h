// Little-endian field reads from a libbinio stream, shared by the song and
// bank readers. Past the end of a file the stream yields bytes of 255.
#pragma once

#include <binio.h>

#include <climits>
#include <cstdint>
#include <string>

namespace velk::rol {

inline void makeLittleEndian(binistream &in)
{
    in.setFlag(binio::BigEndian, false);
    in.setFlag(binio::FloatIEEE, true);
}

inline std::uint8_t readU8(binistream &in) { return static_cast<std::uint8_t>(in.readInt(1)); }
inline std::uint16_t readU16(binistream &in) { return static_cast<std::uint16_t>(in.readInt(2)); }
inline std::int16_t readI16(binistream &in) { return static_cast<std::int16_t>(readU16(in)); }
inline std::int32_t readI32(binistream &in)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(in.readInt(4)));
}
inline float readF32(binistream &in) { return static_cast<float>(in.readFloat(binio::Single)); }

// A text field of `size` bytes: the text up to its first NUL, or the whole
// field when it holds none. The stream always moves past the whole field.
inline std::string readName(binistream &in, std::size_t size)
{
    std::string name;
    bool ended = false;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(readU8(in));
        if (c == '\0')
            ended = true;
        if (!ended)
            name.push_back(c);
    }
    return name;
}

// Seeks to an absolute position; one the stream cannot address (before the
// start, or beyond what its offsets hold) reads as past the end.
inline void seekTo(binistream &in, long long position)
{
    if (position < 0 || position > LONG_MAX)
        in.seek(0, binio::End);
    else
        in.seek(static_cast<long>(position), binio::Set);
}

} // namespace velk::rol
