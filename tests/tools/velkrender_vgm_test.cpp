// velkrender's VGM files read back by a reader written here from the
// format's description (not the writer's code): the writes are those of
// velkrender --regs at the samples their ticks start at, replayed on the
// emulator they give the library's render sample for sample, and the header
// and GD3 tag say what the song is.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "libvelk/emulator_chip.h"
#include "libvelk/velk.h"
#include "libvelk/voice_attenuation.h"
#include "tests/support/songs.h"

namespace {

struct Write {
    std::uint64_t sample;
    int reg, value;
    bool operator==(const Write &o) const { return sample == o.sample && reg == o.reg && value == o.value; }
};

struct Vgm {
    std::vector<std::uint8_t> bytes;
    std::vector<Write> writes;
    std::uint64_t end = 0;  // the sample the data ends at
    std::string error;

    std::uint32_t u32(std::size_t at) const
    {
        return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
    }

    // The GD3 tag's strings, UTF-16 as UTF-8.
    std::vector<std::string> gd3() const
    {
        std::vector<std::string> texts;
        std::size_t at = 0x14 + u32(0x14);
        if (u32(0x14) == 0 || at + 12 > bytes.size() || std::string(bytes.begin() + at, bytes.begin() + at + 4) != "Gd3 ")
            return texts;
        const std::size_t end = at + 12 + u32(at + 8);
        std::string text;
        for (at += 12; at + 1 < end && at + 1 < bytes.size(); at += 2) {
            std::uint32_t c = bytes[at] | bytes[at + 1] << 8;
            if (c >= 0xD800 && c < 0xDC00 && at + 3 < end) {
                c = 0x10000 + ((c - 0xD800) << 10) + ((bytes[at + 2] | bytes[at + 3] << 8) - 0xDC00);
                at += 2;
            }
            if (c == 0) {
                texts.push_back(text);
                text.clear();
            } else if (c < 0x80) {
                text += static_cast<char>(c);
            } else if (c < 0x800) {
                text += static_cast<char>(0xC0 | c >> 6), text += static_cast<char>(0x80 | (c & 0x3F));
            } else if (c < 0x10000) {
                text += static_cast<char>(0xE0 | c >> 12), text += static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                    text += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                text += static_cast<char>(0xF0 | c >> 18), text += static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                    text += static_cast<char>(0x80 | (c >> 6 & 0x3F)), text += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return texts;
    }
};

// Reads a .vgm or .vgz file (zlib's gzread reads either).
Vgm readVgm(const std::string &path)
{
    Vgm vgm;
    gzFile in = gzopen(path.c_str(), "rb");
    if (!in) {
        vgm.error = "cannot open " + path;
        return vgm;
    }
    std::uint8_t buffer[65536];
    int n;
    while ((n = gzread(in, buffer, sizeof buffer)) > 0)
        vgm.bytes.insert(vgm.bytes.end(), buffer, buffer + n);
    gzclose(in);
    if (vgm.bytes.size() < 0x100 || std::string(vgm.bytes.begin(), vgm.bytes.begin() + 4) != "Vgm ") {
        vgm.error = "no VGM header";
        return vgm;
    }
    std::size_t at = 0x34 + vgm.u32(0x34);
    std::uint64_t now = 0;
    while (at < vgm.bytes.size()) {
        const std::uint8_t command = vgm.bytes[at++];
        if (command == 0x5A && at + 2 <= vgm.bytes.size()) {
            vgm.writes.push_back({now, vgm.bytes[at], vgm.bytes[at + 1]});
            at += 2;
        } else if (command == 0x61 && at + 2 <= vgm.bytes.size()) {
            now += vgm.bytes[at] | vgm.bytes[at + 1] << 8;
            at += 2;
        } else if (command == 0x62) {
            now += 735;
        } else if (command == 0x63) {
            now += 882;
        } else if ((command & 0xF0) == 0x70) {
            now += (command & 0x0F) + 1u;
        } else if (command == 0x66) {
            vgm.end = now;
            return vgm;
        } else {
            vgm.error = "unknown command " + std::to_string(command) + " at " + std::to_string(at - 1);
            return vgm;
        }
    }
    vgm.error = "no end command";
    return vgm;
}

int run(const std::string &command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// velkrender --regs's lines at the sample each tick starts at in a render at
// 44100 Hz: the ticks' lengths as the library reckons them (the rate from
// the tempo map, the fractions carried on).
std::vector<Write> registerList(const std::string &path, velk_song *song)
{
    std::vector<velk_tempo_change> tempos(velk_tempo_count(song));
    for (std::size_t i = 0; i < tempos.size(); ++i)
        velk_tempo_at(song, i, &tempos[i]);
    std::vector<std::uint64_t> tickStart{0};
    double owed = 0.0;
    std::uint64_t at = 0;
    std::size_t tempo = 0;
    const auto startOf = [&](long tick) {
        while (static_cast<long>(tickStart.size()) <= tick) {
            const long t = static_cast<long>(tickStart.size()) - 1;
            while (tempo + 1 < tempos.size() && tempos[tempo + 1].tick <= t)
                ++tempo;
            owed += 44100.0 / static_cast<double>(static_cast<float>(tempos[tempo].ticks_per_second));
            const auto frames = static_cast<std::uint64_t>(owed);
            owed -= static_cast<double>(frames);
            at += frames;
            tickStart.push_back(at);
        }
        return tickStart[static_cast<std::size_t>(tick)];
    };
    std::vector<Write> writes;
    std::ifstream in(path);
    std::string label;
    unsigned reg = 0, value = 0;
    while (in >> label >> std::hex >> reg >> value >> std::dec)
        writes.push_back({label == "-" ? 0 : startOf(std::stol(label)), static_cast<int>(reg), static_cast<int>(value)});
    return writes;
}

TEST(VelkrenderVgm, HoldsTheChipsWritesAtTheirSamples)
{
    VELK_REQUIRE_REAL_SONG(song, "AMG0018.IMS");
    const std::string dir = ::testing::TempDir();
    const std::string velkrender = VELK_VELKRENDER;
    const std::string regs = dir + "vgm_regs.txt", vgz = dir + "vgm_song.vgz";
    ASSERT_EQ(run(velkrender + " --regs '" + song.string() + "' -o '" + regs + "'"), 0);
    ASSERT_EQ(run(velkrender + " '" + song.string() + "' -o '" + vgz + "'"), 0);
    const Vgm vgm = readVgm(vgz);
    ASSERT_EQ(vgm.error, "");
    EXPECT_EQ(vgm.u32(0x08), 0x171u);
    EXPECT_EQ(vgm.u32(0x50), 3579545u);
    EXPECT_EQ(vgm.u32(0x04), vgm.bytes.size() - 4);

    velk_options options;
    velk_options_init(&options);
    velk_song *handle = nullptr;
    ASSERT_EQ(velk_open_file(song.string().c_str(), &options, &handle), VELK_OK);
    const std::unique_ptr<velk_song, void (*)(velk_song *)> closer(handle, velk_close);
    const std::vector<Write> expected = registerList(regs, handle);
    ASSERT_EQ(vgm.writes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(vgm.writes[i], expected[i]) << "write " << i << ": " << vgm.writes[i].sample << " "
                                              << vgm.writes[i].reg << " against " << expected[i].sample << " "
                                              << expected[i].reg;

    // The render, and the writes replayed on a chip of the same emulator.
    std::vector<std::int16_t> render;
    std::int16_t block[2 * 4096];
    long n;
    while ((n = velk_render(handle, block, 4096)) > 0)
        render.insert(render.end(), block, block + 2 * n);
    EXPECT_EQ(vgm.u32(0x18), render.size() / 2) << "the header's sample count is the render's length";
    EXPECT_EQ(vgm.end, render.size() / 2);
    const auto chip = velk::lib::makeEmulatorChip(VELK_EMULATOR_NUKED, 44100, 2);
    std::vector<std::int16_t> replay;
    const auto renderTo = [&](std::uint64_t sample) {
        while (replay.size() / 2 < sample) {
            const auto count = static_cast<int>(std::min<std::uint64_t>(4096, sample - replay.size() / 2));
            chip->update(block, count);
            replay.insert(replay.end(), block, block + 2 * count);
        }
    };
    for (const Write &w : vgm.writes) {
        renderTo(w.sample);
        chip->write(w.reg, w.value);
    }
    renderTo(vgm.end);
    ASSERT_EQ(replay.size(), render.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < render.size(); ++i)
        differing += replay[i] != render[i];
    EXPECT_EQ(differing, 0u) << "samples of the replay that differ from the render";

    const std::vector<std::string> gd3 = vgm.gd3();
    ASSERT_GE(gd3.size(), 10u);
    EXPECT_EQ(gd3[0], velk_title(handle));
    EXPECT_EQ(gd3[4], "IMS");
    EXPECT_EQ(gd3[9], "velk");
    EXPECT_FALSE(gd3[6].empty()) << "the lyric file's credits as the author";
    std::remove(regs.c_str());
    std::remove(vgz.c_str());
}

} // namespace
