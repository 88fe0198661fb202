// velk_seek_truth: the seek check over many generated songs, the shared
// songs and kept cases, per emulator, with totals; the ordinary test run
// does a smaller share of the same.
//
//   velk_seek_truth [--seeds FIRST-LAST] [--targets N] [--emulators nuked,satoh,woody,ken]
//                   [--song FILE.ims]... [--case FILE.txt]... [--keep DIR] [--small] [--indexed] [--quiet]
//
// --indexed seeks after building each seeking handle's seek index.
// --keep writes each generated song that fails as a case file into DIR.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/libvelk/seek_truth.h"
#include "tests/libvelk/song_generator.h"

using namespace velk::test;

namespace {

struct Totals {
    int songs = 0, failed = 0, silenced = 0, windows = 0, off = 0;
    double worstVoice = 0.0, worstMix = 0.0;
    std::vector<double> seekMs;
};

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    unsigned first = 0, last = 99;
    int targetCount = 4;
    bool quiet = false, small = false;
    TruthOptions options;
    std::string keep;
    std::vector<std::string> songs, cases;
    std::vector<velk_emulator> emulators = {VELK_EMULATOR_NUKED, VELK_EMULATOR_SATOH, VELK_EMULATOR_WOODY,
                                            VELK_EMULATOR_KEN};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--seeds" && more) {
            if (std::sscanf(argv[++i], "%u-%u", &first, &last) != 2) {
                std::fprintf(stderr, "--seeds takes FIRST-LAST\n");
                return 2;
            }
        } else if (a == "--targets" && more) {
            targetCount = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--emulators" && more) {
            emulators.clear();
            std::istringstream in(argv[++i]);
            for (std::string name; std::getline(in, name, ',');) {
                const int e = velk_emulator_named(name.c_str());
                if (e < 0) {
                    std::fprintf(stderr, "no emulator \"%s\"\n", name.c_str());
                    return 2;
                }
                emulators.push_back(static_cast<velk_emulator>(e));
            }
        } else if (a == "--song" && more) {
            songs.push_back(argv[++i]);
        } else if (a == "--case" && more) {
            cases.push_back(argv[++i]);
        } else if (a == "--keep" && more) {
            keep = argv[++i];
        } else if (a == "--small") {
            small = true;
        } else if (a == "--indexed") {
            options.indexed = true;
        } else if (a == "--quiet") {
            quiet = true;
        } else {
            std::fprintf(stderr, "usage: %s [--seeds FIRST-LAST] [--targets N] [--emulators LIST] [--song FILE]... "
                                 "[--case FILE]... [--keep DIR] [--small] [--indexed] [--quiet]\n", argv[0]);
            return 2;
        }
    }

    struct Job {
        std::string name;
        SongOpener open;
        std::vector<std::int64_t> targets;
        MadeSong made;  // for --keep
    };
    std::vector<Job> jobs;
    for (const std::string &path : songs) {
        Job job{path, fileOpener(path), {}, {}};
        job.targets = targetsOf(job.open, 1, 2 * targetCount, {});
        jobs.push_back(job);
    }
    for (const std::string &path : cases) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        const std::optional<MadeSong> made = parseCaseText(path, text.str());
        std::string error;
        const std::optional<SongBytes> bytes = made ? buildSong(*made, error) : std::nullopt;
        if (!bytes) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), made ? error.c_str() : "not a case file");
            return 2;
        }
        Job job{path, memoryOpener(*bytes), {}, *made};
        job.targets = targetsOf(job.open, 1, targetCount, made->targets);
        jobs.push_back(job);
    }
    if (songs.empty() && cases.empty()) {
        for (unsigned seed = first; seed <= last; ++seed) {
            const MadeSong made = generateSong(seed, small);
            std::string error;
            const std::optional<SongBytes> bytes = buildSong(made, error);
            if (!bytes) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 1;
            }
            Job job{made.name, memoryOpener(*bytes), {}, made};
            job.targets = targetsOf(job.open, seed, targetCount, {});
            jobs.push_back(job);
        }
    }

    std::map<velk_emulator, Totals> totals;
    for (const Job &job : jobs) {
        for (velk_emulator e : emulators) {
            const TruthReport r = checkSeeks(job.name, job.open, e, job.targets, options);
            Totals &t = totals[e];
            ++t.songs;
            t.failed += r.failed();
            t.silenced += r.silencedVoices;
            t.windows += r.comparedWindows;
            t.off += r.failedWindows;
            for (int v = 0; v < r.voices; ++v)
                if (std::fabs(r.worstDb[v]) > std::fabs(t.worstVoice))
                    t.worstVoice = r.worstDb[v];
            if (std::fabs(r.worstDb[mixIndex]) > std::fabs(t.worstMix))
                t.worstMix = r.worstDb[mixIndex];
            t.seekMs.insert(t.seekMs.end(), r.seekMs.begin(), r.seekMs.end());
            if (!quiet || r.failed())
                std::printf("%s%s%s\n", describe(r).c_str(), r.failed() ? "\n    first: " : "",
                            r.failed() ? r.firstFailure.c_str() : "");
            if (r.failed() && !keep.empty() && !job.made.songText.empty()) {
                MadeSong kept = job.made;
                kept.targets = job.targets;
                std::string file = keep + "/" + job.name + ".txt";
                std::replace(file.begin() + static_cast<long>(keep.size()) + 1, file.end(), ' ', '-');
                std::ofstream(file) << caseText(kept);
            }
        }
    }
    bool allPassed = true;
    for (const auto &[e, t] : totals) {
        std::printf("%-5s: %d of %d songs fail, %d of %d windows off; worst voice %+.2f dB, worst mix %+.2f dB; "
                    "%d voices left silent; seek median %.1f ms, worst %.1f ms\n",
                    velk_emulator_name(e), t.failed, t.songs, t.off, t.windows, t.worstVoice, t.worstMix, t.silenced,
                    medianOf(t.seekMs), t.seekMs.empty() ? 0.0 : *std::max_element(t.seekMs.begin(), t.seekMs.end()));
        allPassed &= t.failed == 0;
    }
    return allPassed ? 0 : 1;
}
