// ROL engine figures from one run, on the real song converted in process and
// played with its own bank:
// - songlength (target: under 5 ms);
// - the whole song rendered to memory through the engine and CEmuopl,
//   against the same number of frames from CEmuopl alone (target: the
//   engine's share under 5% of the time). CEmuopl alone is measured twice:
//   idle, and replaying the very register writes the engine made at the
//   same frames: the emulator works harder on sounding voices, so only the
//   replay does its share of the work. The engine's share itself is the
//   time of its updates within the same rendering, which a busy machine
//   cannot skew the way it skews differences of separate runs.
//
//   rol_bench [song.ims song.bnk]

#include <emuopl.h>
#include <binstr.h>
#include <fprovide.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "converter/conversion.h"
#include "rol/opl2_chip.h"
#include "rol/rol_player.h"
#include "libvelk/emulator_chip.h"
#include "libvelk/voice_attenuation.h"
#include "tools/velkrender/render_loop.h"

#include "bench/register_replay.h"
#include "bench/timing.h"

namespace {

using namespace velk::bench;
namespace fs = std::filesystem;

std::vector<std::uint8_t> readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Forwards to the engine and keeps the time its updates take.
class TimedPlayer : public CPlayer {
public:
    TimedPlayer(CPlayer &player, Copl &chip) : CPlayer(&chip), player_(player) {}
    bool load(const std::string &, const CFileProvider &) override { return false; }
    bool update() override
    {
        const auto start = Clock::now();
        const bool more = player_.update();
        spent += Clock::now() - start;
        return more;
    }
    void rewind(int subsong) override { player_.rewind(subsong); }
    float getrefresh() override { return player_.getrefresh(); }
    std::string gettype() override { return player_.gettype(); }
    Clock::duration spent{};

private:
    CPlayer &player_;
};

} // namespace

