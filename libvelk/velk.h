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
#define VELK_VERSION_MINOR 4
#define VELK_VERSION_PATCH 0
/* 0xMMmmpp: comparable as a number. */
#define VELK_VERSION ((VELK_VERSION_MAJOR << 16) | (VELK_VERSION_MINOR << 8) | VELK_VERSION_PATCH)
#define VELK_VERSION_STRING "1.4.0"

/* The version of the library that is running, as VELK_VERSION. */
VELK_API uint32_t velk_version(void);
/* The same as text ("1.4.0"). */
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

/* Moves to the first tick at or after `ms`; past the end, to the end. What
 * plays from there is what a render from the start plays there, bit for bit
 * on every emulator (see "Exact seeks" for when controls make it not quite
 * so). The seek renders the song on, unheard, to the target from the latest
 * point before it that the handle knows: where the song is, a snapshot, or
 * the song's start. It costs that stretch of the chip: at most about a
 * second once snapshots reach the target, and up to the whole song's render
 * before (a 5-minute song is about 7 s of a core with Nuked, 1 s with
 * satoh): a host that seeks far into a song just opened builds its seek
 * index first, or lets one build while the song plays. */
VELK_API velk_error velk_seek_ms(velk_song *song, int64_t ms);

/* ---- Time ----------------------------------------------------------------
 * Every time in this interface (positions, lengths, seeks, lyric highlights,
 * the score, the tempo map) is song time: milliseconds of the song played at
 * its own tempo. velk_set_tempo changes how fast song time passes against
 * the frames rendered, never the numbers: at tempo 2 a 60,000 ms song still
 * has velk_length_ms 60,000 and plays in 30 s of audio, and a progress bar
 * of position over length, and the lyrics, stay right at any tempo. */

/* ---- Voices ---------------------------------------------------------------
 * A melodic song has 9 voices, each a melodic voice of the chip. A
 * percussive (rhythm-mode) song has 11: 6 melodic voices, then the bass
 * drum, snare drum, tom-tom, top cymbal and hi-hat. Voices are numbered from
 * 0 in that order; masks use bit (1u << voice). */
#define VELK_MAX_VOICES 11

/* The number of voices (9 or 11); 0 for a null handle. */
VELK_API int velk_voice_count(const velk_song *song);
/* "Voice 1" ... "Voice 9", "Bass drum", "Snare drum", "Tom-tom", "Cymbal",
 * "Hi-hat"; NULL for a voice out of range. */
VELK_API const char *velk_voice_name(const velk_song *song, int voice);
/* Non-zero for a voice of the rhythm section. */
VELK_API int velk_voice_is_rhythm(const velk_song *song, int voice);

/* ---- The score ------------------------------------------------------------
 * What the engine plays, for the whole song, from open on (the first ask
 * plays the song through once, unheard, about as long as opening takes). It
 * does not change with the listener's controls: keys are the song's own,
 * before velk_set_transpose; times are song time, on the clock of
 * velk_position_ms and the lyric highlights; a note's end is the tick its
 * key-off is written at (notes sounding at the end end with the song).
 *
 * Keys are MIDI key numbers of the pitch the engine tunes. The engine's note
 * n (the ROL song's note less 12) is C of block 0 for n = 0, F-number 340,
 * 16.1 Hz, a little under MIDI's C0: the key is n + 12, so the ROL song's
 * note number is the MIDI key and middle C (block 4, 258 Hz) is key 60.
 * Keys are held to 0..127. The rhythm voices' keys are the pitches the song
 * gives them; velk_note.key of a drum is that pitch, not a General MIDI
 * drum key. */
typedef struct velk_note {
    int voice;
    int key;             /* MIDI key, 0..127 */
    int velocity;        /* 1..127, from the voice's volume at the note's start:
                            127 x (63 - attenuation) / 63, rounded */
    int32_t start_tick;  /* in the song's ticks (velk_ticks_per_beat a beat) */
    int32_t end_tick;
    int64_t start_ms;    /* song time */
    int64_t end_ms;
    const char *instrument; /* the bank's name of the instrument it plays; lives as long as the handle */
} velk_note;

/* The notes, ordered by start (then voice); rests are not notes. */
VELK_API size_t velk_note_count(const velk_song *song);
VELK_API velk_error velk_note_at(const velk_song *song, size_t index, velk_note *out);

/* The song's ticks per beat (the resolution of the score's ticks). */
VELK_API int velk_ticks_per_beat(const velk_song *song);

