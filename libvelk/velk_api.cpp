// The C boundary: every function checks its arguments, and no exception
// leaves it (a failed allocation becomes VELK_ERROR_OUT_OF_MEMORY).
#include <climits>
#include <new>
#include <string>

#include "common/whole_file.h"
#include "libvelk/emulator_chip.h"
#include "libvelk/handle_errors.h"
#include "libvelk/song_handle.h"
#include "libvelk/song_open.h"
#include "libvelk/song_loudness.h"
#include "libvelk/song_render.h"
#include "libvelk/voice_attenuation.h"
#include "libvelk/velk.h"

#include <opl.h>

#include "rol/rol_player.h"

using velk::lib::setError;

namespace {

// Runs `body` on the handle, turning what it throws into the handle's error.
template <typename Body>
velk_error guarded(velk_song &song, Body body)
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return setError(song, VELK_ERROR_OUT_OF_MEMORY, "out of memory");
    } catch (const velk::lib::EmulatorBusy &busy) {
        return setError(song, VELK_ERROR_BUSY, busy.what());
    } catch (const std::exception &e) {
        return setError(song, VELK_ERROR_FORMAT, std::string("the song cannot be played: ") + e.what());
    } catch (...) {
        return setError(song, VELK_ERROR_FORMAT, "the song cannot be played");
    }
}

// A handle that has not yet failed, or null when even that cannot be had.
velk_song *newHandle(velk_song **out)
{
    if (!out)
        return nullptr;
    *out = new (std::nothrow) velk_song;
    return *out;
}

// False (with the error set) when the handle holds no song to play.
bool playable(velk_song &song)
{
    if (song.open)
        return true;
    setError(song, VELK_ERROR_INVALID_ARGUMENT, "the song did not open");
    return false;
}

// Frees what a failed open left, keeping the error.
velk_error keepOnlyError(velk_song &song, velk_error error)
{
    if (error != VELK_OK) {
        song.player.reset();
        song.chip.reset();
        song.voices = nullptr;
        song.imsBytes = velk::Bytes();
        song.open = false;
    }
    return error;
}

} // namespace

