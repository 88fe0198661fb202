/* velk.h: plays IMS songs (Iyagi Music Song) and ROL songs (AdLib Visual
 * Composer) on an emulated OPL2 chip.
 *
 * One handle per song. Handles are independent: different songs may be
 * opened, rendered and closed on different threads at the same time; one
 * handle must not be used by two threads at once. The library keeps no
 * global mutable state of its own beyond what guards AdPlug's emulators
 * that share state between their chips: satoh and woody are called under
 * one lock, each chip with its own rand() sequence (glibc), so that a song
 * renders the same bytes alone or beside others; Ken Silverman's emulator,
 * built on globals, plays one song at a time (see VELK_EMULATOR_KEN).
 *
 * Text is UTF-8 unless a name says otherwise. Times are milliseconds of the
 * song. Nothing throws across this boundary; a failed allocation is
 * VELK_ERROR_OUT_OF_MEMORY.
 */
#ifndef VELK_H
#define VELK_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define VELK_API
#elif defined(VELK_BUILDING_LIBRARY)
#define VELK_API __attribute__((visibility("default")))
#else
#define VELK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define VELK_VERSION_MAJOR 1
#define VELK_VERSION_MINOR 1
#define VELK_VERSION_PATCH 0
/* 0xMMmmpp: comparable as a number. */
#define VELK_VERSION ((VELK_VERSION_MAJOR << 16) | (VELK_VERSION_MINOR << 8) | VELK_VERSION_PATCH)
#define VELK_VERSION_STRING "1.1.0"

/* The version of the library that is running, as VELK_VERSION. */
VELK_API uint32_t velk_version(void);
/* The same as text ("1.1.0"). */
VELK_API const char *velk_version_string(void);

typedef enum velk_error {
    VELK_OK = 0,
    VELK_ERROR_INVALID_ARGUMENT = 1, /* a null handle, buffer or path; a value out of range */
    VELK_ERROR_OUT_OF_MEMORY = 2,
    VELK_ERROR_FILE = 3,    /* the song file cannot be opened or read */
    VELK_ERROR_FORMAT = 4,  /* neither an IMS nor a ROL song, or one that cannot be played */
    VELK_ERROR_NO_BANK = 5, /* no instrument bank beside the song (the message names the paths tried) */
    VELK_ERROR_BANK = 6,    /* the bank cannot be read, or lacks what the song needs */
    VELK_ERROR_BUSY = 7     /* a resource only one song may hold at a time (VELK_EMULATOR_KEN) */
} velk_error;

/* A fixed English description of a code, for when there is no handle. */
VELK_API const char *velk_error_string(velk_error error);

typedef enum velk_emulator {
    VELK_EMULATOR_DEFAULT = 0, /* the library's choice: VELK_EMULATOR_NUKED */
    VELK_EMULATOR_SATOH = 1,   /* AdPlug's CEmuopl: what the Winamp plug-in plays (about 6 dB hotter, clips) */
    VELK_EMULATOR_NUKED = 2,   /* Nuked OPL3: the chip's own sound and level */
    VELK_EMULATOR_WOODY = 3,   /* DOSBox's */
    VELK_EMULATOR_KEN = 4      /* Ken Silverman's: one song at a time per process, else VELK_ERROR_BUSY */
} velk_emulator;

/* "satoh", "nuked", "woody", "ken" (and "default"); NULL for other values. */
VELK_API const char *velk_emulator_name(velk_emulator emulator);
/* The emulator of that name (as velk_emulator_name gives it); -1 for none. */
VELK_API int velk_emulator_named(const char *name);

/* Options given at open. The first member is the struct's own size, so that
 * later versions can add members: set it with velk_options_init (or to
 * sizeof(velk_options)); the library reads only the members that size
 * covers and takes the defaults for the rest. A null options pointer means
 * every default. */
typedef struct velk_options {
    size_t size;
    int sample_rate;         /* 8000 to 192000; 0: 44100 */
    int channels;            /* 1 or 2; 0: 2 */
    velk_emulator emulator;  /* VELK_EMULATOR_DEFAULT: Nuked */
    int pitch_bends;         /* non-zero: pitch events bend notes; 0 (default): they are silent */
    const char *bank_path;   /* the instrument bank to use; NULL: found beside the song */
    /* Memory opens only: the path the song's bytes came from (or NULL), so
     * that its bank and lyric file are found beside it as for velk_open_file. */
    const char *location;
} velk_options;

/* Fills in the size and every default. */
VELK_API void velk_options_init(velk_options *options);

typedef struct velk_song velk_song;