/* The tempo map: from `tick` (at `time_ms`) on, the song plays at
 * `beats_per_minute`, that is `ticks_per_second` ticks a second
 * (beats_per_minute = ticks_per_second x 60 / velk_ticks_per_beat, so that a
 * MIDI file with that division and these tempos keeps the score's times).
 * The first entry is at tick 0; an entry is listed where the rate changes. */
typedef struct velk_tempo_change {
    int32_t tick;
    int64_t time_ms;
    double beats_per_minute;
    double ticks_per_second;
} velk_tempo_change;
VELK_API size_t velk_tempo_count(const velk_song *song);
VELK_API velk_error velk_tempo_at(const velk_song *song, size_t index, velk_tempo_change *out);

/* The song's pitch events (bends) of melodic voices: from `tick` on, the
 * voice is bent by `semitones` (-1 to +1). They sound only with
 * options.pitch_bends, but are listed either way. */
typedef struct velk_pitch_change {
    int voice;
    int32_t tick;
    int64_t time_ms;
    double semitones;
} velk_pitch_change;
VELK_API size_t velk_pitch_count(const velk_song *song);
VELK_API velk_error velk_pitch_at(const velk_song *song, size_t index, velk_pitch_change *out);

/* ---- Voice state ----------------------------------------------------------
 * Each voice as it is at velk_position_ms, the time of the next frame to
 * render. A frontend that buffers audio keeps the states it read after each
 * render and shows the one whose time is being heard. */
typedef struct velk_voice_state {
    int sounding;            /* non-zero while the voice's note is keyed on */
    int key;                 /* the MIDI key it plays (transposed as heard), -1 when none yet */
    const char *instrument;  /* the instrument's name, "" when none yet; lives as long as the handle */
    float level;             /* 0 to 1: see velk_voice_state_at */
} velk_voice_state;

/* The level follows what the voice makes heard: 1 at the peak of an attack
 * at full volume; it rises at a key-on at the instrument's attack rate,
 * falls at its decay rate to its sustain level (or on, when the instrument
 * does not sustain), falls at its release rate after the key-off, and is
 * scaled by the voice's volume (the output operator's attenuation as an
 * amplitude). It is worked out from the instrument's envelope and the
 * engine's key events, the same for every emulator; 0 while the voice is
 * muted. The envelope is the output operator's (the carrier; the one
 * operator of snare drum, tom-tom, cymbal and hi-hat), without key scaling:
 * the attack rises in amplitude over 2826 ms at rate 1, half that for each
 * rate above (at once at 15, never at 0); decay and release fall 96 dB in
 * 39,280 ms at rate 1, halving likewise; the sustain level is 3 dB a step;
 * the attenuation 0.75 dB a step. Times are of the frames rendered, so the
 * level follows the sound at any tempo. On the shared songs it is above 0
 * in 95 to 98% of the 50 ms stretches where the voice alone sounds, and near
 * 0 where it is silent. */
VELK_API velk_error velk_voice_state_at(const velk_song *song, int voice, velk_voice_state *out);

/* ---- A listener's controls ------------------------------------------------
 * Each takes effect from the next rendered frame, also while the song
 * plays, and none moves the position. */

/* Voices whose bit is set are silent (solo is every other bit set). Bits of
 * voices the song does not have are ignored (and not kept). With Nuked the
 * voice's share of the chip's sum is left out while its state runs on, so
 * the renders of each voice alone add up to the whole render (within a step
 * per voice, where nothing clips). With satoh, woody and Ken a muted voice's
 * operators are turned to full attenuation (its own levels come back on
 * unmuting): 47 dB down, the most the chip has, not quite nothing, and the
 * sum holds less closely. */
VELK_API velk_error velk_set_muted_voices(velk_song *song, uint32_t mask);
VELK_API uint32_t velk_muted_voices(const velk_song *song);

/* 0.25 to 4.0 (default 1): the song plays faster or slower at the same pitch
 * (each tick lasts 1/tempo as many frames); else VELK_ERROR_INVALID_ARGUMENT. */
VELK_API velk_error velk_set_tempo(velk_song *song, double tempo);
VELK_API double velk_tempo(const velk_song *song);

/* -12 to +12 semitones (default 0) on the melodic voices, notes sounding now
 * retuned at once; the rhythm voices keep their pitch. Outside the range,
 * VELK_ERROR_INVALID_ARGUMENT. */
VELK_API velk_error velk_set_transpose(velk_song *song, int semitones);
VELK_API int velk_transpose(const velk_song *song);

