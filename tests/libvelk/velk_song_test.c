/* The library through its C interface, on the real songs: from a path and
 * from memory, whole, seeking back and forth, and bad input. Exits 77 (a
 * skip) when the songs are missing, unless CI is set. */
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "velk.h"

long long pluginLengthMs(const char *path);

static int failures = 0;

static void check(int ok, const char *what, ...)
{
    if (ok)
        return;
    va_list args;
    va_start(args, what);
    fprintf(stderr, "FAILED: ");
    vfprintf(stderr, what, args);
    fprintf(stderr, "\n");
    va_end(args);
    ++failures;
}

static unsigned char *readFile(const char *path, size_t *size)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return NULL;
    fseek(file, 0, SEEK_END);
    *size = (size_t)ftell(file);
    fseek(file, 0, SEEK_SET);
    unsigned char *bytes = malloc(*size ? *size : 1);
    if (bytes && fread(bytes, 1, *size, file) != *size) {
        free(bytes);
        bytes = NULL;
    }
    fclose(file);
    return bytes;
}

static int writeFile(const char *path, const void *bytes, size_t size)
{
    FILE *file = fopen(path, "wb");
    if (!file)
        return 0;
    const int ok = fwrite(bytes, 1, size, file) == size;
    return fclose(file) == 0 && ok;
}

/* Interleaved frames of a whole render. */
typedef struct {
    int16_t *samples;
    size_t frames;
    int channels;
} Pcm;

static Pcm renderRest(velk_song *song)
{
    Pcm pcm = {NULL, 0, velk_channels(song)};
    size_t room = 0;
    for (;;) {
        if (pcm.frames + 4096 > room) {
            room = room ? room * 2 : 1 << 20;
            pcm.samples = realloc(pcm.samples, room * pcm.channels * sizeof *pcm.samples);
            if (!pcm.samples) {
                fprintf(stderr, "out of memory\n");
                exit(1);
            }
        }
        /* Uneven asks, to cross tick and block boundaries anywhere. */
        const long got = velk_render(song, pcm.samples + pcm.frames * pcm.channels, 1000 + pcm.frames % 3001);
        if (got <= 0) {
            check(got == 0, "render ends with 0, not %ld", got);
            break;
        }
        pcm.frames += (size_t)got;
    }
    return pcm;
}

/* RMS of the first channel in windows of `window` frames. */
static double windowRms(const int16_t *samples, int channels, size_t window)
{
    double sum = 0.0;
    for (size_t i = 0; i < window; ++i) {
        const double s = samples[i * channels];
        sum += s * s;
    }
    return sqrt(sum / window);
}

/* How alike two stretches of music are by their loudness over time: the
 * correlation of their RMS envelopes in 50 ms windows. */
static double envelopeCorrelation(const int16_t *a, const int16_t *b, int channels, size_t frames, int rate)
{
    const size_t window = (size_t)rate / 20, count = frames / window;
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (size_t w = 0; w < count; ++w) {
        const double x = windowRms(a + w * window * channels, channels, window);
        const double y = windowRms(b + w * window * channels, channels, window);
        sa += x, sb += y, saa += x * x, sbb += y * y, sab += x * y;
    }
    const double cov = sab - sa * sb / count, va = saa - sa * sa / count, vb = sbb - sb * sb / count;
    return va > 0 && vb > 0 ? cov / sqrt(va * vb) : 0.0;
}

/* An open's result is `want`, with a message when it failed; the handle is
 * closed. */
static void expectOpen(velk_error got, velk_error want, velk_song **song, const char *what)
{
    check(got == want && (want == VELK_OK || *velk_error_message(*song)), "%s: %d (%s), not %d", what, got,
          velk_error_message(*song), want);
    velk_close(*song);
    *song = NULL;
}

static velk_song *openOrFail(const char *path, const velk_options *options)
{
    velk_song *song = NULL;
    const velk_error error = velk_open_file(path, options, &song);
    check(error == VELK_OK, "open %s: %d %s", path, error, velk_error_message(song));
    if (error != VELK_OK) {
        velk_close(song);
        return NULL;
    }
    return song;
}

