#include "module/song_info.h"

#include <binio.h>
#include <binstr.h>
#include <fprovide.h>
#include <silentopl.h>

#include <cstdio>
#include <string>

#include "common/bytes.h"
#include "common/whole_file.h"
#include "converter/conversion.h"
#include "imsplayer/title_decoding.h"
#include "module/ims_file_test.h"
#include "playback/song_length.h"
#include "rol/rol_player.h"

namespace velk {
namespace {

// A bank header that lists no instruments: every timbre then gets an empty
// one. Timing never depends on instruments, so the length is that of the
// song with its real bank, and no bank file need lie beside it.
class EmptyBank : public CFileProvider {
public:
    binistream *open(std::string) const override
    {
        auto *stream = new binisstream(header_, sizeof header_);
        stream->setFlag(binio::BigEndian, false);
        stream->setFlag(binio::FloatIEEE);
        return stream;
    }
    void close(binistream *stream) const override { delete stream; }

private:
    // Version, signature, no names in use, name list and records at 0.
    static inline std::uint8_t header_[20] = {};
};

} // namespace

std::optional<SongInfo> readSongInfo(const char *fileName)
{
    try {
        if (!isImsSongFile(fileName))
            return std::nullopt;
        Bytes song;
        if (!readWholeFile(fileName, song))
            return std::nullopt;
        const converter::ConversionResult converted = converter::convertImsToRol(song);
        if (!converted.converted())
            return std::nullopt;

        binisstream rol(const_cast<std::uint8_t *>(converted.rol.data()), converted.rol.size());
        rol.setFlag(binio::BigEndian, false);
        rol.setFlag(binio::FloatIEEE);
        CSilentopl chip;
        RolPlayer player(&chip);
        if (!player.loadSong(rol, std::string(), EmptyBank()))
            return std::nullopt;
        return SongInfo{decodeTitle(titleFieldOf(song.data(), song.size())),
                        static_cast<int>(measureSongLength(player, 0))};
    } catch (...) {
        // No memory for a large file, say: the host learns only "unknown".
        return std::nullopt;
    }
}

} // namespace velk