/* Each voice's own volume: an attenuation of `db` (0 down to -47.25) in the
 * chip's steps of 0.75 dB, rounded to the nearest step, added to the total
 * level of the voice's output operators (both operators of a voice whose
 * operators are summed), so that it is exact on every emulator and costs
 * nothing. An operator's level is held at the chip's most, 63 steps: a voice
 * already quiet in the song cannot go further down than that. Outside the
 * range or for a voice the song does not have, VELK_ERROR_INVALID_ARGUMENT.
 * Muting (velk_set_muted_voices) is apart from it and wins. */
VELK_API velk_error velk_set_voice_gain(velk_song *song, int voice, double db);
/* The voice's attenuation as set (a multiple of -0.75), 0 by default and for
 * a voice out of range. */
VELK_API double velk_voice_gain(const velk_song *song, int voice);

/* ---- Exact seeks ----------------------------------------------------------
 * A snapshot is the whole state of the engine, the chip and the rendering
 * between two ticks. A seek to T restores the latest one before T (unless
 * the song is nearer, before T) and renders forward, unheard, to T; with
 * none, it starts the song again from its open. Every emulator's chip is
 * asked for the same blocks of frames however the host asks for frames, so
 * the samples after any seek are those of a render from the start, bit for
 * bit: with Nuked, satoh (each chip's rand() state, its rhythm noise, is in
 * its snapshots), woody, and Ken Silverman's emulator. Ken's keeps its state
 * in AdPlug's globals: it has no snapshots and no seek index, and a seek
 * back starts the song again (Ken's is the second fastest emulator, about
 * 4 s of a core for a 5-minute song).
 *
 * Snapshots hold for the sound settings they were taken under: the
 * emulator, sample rate, channels and pitch bends of the open, the tempo and
 * the transposition; one taken under another tempo or transposition is not
 * used, and changing either while the song plays leaves a state no render
 * from the start has (none are taken until a seek lands exactly again).
 * They are taken under no voice gains and, but on Nuked (which mutes outside
 * the chip's state), no muting: those act in the chip's levels. A snapshot
 * restored under them takes them at once, which is not bit for bit (an
 * operator's level feeds back into its next few samples) though the same
 * to the ear; a seek that starts the song again under them is exact.
 *
 * As a song renders from its start (or from a snapshot), the handle keeps a
 * snapshot at the first tick at or after each half second of song time, so
 * that every seek back into what has played costs at most half a second of
 * the chip (with Nuked about 15 ms of a core, a few ms with satoh). A seek
 * index renders the rest ahead of time. A snapshot takes about 6 KB with
 * Nuked, 4 KB with satoh and 10 KB with woody: a 10-minute song's snapshots
 * take about 6.7 MB with Nuked (5 MB satoh, 12 MB woody). Taking them costs
 * a copy of those bytes twice a second, far under 1% of rendering. */

/* Whether a seek to `ms` now would give the bit-for-bit samples of a render
 * from the start under the current settings and controls: 1 but when the
 * seek would restore a snapshot under voice gains (or muting, on every
 * emulator but Nuked), or go on from a state that is not exact (the tempo or
 * transposition changed while the song played); 0 then, and for a handle
 * whose open failed; -1 for a null handle. */
VELK_API int velk_seek_is_exact(const velk_song *song, int64_t ms);

/* How far the snapshots reach for the current settings: song time of the
 * latest one (0 when there is none); -1 for a null handle. */
VELK_API int64_t velk_snapshot_reach_ms(const velk_song *song);

/* The memory the song's snapshots take, in bytes (0 for a null handle). */
VELK_API size_t velk_snapshot_bytes(const velk_song *song);

/* A seek index: an unheard copy of the song (the same song, bank and sound
 * settings as the handle had when the index was made, on a chip of its own)
 * that renders it from the start and hands each snapshot to the song as it
 * is taken. Building it costs about a whole render of the song. Made on the
 * song's thread; then velk_seek_index_build may run on any one thread at a
 * time, for example a thread of its own, while the song plays on its thread:
 * the handover is locked inside the library. The song and the index may be
 * closed in either order; an index whose song is closed builds for nobody
 * (velk_seek_index_build then returns 1 at once). Changing the tempo or
 * transposition later does not change what the index builds (make a new
 * one). With Ken's emulator there is no index: velk_seek_index_new fails
 * with VELK_ERROR_BUSY (a second chip would be needed). A seek beyond what
 * the index has reached renders from its latest snapshot: a host may let
 * the index build up to the target first (velk_seek_index_progress_ms) and
 * seek then, at the cost of half a second of the chip. */
