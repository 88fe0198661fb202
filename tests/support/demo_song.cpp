#include "tests/support/demo_song.h"

#include <optional>

#include "tests/support/files.h"
#include "tools/bankmaker/bank_text.h"
#include "tools/imsmaker/song_text.h"
#include "tools/imsmaker/ims_writer.h"

namespace velk::test {

bool writeDemoSong(const std::filesystem::path &dir)
{
    const std::filesystem::path sources = VELK_DEMO_DIR;
    ims::SongTextError error;
    const std::optional<ims::SongSource> song = ims::parseSongText(readText(sources / "demo-song.txt"), error);
    const bank::ParsedBank bank = bank::parseBankText(readText(sources / "demo-bank.txt"));
    if (!song || !bank.error.empty() || bank.instruments.empty())
        return false;
    writeFile(dir / "demo.ims", ims::writeSong(*song));
    writeFile(dir / "demo.bnk", bank::writeBank(bank.instruments));
    return true;
}

} // namespace velk::test
