/* The library's render of a song, to set the element's against: raw
 * interleaved 16-bit frames, from the start or from a seek. Prints the
 * song's facts the tests compare with what GStreamer reports.
 *
 * library_render SONG OUT.raw [--rate HZ] [--channels N] [--emu NAME] [--pitch]
 *                [--seek MS] [--frames N]
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "libvelk/velk.h"

static int usage(void)
{
    fprintf(stderr, "usage: library_render SONG OUT.raw [--rate HZ] [--channels N] [--emu NAME] [--pitch] "
                    "[--seek MS] [--frames N]\n");
    return 2;
}

int main(int argc, char **argv)
{
    if (argc < 3)
        return usage();
    velk_options options;
    velk_options_init(&options);
    long long seek = -1, limit = -1;
    for (int i = 3; i < argc; ++i) {
        const char *value = i + 1 < argc ? argv[i + 1] : NULL;
        if (!strcmp(argv[i], "--pitch")) {
            options.pitch_bends = 1;
            continue;
        }
        if (!value)
            return usage();
        ++i;
        if (!strcmp(argv[i - 1], "--rate"))
            options.sample_rate = atoi(value);
        else if (!strcmp(argv[i - 1], "--channels"))
            options.channels = atoi(value);
        else if (!strcmp(argv[i - 1], "--emu"))
            options.emulator = (velk_emulator)velk_emulator_named(value);
        else if (!strcmp(argv[i - 1], "--seek"))
            seek = atoll(value);
        else if (!strcmp(argv[i - 1], "--frames"))
            limit = atoll(value);
        else
            return usage();
    }
    velk_song *song = NULL;
    if (velk_open_file(argv[1], &options, &song) != VELK_OK) {
        fprintf(stderr, "library_render: %s: %s\n", argv[1], velk_error_message(song));
        velk_close(song);
        return 1;
    }
    printf("length_ms %lld\ntick_rate %f\ntitle %s\n", (long long)velk_length_ms(song), velk_tick_rate(song),
           velk_title(song));
    if (seek >= 0) {
        if (velk_seek_ms(song, seek) != VELK_OK) {
            fprintf(stderr, "library_render: seek: %s\n", velk_error_message(song));
            return 1;
        }
        printf("position_ms %lld\n", (long long)velk_position_ms(song));
    }
    FILE *out = fopen(argv[2], "wb");
    if (!out) {
        perror(argv[2]);
        return 1;
    }
    const int channels = velk_channels(song);
    int16_t buffer[4096 * 2];
    long long written = 0;
    for (;;) {
        size_t want = 4096;
        if (limit >= 0 && (long long)want > limit - written)
            want = (size_t)(limit - written);
        if (want == 0)
            break;
        const long frames = velk_render(song, buffer, want);
        if (frames <= 0)
            break;
        fwrite(buffer, sizeof(int16_t) * (size_t)channels, (size_t)frames, out);
        written += frames;
    }
    printf("frames %lld\n", written);
    velk_close(song);
    return fclose(out) == 0 ? 0 : 1;
}
