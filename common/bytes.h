// Little-endian byte packing shared by the writers and readers of the three
// song formats (IMS, ROL, instrument bank). All three are little-endian and
// ROL floats are IEEE 754 single precision.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace velk {

using Bytes = std::vector<std::uint8_t>;

inline void putU8(Bytes &out, unsigned v) { out.push_back(static_cast<std::uint8_t>(v)); }

inline void putU16(Bytes &out, unsigned v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void putU32(Bytes &out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline void putF32(Bytes &out, float f)
{
    static_assert(sizeof(float) == 4, "IEEE single precision expected");
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    putU32(out, bits);
}

// Writes `text` into a field of `size` bytes, padded with NUL; longer text is cut.
inline void putText(Bytes &out, std::string_view text, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i)
        out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}

inline void putZeros(Bytes &out, std::size_t count) { out.insert(out.end(), count, 0); }

inline unsigned getU16(const std::uint8_t *p) { return p[0] | (p[1] << 8); }
inline std::int16_t getI16(const std::uint8_t *p) { return static_cast<std::int16_t>(getU16(p)); }
inline std::uint32_t getU32(const std::uint8_t *p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline float getF32(const std::uint8_t *p)
{
    std::uint32_t bits = getU32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

} // namespace velk