/* Opens an IMS or ROL song, recognised by its content. The bank is
 * options->bank_path, else the song's own .bnk beside it, else standard.bnk
 * in its folder, each found in any case. A lyric file beside an IMS song
 * (its own name with .iss, in any case) is read too.
 *
 * As with sqlite3_open: unless memory runs out or `out` is null, *out gets a
 * handle even when the open fails, whose velk_error_message says why; close
 * it with velk_close. Only velk_last_error, velk_error_message and
 * velk_close may be used on a handle whose open failed. */
VELK_API velk_error velk_open_file(const char *path, const velk_options *options, velk_song **out);

/* The same from memory: the song's bytes and, separately, the bank's (both
 * copied; bank may be NULL to use options->bank_path or options->location). */
VELK_API velk_error velk_open_memory(const void *song, size_t song_size, const void *bank, size_t bank_size,
                                     const velk_options *options, velk_song **out);

/* Frees the handle and all it holds. NULL is ignored. */
VELK_API void velk_close(velk_song *song);

/* The code of the last call on the handle that failed (VELK_OK when none has),
 * and its message (never NULL; "" for none). The message lives until the next
 * call on the handle. */
VELK_API velk_error velk_last_error(const velk_song *song);
VELK_API const char *velk_error_message(const velk_song *song);

/* The title: UTF-8, and the raw EUC-KR bytes the Winamp plug-in shows, both
 * NUL-terminated ("" for ROL songs). NULL for a null handle. */
VELK_API const char *velk_title(const velk_song *song);
VELK_API const char *velk_title_euckr(const velk_song *song);

/* The song's length in ms, the same number the Winamp plug-in's GetLength
 * gives; -1 for a null handle. */
VELK_API int64_t velk_length_ms(const velk_song *song);

/* Ticks per second at the current position (tempo events change it); 0 for
 * a null handle. */
VELK_API double velk_tick_rate(const velk_song *song);

/* The output format the song renders in. 0 for a null handle. */
VELK_API int velk_sample_rate(const velk_song *song);
VELK_API int velk_channels(const velk_song *song);

/* Renders up to `frames` frames of interleaved signed 16-bit samples (native
 * byte order) into `buffer` (frames x channels values). Returns the frames
 * written: fewer than asked only at the song's end, 0 once the song has
 * ended; -1 on an error (null handle or buffer, zero frames). */
VELK_API long velk_render(velk_song *song, int16_t *buffer, size_t frames);

/* The time of the music the next velk_render gives, in ms; -1 for a null
 * handle. */
VELK_API int64_t velk_position_ms(const velk_song *song);

/* Moves to the first tick at or after `ms` (forward by stepping the song
 * without rendering, back by starting again); past the end, to the end. */
VELK_API velk_error velk_seek_ms(velk_song *song, int64_t ms);

/* Lyrics: the lyric file (.iss) beside an IMS song opened from a path (or
 * located with options->location), or given with velk_set_lyrics. A file
 * that is no lyric file is ignored; the song plays all the same. */

/* Reads lyrics from memory in place of any found beside the song. An empty
 * or NULL buffer removes them. VELK_ERROR_FORMAT, with a message, when the
 * bytes are no lyric file: the song keeps no lyrics then, and plays on. */
VELK_API velk_error velk_set_lyrics(velk_song *song, const void *data, size_t size);

/* Why the lyric file found beside the song was ignored, or NULL when there
 * was none or it was read. */
VELK_API const char *velk_lyrics_problem(const velk_song *song);

/* The credits (four texts; some may be "") and the text lines. Counts are 0
 * when the song has no lyrics; texts are NULL for an index out of range. */
VELK_API int velk_lyrics_credit_count(const velk_song *song);
VELK_API const char *velk_lyrics_credit(const velk_song *song, int index);
VELK_API int velk_lyrics_line_count(const velk_song *song);
VELK_API const char *velk_lyrics_line(const velk_song *song, int index);

/* One highlight: at `time_ms` of the song, bytes [first, end) of line `line`
 * (UTF-8 offsets, on character boundaries) light up. */
typedef struct velk_highlight {
    int64_t time_ms;
    int line;
    size_t first;
    size_t end;
} velk_highlight;

/* The highlights in playing order (by time; records of equal time keep the
 * file's order). */
VELK_API size_t velk_lyrics_highlight_count(const velk_song *song);
VELK_API velk_error velk_lyrics_highlight(const velk_song *song, size_t index, velk_highlight *out);

#ifdef __cplusplus
}
#endif

#endif /* VELK_H */