/* One real song: from its path and from memory, whole, and seeking. (With
 * Nuked, a seek deep into go-_-go leaves it about 2 dB louder than the whole
 * render for many seconds: its seeks are checked on the plug-in's chip.) */
static void playRealSong(const char *songPath, const char *bankPath, const char *title, int rate,
                         velk_emulator emulator)
{
    fprintf(stderr, "%s\n", songPath);
    velk_options options;
    velk_options_init(&options);
    options.sample_rate = rate;
    options.emulator = emulator;
    velk_song *song = openOrFail(songPath, &options);
    if (!song)
        return;
    if (title)
        check(strcmp(velk_title(song), title) == 0, "title \"%s\"", velk_title(song));
    check(strlen(velk_title_euckr(song)) > 0 && strlen(velk_title(song)) >= strlen(velk_title_euckr(song)),
          "both titles");
    const long long length = velk_length_ms(song);
    check(length == pluginLengthMs(songPath), "length %lld against the plug-in's %lld", length,
          pluginLengthMs(songPath));
    const double tickMs = 1000.0 / velk_tick_rate(song);
    check(velk_sample_rate(song) == rate && velk_channels(song) == 2, "format");

    const Pcm whole = renderRest(song);
    const double renderedMs = whole.frames * 1000.0 / rate;
    check(fabs(renderedMs - (double)length) < tickMs + 1.0, "rendered %.1f ms of %lld", renderedMs, length);
    size_t unequal = 0, loud = 0;
    for (size_t f = 0; f < whole.frames; ++f) {
        unequal += whole.samples[2 * f] != whole.samples[2 * f + 1];
        loud += abs(whole.samples[2 * f]) > 1000;
    }
    check(unequal == 0, "%zu frames differ between the channels", unequal);
    check(loud > whole.frames / 10, "the song is heard (%zu loud frames)", loud);
    check(velk_render(song, whole.samples, 10) == 0, "0 once the song has ended");
    check(fabs((double)velk_position_ms(song) - (double)length) < tickMs + 1.0, "position %lld at the end",
          (long long)velk_position_ms(song));

    /* From memory: the song's bytes and the bank's give the same music. */
    size_t songSize = 0, bankSize = 0;
    unsigned char *songBytes = readFile(songPath, &songSize), *bankBytes = readFile(bankPath, &bankSize);
    velk_song *memory = NULL;
    const velk_error fromMemory = velk_open_memory(songBytes, songSize, bankBytes, bankSize, &options, &memory);
    check(fromMemory == VELK_OK, "open from memory: %s", velk_error_message(memory));
    if (velk_last_error(memory) == VELK_OK) {
        check(velk_length_ms(memory) == length, "length from memory");
        const Pcm again = renderRest(memory);
        check(again.frames == whole.frames &&
                  memcmp(again.samples, whole.samples, whole.frames * 2 * sizeof *whole.samples) == 0,
              "memory renders what the path renders");
        free(again.samples);
    }
    velk_close(memory);
    /* Memory with a location: the bank is found beside it. */
    options.location = songPath;
    expectOpen(velk_open_memory(songBytes, songSize, NULL, 0, &options, &memory), VELK_OK, &memory,
               "memory with a location");
    options.location = NULL;
    free(songBytes);
    free(bankBytes);

    /* Seeks land on the first tick at or past the target, and the music
     * from there is what the whole render has there (by its envelope: held
     * notes sound differently after a seek). Back, forward, back again. */
    const long long targets[] = {length / 2, 12345, length - 20000, 3000};
    for (size_t t = 0; t < sizeof targets / sizeof *targets; ++t) {
        const long long target = targets[t];
        check(velk_seek_ms(song, target) == VELK_OK, "seek");
        const long long at = velk_position_ms(song);
        check(at >= target && at < target + tickMs + 1.0, "seek to %lld landed at %lld (a tick is %.1f ms)", target,
              at, tickMs);
        const size_t frames = (size_t)rate * 8, from = (size_t)((double)at * rate / 1000.0);
        int16_t *part = malloc(frames * 2 * sizeof *part);
        const long got = velk_render(song, part, frames);
        check(got == (long)frames && from + frames <= whole.frames, "8 s after the seek");
        if (got == (long)frames && from + frames <= whole.frames) {
            /* From a second on: by then the notes held across the seek have
             * gone through their attack again. */
            const size_t settle = (size_t)rate;
            const double likeness = envelopeCorrelation(part + settle * 2, whole.samples + (from + settle) * 2, 2,
                                                        frames - settle, rate);
            check(likeness > 0.8, "after a seek to %lld the envelope follows the whole render's (%.3f)", target,
                  likeness);
        }
        free(part);
    }
    check(velk_seek_ms(song, length + 60000) == VELK_OK && velk_render(song, whole.samples, 100) == 0,
          "a seek past the end ends the song");
    check(velk_seek_ms(song, -5) == VELK_OK && velk_position_ms(song) == 0, "a negative seek starts again");
    free(whole.samples);
    velk_close(song);
}

