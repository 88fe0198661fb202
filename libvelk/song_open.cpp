#include "libvelk/song_open.h"

#include <binio.h>
#include <binstr.h>
#include <fprovide.h>
#include <opl.h>

#include <cstddef>
#include <string>

#include "converter/conversion.h"
#include "converter/ims_song.h"
#include "imsplayer/title_decoding.h"
#include "libvelk/emulator_chip.h"
#include "libvelk/song_snapshot.h"
#include "libvelk/handle_errors.h"
#include "libvelk/song_handle.h"
#include "libvelk/song_lyrics.h"
#include "libvelk/song_score.h"
#include "libvelk/voice_attenuation.h"
#include "platform/euckr_to_utf8.h"
#include "playback/song_length.h"
#include "rol/bank_choice.h"
#include "rol/path_exists.h"
#include "rol/rol_format.h"
#include "rol/rol_player.h"

namespace velk::lib {
namespace {

// A bank held in memory, served under any name the reader asks for.
class MemoryBank : public CFileProvider {
public:
    explicit MemoryBank(const Bytes &bytes) : bytes_(bytes) {}
    binistream *open(std::string) const override
    {
        auto *stream = new binisstream(const_cast<std::uint8_t *>(bytes_.data()), bytes_.size());
        stream->setFlag(binio::BigEndian, false);
        stream->setFlag(binio::FloatIEEE);
        return stream;
    }
    void close(binistream *stream) const override { delete stream; }

private:
    const Bytes &bytes_;
};

bool isRolSong(const Bytes &song)
{
    return song.size() >= 4 && getU16(song.data() + rol::header::majorVersion) == rol::majorVersion &&
           getU16(song.data() + rol::header::minorVersion) == rol::minorVersion;
}

// The bank to read, or an error naming what was looked for.
struct BankChoice {
    std::string path;
    velk_error error = VELK_OK;
    std::string message;
};

BankChoice chooseBank(const velk_options &options, const std::string &location)
{
    if (options.bank_path)
        return {options.bank_path, VELK_OK, ""};
    if (location.empty())
        return {"", VELK_ERROR_NO_BANK,
                "no instrument bank: the song has no location to look beside; give the bank's bytes, "
                "options.bank_path or options.location"};
    const std::string chosen = chooseBankPath(location);
    if (!pathExists(chosen))
        return {"", VELK_ERROR_NO_BANK,
                "no instrument bank: looked for " + songBankPath(location) + " and " + standardBankPath(location) +
                    ", each in any case"};
    return {chosen, VELK_OK, ""};
}

} // namespace

bool resolveOptions(const velk_options *given, velk_options &resolved, const char *&error)
{
    velk_options_init(&resolved);
    if (!given)
        return true;
    if (given->size < sizeof given->size) {
        error = "options.size must be set (velk_options_init, or sizeof(velk_options))";
        return false;
    }
#define VELK_TAKE(member)                                                                     \
    if (given->size >= offsetof(velk_options, member) + sizeof given->member) \
        resolved.member = given->member;
    VELK_TAKE(sample_rate)
    VELK_TAKE(channels)
    VELK_TAKE(emulator)
    VELK_TAKE(pitch_bends)
    VELK_TAKE(bank_path)
    VELK_TAKE(location)
#undef VELK_TAKE
    if (resolved.sample_rate == 0)
        resolved.sample_rate = 44100;
    if (resolved.channels == 0)
        resolved.channels = 2;
    if (resolved.emulator == VELK_EMULATOR_DEFAULT)
        resolved.emulator = VELK_EMULATOR_NUKED;
    if (resolved.sample_rate < 8000 || resolved.sample_rate > 192000) {
        error = "options.sample_rate must be 8000 to 192000";
        return false;
    }
    if (resolved.channels != 1 && resolved.channels != 2) {
        error = "options.channels must be 1 or 2";
        return false;
    }
    if (!velk_emulator_name(resolved.emulator)) {
        error = "options.emulator is no emulator velk_emulator names";
        return false;
    }
    return true;
}

velk_error openSong(velk_song &handle, const Bytes &song, const Bytes *bank, const velk_options &options)
{
    handle.sampleRate = options.sample_rate;
    handle.channels = options.channels;
    handle.emulator = options.emulator;
    handle.pitchBends = options.pitch_bends != 0;

    // The plug-in's test of an IMS song's head; a ROL song by its version.
    Bytes converted;
    const Bytes *rolBytes = &song;
    if (song.size() >= ims::headSize && ims::hasImsHead(song.data())) {
        handle.ims = true;
        handle.imsBytes = song;
        handle.titleEuckr = decodeTitle(titleFieldOf(song.data(), song.size()));
        handle.titleUtf8 = euckrToUtf8(handle.titleEuckr);
        converter::ConversionResult result = converter::convertImsToRol(song);
        if (!result.converted())
            return setError(handle, VELK_ERROR_FORMAT, "the IMS song cannot be played: " + result.reason);
        handle.convertedSong = std::move(result.song);
        converted = std::move(result.rol);
        rolBytes = &converted;
    } else if (!isRolSong(song)) {
        return setError(handle, VELK_ERROR_FORMAT,
                        "neither an IMS song (head 01 or 10, then five zero bytes) nor a ROL song (version 0.4)");
    } else if (song.size() < rol::header::size) {
        // The reader would take the missing bytes for an empty song.
        return setError(handle, VELK_ERROR_FORMAT, "the ROL song is cut short inside its header");
    }

    BankChoice choice;
    if (!bank) {
        choice = chooseBank(options, handle.location);
        if (choice.error != VELK_OK)
            return setError(handle, choice.error, choice.message);
    }

    std::unique_ptr<VoiceAttenuation> chip = makeEmulatorChip(handle.emulator, handle.sampleRate, handle.channels);
    handle.voices = chip.get();
    handle.chip = std::move(chip);
    handle.player = std::make_unique<RolPlayer>(handle.chip.get());
    handle.player->setPitchBends(handle.pitchBends);
    binisstream stream(const_cast<std::uint8_t *>(rolBytes->data()), rolBytes->size());
    stream.setFlag(binio::BigEndian, false);
    stream.setFlag(binio::FloatIEEE);
    bool loaded;
    if (bank) {
        loaded = handle.player->loadSong(stream, "bank", MemoryBank(*bank));
    } else {
        const CProvider_Filesystem files;
        loaded = handle.player->loadSong(stream, choice.path, files);
    }
    if (!loaded) {
        const rol::SongReadStatus status = handle.player->loadStatus();
        handle.player.reset();
        handle.chip.reset();
        handle.voices = nullptr;
        if (status == rol::SongReadStatus::bankUnavailable)
            return setError(handle, VELK_ERROR_BANK, "the instrument bank " + choice.path + " cannot be opened");
        return setError(handle, VELK_ERROR_FORMAT, std::string("the ROL song cannot be played: ") + rol::describe(status));
    }
    // The length GetLength gives, measured on a silent chip; then from the
    // start again on the song's own chip, as velkrender always did.
    handle.lengthMs = static_cast<std::int64_t>(measureSongLength(*handle.player, 0));
    handle.player->rewind(0);
    handle.voiceCount = voiceCountOf(handle);
    findLyricsBeside(handle);
    keepOpeningState(handle);
    handle.open = true;
    return VELK_OK;
}

} // namespace velk::lib
