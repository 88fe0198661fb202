#include "tools/velkrender/song_vgm.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "tools/velkrender/song_files.h"

namespace velk::render {
namespace {

constexpr int vgmRate = 44100;
constexpr std::uint32_t ym3812Clock = 3579545;
constexpr std::size_t headerSize = 0x100;
// Songs longer than this are cut, as the audio renders are.
constexpr std::uint64_t maxSongSeconds = 36000;

void putU32(std::vector<std::uint8_t> &bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

void appendU32(std::vector<std::uint8_t> &bytes, std::uint32_t value)
{
    bytes.resize(bytes.size() + 4);
    putU32(bytes, bytes.size() - 4, value);
}

// The command stream as the writes arrive.
struct Commands {
    std::vector<std::uint8_t> bytes;
    std::uint64_t at = 0;  // the sample the stream has reached

    void waitUntil(std::uint64_t sample)
    {
        while (sample > at) {
            const std::uint64_t left = sample - at;
            if (left <= 16) {
                bytes.push_back(static_cast<std::uint8_t>(0x70 + left - 1));
                at += left;
            } else if (left == 735 || left == 882) {
                bytes.push_back(left == 735 ? 0x62 : 0x63);
                at += left;
            } else {
                const auto n = static_cast<std::uint16_t>(std::min<std::uint64_t>(left, 0xFFFF));
                bytes.insert(bytes.end(), {0x61, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8)});
                at += n;
            }
        }
    }
};

void heardWrite(void *user, std::uint64_t frame, int reg, int value)
{
    auto &commands = *static_cast<Commands *>(user);
    commands.waitUntil(frame);
    commands.bytes.insert(commands.bytes.end(), {0x5A, static_cast<std::uint8_t>(reg), static_cast<std::uint8_t>(value)});
}

// UTF-8 to UTF-16LE, ending with a zero; a byte that is no UTF-8 becomes
// U+FFFD.
void appendUtf16(std::vector<std::uint8_t> &out, const std::string &text)
{
    const auto unit = [&](std::uint32_t u) {
        out.push_back(static_cast<std::uint8_t>(u));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        std::uint32_t code = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
        for (int k = 1; k < length; ++k) {
            if (i + static_cast<std::size_t>(k) >= text.size() ||
                (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) >> 6) != 2) {
                length = 0;
                break;
            }
            code = code << 6 | (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3F);
        }
        if (length == 0) {
            unit(0xFFFD);
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            unit(0xD800 + (code >> 10));
            unit(0xDC00 + (code & 0x3FF));
        } else {
            unit(code);
        }
        i += static_cast<std::size_t>(length);
    }
    unit(0);
}

// The lyric file's credits, as one author line.
std::string authorOf(const velk_song *song)
{
    std::string author;
    for (int i = 0; i < velk_lyrics_credit_count(song); ++i) {
        const char *credit = velk_lyrics_credit(song, i);
        if (credit && *credit)
            author += (author.empty() ? "" : "; ") + std::string(credit);
    }
    return author;
}

std::vector<std::uint8_t> gd3Tag(const VgmTarget &target, const std::string &author)
{
    const std::string title =
        target.title.empty() ? std::filesystem::path(target.path).stem().string() : target.title;
    // Title, game and system, each in English and Japanese; author twice; the
    // date, who ripped it, notes.
    const std::string texts[11] = {title, "", "", "", target.ims ? "IMS" : "ROL", "", author, "", "", "velk", ""};
    std::vector<std::uint8_t> strings;
    for (const std::string &text : texts)
        appendUtf16(strings, text);
    std::vector<std::uint8_t> tag = {'G', 'd', '3', ' '};
    appendU32(tag, 0x100);
    appendU32(tag, static_cast<std::uint32_t>(strings.size()));
    tag.insert(tag.end(), strings.begin(), strings.end());
    return tag;
}

bool writeFile(const VgmTarget &target, const std::vector<std::uint8_t> &bytes)
{
    if (target.gzipped) {
        gzFile out = gzopen(target.path.c_str(), "wb9");
        if (!out)
            return false;
        const bool written = gzwrite(out, bytes.data(), static_cast<unsigned>(bytes.size())) ==
                             static_cast<int>(bytes.size());
        return gzclose(out) == Z_OK && written;
    }
    std::FILE *out = std::fopen(target.path.c_str(), "wb");
    if (!out)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

} // namespace

bool writeVgm(velk_song *song, const VgmTarget &target, std::string &error)
{
    if (velk_sample_rate(song) != vgmRate) {
        error = "a VGM file is timed at 44100 Hz";
        return false;
    }
    Commands commands;
    commands.bytes.resize(headerSize);
    if (velk_set_write_listener(song, heardWrite, &commands) != VELK_OK) {
        error = velk_error_message(song);
        return false;
    }
    // The writes come as the frames render; the sound itself is dropped.
    std::vector<std::int16_t> block(4096 * static_cast<std::size_t>(velk_channels(song)));
    const std::uint64_t limit = maxSongSeconds * vgmRate;
    std::uint64_t total = 0;
    long frames;
    while (total < limit && (frames = velk_render(song, block.data(), 4096)) != 0) {
        if (frames < 0) {
            velk_set_write_listener(song, nullptr, nullptr);
            error = std::string("the song stopped rendering: ") + velk_error_message(song);
            return false;
        }
        total += static_cast<std::uint64_t>(frames);
    }
    velk_set_write_listener(song, nullptr, nullptr);
    commands.waitUntil(total);
    commands.bytes.push_back(0x66);

    std::vector<std::uint8_t> &bytes = commands.bytes;
    const std::size_t gd3At = bytes.size();
    const std::vector<std::uint8_t> tag = gd3Tag(target, authorOf(song));
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    bytes[0] = 'V', bytes[1] = 'g', bytes[2] = 'm', bytes[3] = ' ';
    putU32(bytes, 0x04, static_cast<std::uint32_t>(bytes.size() - 0x04));
    putU32(bytes, 0x08, 0x171);
    putU32(bytes, 0x14, static_cast<std::uint32_t>(gd3At - 0x14));
    putU32(bytes, 0x18, static_cast<std::uint32_t>(total));
    putU32(bytes, 0x34, static_cast<std::uint32_t>(headerSize - 0x34));
    putU32(bytes, 0x50, ym3812Clock);
    if (!writeFile(target, bytes)) {
        error = "cannot write " + target.path;
        // A cut file would pass for the song.
        removeFailedOutput(target.path);
        return false;
    }
    return true;
}

} // namespace velk::render