/* Bad input: codes and messages, never a crash. */
static void refuseBadInput(const char *songPath)
{
    fprintf(stderr, "bad input\n");
    const char *tmp = getenv("TMPDIR");
    char pattern[4096];
    snprintf(pattern, sizeof pattern, "%s/velk-song-test-XXXXXX", tmp && *tmp ? tmp : "/tmp");
    char *folder = mkdtemp(pattern);
    check(folder != NULL, "a temporary folder");
    if (!folder)
        return;

    size_t size = 0;
    unsigned char *bytes = readFile(songPath, &size);
    velk_song *song = NULL;

    /* A bank-less folder: the message names the two paths tried. */
    char lone[4200];
    snprintf(lone, sizeof lone, "%s/AMG0018.IMS", folder);
    check(writeFile(lone, bytes, size), "copy the song");
    const velk_error noBank = velk_open_file(lone, NULL, &song);
    check(noBank == VELK_ERROR_NO_BANK, "no bank: %s", velk_error_message(song));
    check(strstr(velk_error_message(song), "AMG0018.bnk") && strstr(velk_error_message(song), "standard.bnk"),
          "the message names the paths tried: %s", velk_error_message(song));
    check(velk_render(song, (int16_t[4]){0}, 1) == -1, "a failed handle does not render");
    velk_close(song);
    song = NULL;

    /* A truncated song. */
    expectOpen(velk_open_memory(bytes, 200, bytes, 200, NULL, &song), VELK_ERROR_FORMAT, &song, "truncated");
    /* A ROL song with a broken header (version 0.5), and one cut inside it. */
    unsigned char rol[201] = {0, 0, 5, 0};
    expectOpen(velk_open_memory(rol, sizeof rol, bytes, 100, NULL, &song), VELK_ERROR_FORMAT, &song,
               "broken ROL header");
    rol[2] = 4;
    expectOpen(velk_open_memory(rol, 60, bytes, 100, NULL, &song), VELK_ERROR_FORMAT, &song, "cut ROL header");
    /* Missing files and arguments. */
    char absent[4200];
    snprintf(absent, sizeof absent, "%s/NONE.IMS", folder);
    expectOpen(velk_open_file(absent, NULL, &song), VELK_ERROR_FILE, &song, "a missing file");
    expectOpen(velk_open_file(folder, NULL, &song), VELK_ERROR_FILE, &song, "a folder");
    expectOpen(velk_open_file(NULL, NULL, &song), VELK_ERROR_INVALID_ARGUMENT, &song, "no path");
    check(velk_open_file(songPath, NULL, NULL) == VELK_ERROR_INVALID_ARGUMENT, "no out");
    expectOpen(velk_open_memory(bytes, size, NULL, 0, NULL, &song), VELK_ERROR_NO_BANK, &song,
               "memory without a bank");
    velk_options options;
    velk_options_init(&options);
    options.sample_rate = 5;
    expectOpen(velk_open_file(songPath, &options, &song), VELK_ERROR_INVALID_ARGUMENT, &song, "rate 5");
    velk_options_init(&options);
    options.channels = 3;
    expectOpen(velk_open_file(songPath, &options, &song), VELK_ERROR_INVALID_ARGUMENT, &song, "3 channels");
    options.size = 0;
    expectOpen(velk_open_file(songPath, &options, &song), VELK_ERROR_INVALID_ARGUMENT, &song,
               "options without a size");
    /* An older caller's shorter options: the rest are defaults. */
    velk_options_init(&options);
    options.channels = 1;
    options.bank_path = "/nonexistent.bnk";
    options.size = offsetof(velk_options, emulator);
    const velk_error shorter = velk_open_file(songPath, &options, &song);
    check(shorter == VELK_OK && velk_channels(song) == 1, "shorter options: %s", velk_error_message(song));

    /* A null buffer, no frames, a null handle. */
    int16_t frames[8];
    check(velk_render(song, NULL, 4) == -1 && velk_last_error(song) == VELK_ERROR_INVALID_ARGUMENT &&
              *velk_error_message(song),
          "null buffer");
    check(velk_render(song, frames, 0) == -1, "zero frames");
    check(velk_render(song, frames, 4) == 4, "renders on after errors");
    velk_close(song);
    check(velk_render(NULL, frames, 4) == -1 && velk_seek_ms(NULL, 0) == VELK_ERROR_INVALID_ARGUMENT &&
              velk_length_ms(NULL) == -1 && velk_position_ms(NULL) == -1 && velk_title(NULL) == NULL &&
              velk_tick_rate(NULL) == 0.0,
          "null handle");
    velk_close(NULL);

    /* Ken's emulator: one song at a time. */
    velk_options_init(&options);
    options.emulator = VELK_EMULATOR_KEN;
    velk_song *first = NULL, *second = NULL;
    check(velk_open_file(songPath, &options, &first) == VELK_OK, "one Ken song");
    expectOpen(velk_open_file(songPath, &options, &second), VELK_ERROR_BUSY, &second, "a second Ken song");
    velk_close(first);
    check(velk_open_file(songPath, &options, &second) == VELK_OK, "Ken is free again");
    velk_close(second);

    check(velk_version() == VELK_VERSION && strcmp(velk_version_string(), VELK_VERSION_STRING) == 0, "version");
    check(velk_emulator_named("woody") == VELK_EMULATOR_WOODY && velk_emulator_named("opl3") == -1 &&
              velk_emulator_name((velk_emulator)9) == NULL,
          "emulator names");

    unlink(lone);
    rmdir(folder);
    free(bytes);
}

int main(void)
{
    const char *dir = getenv("VELK_SONGS_DIR");
    if (!dir || !*dir)
        dir = VELK_DEFAULT_SONGS_DIR;
    char amg[4096], standard[4096], go[4096], goBank[4096];
    snprintf(amg, sizeof amg, "%s/AMG0018.IMS", dir);
    snprintf(standard, sizeof standard, "%s/STANDARD.BNK", dir);
    snprintf(go, sizeof go, "%s/go-_-go.ims", dir);
    snprintf(goBank, sizeof goBank, "%s/go-_-go.bnk", dir);
    if (access(amg, R_OK) != 0 || access(go, R_OK) != 0) {
        fprintf(stderr, "the real songs are not in %s\n", dir);
        return getenv("CI") ? 1 : 77;
    }
    playRealSong(amg, standard, "OH! M G - Opening Theme", 44100, VELK_EMULATOR_DEFAULT);
    playRealSong(go, goBank, NULL, 22050, VELK_EMULATOR_SATOH);
    refuseBadInput(amg);
    if (failures)
        fprintf(stderr, "%d checks failed\n", failures);
    return failures ? 1 : 0;
}
