#include "tools/velkrender/song_registers.h"

#include <binio.h>
#include <binstr.h>
#include <fprovide.h>
#include <player.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include "converter/conversion.h"
#include "converter/ims_song.h"
#include "imsplayer/title_decoding.h"
#include "platform/euckr_to_utf8.h"
#include "rol/bank_choice.h"
#include "rol/path_exists.h"
#include "rol/rol_player.h"
#include "tools/velkrender/register_log.h"
#include "tools/velkrender/song_files.h"

namespace velk::render {
namespace {

// Songs longer than this are cut, as AdPlug's own songlength does.
constexpr double maxSongMs = 36000000.0;

// Why the bank chosen for `song` (or given as `bank`) could not be opened,
// naming the paths looked at.
std::string bankFailure(const std::string &song, const std::string &bank)
{
    if (!bank.empty())
        return "the instrument bank " + bank + " cannot be opened";
    const std::string chosen = chooseBankPath(song);
    if (pathExists(chosen))
        return "the instrument bank " + chosen + " cannot be opened";
    return "no instrument bank: looked for " + songBankPath(song) + " and " + standardBankPath(song) +
           ", each in any case";
}

// Why a player could not read its song.
std::string loadFailure(const RolPlayer &player, const std::string &song, const std::string &bank)
{
    if (player.loadStatus() == rol::SongReadStatus::bankUnavailable)
        return bankFailure(song, bank);
    return rol::describe(player.loadStatus());
}

// Converts the IMS song at `path` in process and reads the ROL song with the
// bank chosen beside the IMS song (or `bank`). `title` gets the song's title
// as UTF-8.
bool loadImsSong(const std::string &path, const std::string &bank, RolPlayer &player, std::string &title,
                 std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the song";
        return false;
    }
    const Bytes song{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    title = euckrToUtf8(decodeTitle(titleFieldOf(song.data(), song.size())));

    converter::ConversionResult converted = converter::convertImsToRol(song);
    if (!converted.converted()) {
        error = converted.reason;
        return false;
    }
    binisstream rol(converted.rol.data(), converted.rol.size());
    rol.setFlag(binio::BigEndian, false);
    rol.setFlag(binio::FloatIEEE);
    const CProvider_Filesystem files;
    if (!player.loadSong(rol, bank.empty() ? chooseBankPath(path) : bank, files)) {
        error = loadFailure(player, path, bank);
        return false;
    }
    return true;
}

// `song` loaded into a player on `chip`, or null with `outcome.error` saying
// why. An IMS song's title goes to `outcome.title` (UTF-8).
std::unique_ptr<CPlayer> loadSong(const Options &options, const std::string &song, Copl &chip,
                                  SongOutcome &outcome)
{
    const CProvider_Filesystem files;
    auto player = std::make_unique<RolPlayer>(&chip);
    player->setPitchBends(options.pitchBends);
    outcome.ims = lowerExtension(song) == ".ims";
    if (outcome.ims) {
        if (!loadImsSong(song, options.bank, *player, outcome.title, outcome.error))
            return nullptr;
        return player;
    }
    bool loaded = false;
    if (options.bank.empty()) {
        loaded = player->load(song, files);
    } else if (binistream *stream = files.open(song)) {
        loaded = player->loadSong(*stream, options.bank, files);
        files.close(stream);
    } else {
        outcome.error = "cannot open the song";
        return nullptr;
    }
    if (!loaded) {
        outcome.error = loadFailure(*player, song, options.bank);
        return nullptr;
    }
    return player;
}

} // namespace

SongOutcome listRegisters(const Options &options, const std::string &song, const std::string &path,
                          const Announce &announce)
{
    SongOutcome outcome;
    const bool toStdout = path == "-";
    std::FILE *out = toStdout ? stdout : std::fopen(path.c_str(), "w");
    if (!out) {
        outcome.error = "cannot write " + path;
        return outcome;
    }
    RegisterLog log(out);
    std::unique_ptr<CPlayer> player = loadSong(options, song, log, outcome);
    if (!player) {
        // A song that cannot load leaves no empty list behind to pass for one.
        if (!toStdout) {
            std::fclose(out);
            removeFailedOutput(path);
        }
        return outcome;
    }
    outcome.lengthMs = player->songlength(0);
    announce(outcome);

    log.setTick("-");
    player->rewind(0);
    double ms = 0.0;
    for (unsigned long tick = 0; ms < maxSongMs; ++tick) {
        log.setTick(std::to_string(tick));
        if (!player->update())
            break;
        ms += 1000.0 / player->getrefresh();
    }
    const bool written = std::fflush(out) == 0 && !std::ferror(out);
    if (!toStdout)
        std::fclose(out);
    if (!written)
        outcome.error = "cannot write " + path;
    else if (!toStdout)
        outcome.outputs.push_back(path);
    return outcome;
}

} // namespace velk::render