int main(int argc, char **argv)
{
    const fs::path songs = VELK_SONGS_DIR;
    const fs::path imsPath = argc > 2 ? fs::path(argv[1]) : songs / "go-_-go.ims";
    const fs::path bankPath = argc > 2 ? fs::path(argv[2]) : songs / "go-_-go.bnk";
    const std::vector<std::uint8_t> ims = readFile(imsPath);
    if (ims.empty() || !fs::exists(bankPath)) {
        std::fprintf(stderr, "rol_bench: need %s and %s\n", imsPath.string().c_str(), bankPath.string().c_str());
        return 1;
    }
    const velk::converter::ConversionResult converted = velk::converter::convertImsToRol(ims);
    if (!converted.converted()) {
        std::fprintf(stderr, "rol_bench: %s\n", converted.reason.c_str());
        return 1;
    }
    const fs::path work = fs::temp_directory_path() / ("velk_rol_bench_" + std::to_string(Clock::now().time_since_epoch().count()));
    fs::create_directories(work);
    {
        std::ofstream out(work / "song.rol", std::ios::binary);
        out.write(reinterpret_cast<const char *>(converted.rol.data()), static_cast<std::streamsize>(converted.rol.size()));
    }

    const velk::render::AudioFormat format;  // 44100 Hz, 16-bit, stereo
    const std::unique_ptr<CEmuopl> ownChip = velk::makeOpl2Chip(format.rate, format.sixteenBit, format.stereo);
    CEmuopl &chip = *ownChip;
    TapOpl tap(chip);
    velk::RolPlayer player(&tap);
    binistream *stream = CProvider_Filesystem().open((work / "song.rol").string());
    const bool loaded = stream && player.loadSong(*stream, bankPath.string(), CProvider_Filesystem());
    if (stream)
        CProvider_Filesystem().close(stream);
    fs::remove_all(work);
    if (!loaded) {
        std::fprintf(stderr, "rol_bench: the song does not load\n");
        return 1;
    }

    std::printf("song: %s (%zu bytes of ROL), end tick %d\n", imsPath.filename().string().c_str(), converted.rol.size(),
                player.song().endTick);
    unsigned long lengthMs = 0;
    const Figures length = measure(101, [&] { lengthMs = player.songlength(0); });
    std::printf("songlength: %lu ms of music; median %.3f ms, best %.3f ms (target under 5 ms)\n", lengthMs,
                length.median, length.best);

    std::vector<std::uint8_t> pcm(static_cast<std::size_t>(lengthMs / 1000.0 * format.rate + format.rate) * 4);
    std::uint64_t frames = 0;
    auto keep = [&](const std::uint8_t *data, std::size_t bytes) {
        std::copy(data, data + bytes, pcm.begin() + static_cast<std::ptrdiff_t>(frames * 4));
        frames += bytes / 4;
    };
    TimedPlayer timed(player, tap);

    // The three renderings take turns, so that a busy machine slows each alike.
    constexpr int rounds = 7;
    constexpr int block = 4096;
    std::vector<double> withEngine, inEngine, idle, replay;
    std::uint64_t songFrames = 0;
    std::vector<TimedWrite> writes;
    for (int round = 0; round < rounds; ++round) {
        player.rewind(0);
        tap.writes.clear();
        tap.frame = 0;
        frames = 0;
        timed.spent = Clock::duration::zero();
        auto start = Clock::now();
        velk::render::renderSong(timed, tap, format, keep);
        withEngine.push_back(milliseconds(Clock::now() - start));
        inEngine.push_back(milliseconds(timed.spent));
        songFrames = frames;
        writes = tap.writes;

        start = Clock::now();
        chip.init();
        for (std::uint64_t done = 0; done < songFrames;) {
            const int n = static_cast<int>(std::min<std::uint64_t>(block, songFrames - done));
            chip.update(reinterpret_cast<short *>(pcm.data() + done * 4), n);
            done += static_cast<std::uint64_t>(n);
        }
        idle.push_back(milliseconds(Clock::now() - start));

        start = Clock::now();
        replayWrites(chip, writes, songFrames, 4, pcm);
        replay.push_back(milliseconds(Clock::now() - start));
    }
    auto best = [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); };
    std::vector<double> shares;
    for (int round = 0; round < rounds; ++round)
        shares.push_back(100.0 * inEngine[round] / withEngine[round]);
    std::sort(shares.begin(), shares.end());

    std::printf("rendering %llu frames (%.1f s at %d Hz) to memory, best of %d rounds:\n",
                static_cast<unsigned long long>(songFrames), static_cast<double>(songFrames) / format.rate,
                format.rate, rounds);
    std::printf("  engine + CEmuopl:                  %8.2f ms, of which the engine's updates %.2f ms\n",
                best(withEngine), best(inEngine));
    std::printf("  CEmuopl alone, idle:               %8.2f ms\n", best(idle));
    std::printf("  CEmuopl alone, replaying the song: %8.2f ms (%zu register writes at their frames)\n", best(replay),
                writes.size());
    std::printf("engine's share of rendering: %.2f%% (median over rounds of its updates' time within the same "
                "rendering; target under 5%%)\n",
                shares[shares.size() / 2]);

    // Each emulator velkrender offers, one OPL2 on both speakers, rendering
    // the same song through the engine; the emulators take turns.
    const velk_emulator emulators[] = {VELK_EMULATOR_SATOH, VELK_EMULATOR_NUKED, VELK_EMULATOR_WOODY,
                                       VELK_EMULATOR_KEN};
    const char *names[] = {"satoh", "nuked", "woody", "ken"};
    std::vector<double> emulatorMs[4];
    for (int round = 0; round < 3; ++round)
        for (int e = 0; e < 4; ++e) {
            const std::unique_ptr<Copl> other = velk::lib::makeEmulatorChip(emulators[e], format.rate, 2);
            velk::RolPlayer otherPlayer(other.get());
            binisstream rol(const_cast<std::uint8_t *>(converted.rol.data()), converted.rol.size());
            rol.setFlag(binio::BigEndian, false);
            rol.setFlag(binio::FloatIEEE);
            if (!otherPlayer.loadSong(rol, bankPath.string(), CProvider_Filesystem()))
                return 1;
            frames = 0;
            const auto start = Clock::now();
            velk::render::renderSong(otherPlayer, *other, format, keep);
            emulatorMs[e].push_back(milliseconds(Clock::now() - start));
        }
    std::printf("each emulator through the engine, the whole song, best of 3 (ratio to satoh):\n");
    for (int e = 0; e < 4; ++e)
        std::printf("  %-6s %8.2f ms  %.2fx\n", names[e], best(emulatorMs[e]), best(emulatorMs[e]) / best(emulatorMs[0]));
    return 0;
}
