/* play_song: plays an IMS or ROL song through libvelk and writes the audio
 * as raw PCM (44100 Hz, 16-bit signed native-endian, stereo) to a file or
 * to standard output, for `aplay -f cd` or ffmpeg to take.
 *
 *   cc play_song.c -o play_song $(pkg-config --cflags --libs velk)
 *   ./play_song SONG.IMS [OUT.raw]
 */
#include <stdio.h>

#include <velk.h>

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: play_song SONG [OUT.raw]  (without OUT: standard output)\n");
        return 2;
    }
    velk_options options;
    velk_options_init(&options);          /* the size first: later versions add members */
    options.sample_rate = 44100;          /* 8000 to 192000 */
    options.channels = 2;                 /* 1 or 2 */
    options.emulator = VELK_EMULATOR_NUKED; /* the default; SATOH sounds as the Winamp plug-in */

    velk_song *song = NULL;
    if (velk_open_file(argv[1], &options, &song) != VELK_OK) {
        /* Says why, e.g. the banks looked for. Nothing else may be asked of
         * a handle whose open failed: close it and stop. */
        fprintf(stderr, "play_song: %s\n", velk_error_message(song));
        velk_close(song);
        return 1;
    }
    fprintf(stderr, "%s, %lld ms\n", velk_title(song), (long long)velk_length_ms(song));

    FILE *out = argc == 3 ? fopen(argv[2], "wb") : stdout;
    if (!out) {
        fprintf(stderr, "play_song: cannot write %s\n", argv[2]);
        velk_close(song);
        return 1;
    }
    static int16_t frames[4096 * 2];
    long n;
    int failed = 0;
    while ((n = velk_render(song, frames, 4096)) > 0) /* 0 at the song's end */
        if (fwrite(frames, sizeof frames[0] * 2, (size_t)n, out) != (size_t)n) {
            failed = 1;
            break;
        }
    if (n < 0)
        fprintf(stderr, "play_song: %s\n", velk_error_message(song));
    if (fclose(out) != 0)
        failed = 1;
    if (failed)
        fprintf(stderr, "play_song: writing the audio failed\n");
    velk_close(song);
    return n < 0 || failed ? 1 : 0;
}
