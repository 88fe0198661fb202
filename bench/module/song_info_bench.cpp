// File information of a song that is not playing, figures from one run: the
// time GetFileInfo takes for a real song (target: under 5 ms), and its
// parts: reading the file and the conversion; the rest is reading the ROL
// song and stepping through it to measure its length. Then the same song
// asked about again, answered from the module's cache.
//
//   song_info_bench [song.ims]

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "bench/timing.h"
#include "common/bytes.h"
#include "converter/conversion.h"
#include "module/song_info.h"
#include "module/song_info_cache.h"

using namespace velk::bench;

int main(int argc, char **argv)
{
    const std::string song = argc > 1 ? argv[1] : VELK_SONGS_DIR "/go-_-go.ims";
    const std::optional<velk::SongInfo> info = velk::readSongInfo(song.c_str());
    if (!info) {
        std::fprintf(stderr, "song_info_bench: %s is no IMS song that plays\n", song.c_str());
        return 1;
    }
    std::printf("%s: length %d ms\n", song.c_str(), info->lengthMs);

    const int rounds = 300;

    velk::Bytes bytes;
    const Figures read = measure(rounds, [&] {
        std::ifstream in(song, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    });
    velk::converter::ConversionResult converted;
    const Figures convert = measure(rounds, [&] { converted = velk::converter::convertImsToRol(bytes); });
    const Figures whole = measure(rounds, [&] { velk::readSongInfo(song.c_str()); });
    velk::cachedSongInfo(song.c_str());
    const Figures cached = measure(rounds, [&] { velk::cachedSongInfo(song.c_str()); });

    std::printf("GetFileInfo's work for a song not playing: median %.2f ms of %d (best %.2f); target under 5 ms\n",
                whole.median, rounds, whole.best);
    std::printf("  reading the file %.2f ms, converting %.2f ms; the rest (reading and measuring the ROL song)\n"
                "  about %.2f ms\n",
                read.median, convert.median, whole.median - read.median - convert.median);
    std::printf("  a playlist of 500 such songs: about %.1f s\n", whole.median * 500 / 1000.0);
    std::printf("asked again, the file unchanged (the module's cache): median %.3f ms (%.0f times faster)\n",
                cached.median, whole.median / cached.median);
    return 0;
}