typedef struct velk_seek_index velk_seek_index;

/* On failure *out is NULL and the song's velk_last_error and message say
 * why. */
VELK_API velk_error velk_seek_index_new(velk_song *song, velk_seek_index **out);

/* Renders up to `budget_ms` more of song time (0 or less: the rest of the
 * song). Returns 1 once the whole song is indexed, 0 when there is more to
 * do, -1 on an error (null index, memory ran out). */
VELK_API int velk_seek_index_build(velk_seek_index *index, int64_t budget_ms);

/* How far the index has got, in song time (its length once complete); may
 * be asked on any thread, also while it builds. -1 for a null index. */
VELK_API int64_t velk_seek_index_progress_ms(const velk_seek_index *index);

/* Stops and frees the index (what it handed over stays with the song).
 * NULL is ignored. */
VELK_API void velk_seek_index_free(velk_seek_index *index);

/* ---- Loudness -------------------------------------------------------------
 * The song's loudness as ITU-R BS.1770 / EBU R 128 measure it (libebur128),
 * for the current options and controls (emulator, tempo, transposition,
 * muting, voice gains, pitch bends), over the whole song. */
typedef struct velk_loudness {
    double integrated_lufs; /* -HUGE_VAL for a silent song */
    double sample_peak;     /* the largest sample, 1.0 = full scale */
    double true_peak;       /* 4x oversampled, as BS.1770 reckons it */
    double track_gain_db;   /* ReplayGain 2.0: -18 LUFS - integrated_lufs (0 when silent) */
} velk_loudness;

/* ReplayGain 2.0's reference loudness, in LUFS. */
#define VELK_REFERENCE_LUFS (-18.0)

/* Measures the song: renders it whole, unheard, on a copy (the position and
 * what plays next do not change), and keeps the result in the handle until
 * a control changes; a later call with the same controls costs nothing.
 * The first call costs a whole render on the calling thread: with Nuked
 * about 2.5 s of a core per minute of song (a 3.7-minute song took 8.5 s),
 * much less with the other emulators. A silent song has a track gain of 0.
 * A song on Ken's emulator cannot be measured (VELK_ERROR_BUSY: the copy
 * would need a second chip). A build without libebur128 (the WebAssembly
 * build) returns VELK_ERROR_INVALID_ARGUMENT with a message saying so. */
VELK_API velk_error velk_measure_loudness(velk_song *song, velk_loudness *out);

/* ---- The chip's writes ----------------------------------------------------
 * A listener to every register write that reaches the chip, as heard: the
 * engine's writes, muting as full attenuation and voice gains as total level
 * (so that a replay of the writes on an OPL2 sounds as the render does; with
 * Nuked, muting then also writes full attenuation). `frame` is the frame of
 * the output the write takes effect at, counted from the open: a write at
 * frame F sounds from the F-th frame velk_render gives on. Writes of a
 * seek's unheard stepping are not reported; after a seek, the first report
 * is a write of every register the chip holds (the state at the target),
 * at the frame of the seek. A listener set on a song that has rendered
 * nothing yet first hears the writes of its start (those the open made to
 * set the chip up), at frame 0; one set later hears every register the chip
 * holds, at the frame it is at. Setting a gain or muting is heard as the
 * level writes it makes. NULL removes the listener. */
typedef void (*velk_write_listener)(void *user, uint64_t frame, int reg, int value);
VELK_API velk_error velk_set_write_listener(velk_song *song, velk_write_listener listener, void *user);


/* Lyrics: the lyric file (.iss) beside an IMS song opened from a path (or
 * located with options->location), or given with velk_set_lyrics. A file
 * that is no lyric file is ignored; the song plays all the same. */

/* Reads lyrics from memory in place of any found beside the song. An empty
 * or NULL buffer removes them. VELK_ERROR_FORMAT, with a message, when the
 * bytes are no lyric file or the song is a ROL song (lyric files count time
 * in an IMS song's beats): the song keeps no lyrics then, and plays on. The
 * song's position does not change. */
VELK_API velk_error velk_set_lyrics(velk_song *song, const void *data, size_t size);

/* Why the lyric file found beside the song (or the bytes last given to
 * velk_set_lyrics) was ignored, or NULL when there was none or it was read. */
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

/* Every text line, in order, without the blanks that centre it, joined by
 * newlines (for a lyrics tag); "" when the song has no lyrics, NULL for a
 * null handle. */
VELK_API const char *velk_lyrics_text(const velk_song *song);

#ifdef __cplusplus
}
#endif

#endif /* VELK_H */