extern "C" {

VELK_API uint32_t velk_version(void) { return VELK_VERSION; }

VELK_API const char *velk_version_string(void) { return VELK_VERSION_STRING; }

VELK_API const char *velk_error_string(velk_error error)
{
    switch (error) {
    case VELK_OK: return "no error";
    case VELK_ERROR_INVALID_ARGUMENT: return "invalid argument";
    case VELK_ERROR_OUT_OF_MEMORY: return "out of memory";
    case VELK_ERROR_FILE: return "the song file cannot be opened or read";
    case VELK_ERROR_FORMAT: return "not a song that can be played";
    case VELK_ERROR_NO_BANK: return "no instrument bank beside the song";
    case VELK_ERROR_BANK: return "the instrument bank cannot be read";
    case VELK_ERROR_BUSY: return "the emulator is in use by another song";
    }
    return "unknown error";
}

VELK_API const char *velk_emulator_name(velk_emulator emulator)
{
    switch (emulator) {
    case VELK_EMULATOR_DEFAULT: return "default";
    case VELK_EMULATOR_SATOH: return "satoh";
    case VELK_EMULATOR_NUKED: return "nuked";
    case VELK_EMULATOR_WOODY: return "woody";
    case VELK_EMULATOR_KEN: return "ken";
    }
    return nullptr;
}

VELK_API int velk_emulator_named(const char *name)
{
    if (!name)
        return -1;
    const std::string wanted = name;
    for (int e = VELK_EMULATOR_DEFAULT; e <= VELK_EMULATOR_KEN; ++e)
        if (wanted == velk_emulator_name(static_cast<velk_emulator>(e)))
            return e;
    return -1;
}

VELK_API void velk_options_init(velk_options *options)
{
    if (!options)
        return;
    *options = velk_options{};
    options->size = sizeof *options;
    options->sample_rate = 44100;
    options->channels = 2;
    options->emulator = VELK_EMULATOR_NUKED;
    options->pitch_bends = 0;
    options->bank_path = nullptr;
    options->location = nullptr;
}

VELK_API velk_error velk_open_file(const char *path, const velk_options *options, velk_song **out)
{
    velk_song *song = newHandle(out);
    if (!song)
        return out ? VELK_ERROR_OUT_OF_MEMORY : VELK_ERROR_INVALID_ARGUMENT;
    return keepOnlyError(*song, guarded(*song, [&] {
        if (!path)
            return setError(*song, VELK_ERROR_INVALID_ARGUMENT, "no path given");
        velk_options resolved;
        const char *problem = nullptr;
        if (!velk::lib::resolveOptions(options, resolved, problem))
            return setError(*song, VELK_ERROR_INVALID_ARGUMENT, problem);
        song->location = path;
        velk::Bytes bytes;
        if (!velk::readWholeFile(path, bytes))
            return setError(*song, VELK_ERROR_FILE, std::string("cannot open or read ") + path);
        return velk::lib::openSong(*song, bytes, nullptr, resolved);
    }));
}

VELK_API velk_error velk_open_memory(const void *data, size_t size, const void *bank, size_t bank_size,
                                     const velk_options *options, velk_song **out)
{
    velk_song *song = newHandle(out);
    if (!song)
        return out ? VELK_ERROR_OUT_OF_MEMORY : VELK_ERROR_INVALID_ARGUMENT;
    return keepOnlyError(*song, guarded(*song, [&] {
        if (!data || size == 0)
            return setError(*song, VELK_ERROR_INVALID_ARGUMENT, "no song bytes given");
        if (bank && bank_size == 0)
            return setError(*song, VELK_ERROR_INVALID_ARGUMENT, "an empty bank given");
        velk_options resolved;
        const char *problem = nullptr;
        if (!velk::lib::resolveOptions(options, resolved, problem))
            return setError(*song, VELK_ERROR_INVALID_ARGUMENT, problem);
        if (resolved.location)
            song->location = resolved.location;
        const auto *songBytes = static_cast<const std::uint8_t *>(data);
        const velk::Bytes bytes(songBytes, songBytes + size);
        if (!bank)
            return velk::lib::openSong(*song, bytes, nullptr, resolved);
        const auto *bankBytes = static_cast<const std::uint8_t *>(bank);
        const velk::Bytes bankCopy(bankBytes, bankBytes + bank_size);
        return velk::lib::openSong(*song, bytes, &bankCopy, resolved);
    }));
}

VELK_API void velk_close(velk_song *song) { delete song; }

VELK_API velk_error velk_last_error(const velk_song *song) { return song ? song->lastError : VELK_ERROR_INVALID_ARGUMENT; }

VELK_API const char *velk_error_message(const velk_song *song)
{
    return song ? song->message.c_str() : "no song handle";
}

VELK_API const char *velk_title(const velk_song *song) { return song ? song->titleUtf8.c_str() : nullptr; }

VELK_API const char *velk_title_euckr(const velk_song *song) { return song ? song->titleEuckr.c_str() : nullptr; }

VELK_API int64_t velk_length_ms(const velk_song *song) { return song ? song->lengthMs : -1; }

VELK_API double velk_tick_rate(const velk_song *song)
{
    if (!song || !song->open)
        return 0.0;
    return static_cast<double>(song->player->getrefresh());
}

VELK_API int velk_sample_rate(const velk_song *song) { return song && song->open ? song->sampleRate : 0; }

VELK_API int velk_channels(const velk_song *song) { return song && song->open ? song->channels : 0; }

VELK_API long velk_render(velk_song *song, int16_t *buffer, size_t frames)
{
    if (!song)
        return -1;
    long rendered = -1;
    guarded(*song, [&] {
        if (!buffer || frames == 0)
            return setError(*song, VELK_ERROR_INVALID_ARGUMENT,
                            buffer ? "no frames asked for" : "no buffer to render into");
        if (!playable(*song))
            return VELK_ERROR_INVALID_ARGUMENT;
        // The count must fit the return type.
        const size_t most = static_cast<size_t>(LONG_MAX) / 2;
        rendered = static_cast<long>(velk::lib::renderFrames(*song, buffer, frames < most ? frames : most));
        return VELK_OK;
    });
    return rendered;
}

VELK_API int64_t velk_position_ms(const velk_song *song)
{
    if (!song)
        return -1;
    if (!song->open)
        return 0;
    return static_cast<int64_t>(velk::lib::positionMs(*song));
}

VELK_API velk_error velk_seek_ms(velk_song *song, int64_t ms)
{
    if (!song)
        return VELK_ERROR_INVALID_ARGUMENT;
    return guarded(*song, [&] {
        if (!playable(*song))
            return VELK_ERROR_INVALID_ARGUMENT;
        // The seek's stepping is unheard; the listener hears where it lands.
        song->voices->holdReports(true);
        try {
            velk::lib::seekTo(*song, ms);
        } catch (...) {
            song->voices->holdReports(false);
            throw;
        }
        song->voices->holdReports(false);
        return VELK_OK;
    });
}

VELK_API velk_error velk_measure_loudness(velk_song *song, velk_loudness *out)
{
    if (!song)
        return VELK_ERROR_INVALID_ARGUMENT;
    return guarded(*song, [&] {
        if (!out)
            return setError(*song, VELK_ERROR_INVALID_ARGUMENT, "no place to put the loudness");
        if (!playable(*song))
            return VELK_ERROR_INVALID_ARGUMENT;
        if (!velk::lib::measuresLoudness())
            return setError(*song, VELK_ERROR_INVALID_ARGUMENT,
                            "this build of the library measures no loudness (it was built without libebur128)");
        try {
            *out = velk::lib::songLoudness(*song);
        } catch (const velk::lib::EmulatorBusy &) {
            return setError(*song, VELK_ERROR_BUSY,
                            "the loudness is measured on a second chip, and Ken Silverman's emulator has only one");
        }
        return VELK_OK;
    });
}

VELK_API velk_error velk_set_write_listener(velk_song *song, velk_write_listener listener, void *user)
{
    if (!song)
        return VELK_ERROR_INVALID_ARGUMENT;
    if (!playable(*song))
        return VELK_ERROR_INVALID_ARGUMENT;
    song->voices->setWriteListener(listener, user);
    return VELK_OK;
}

} // extern "C"
