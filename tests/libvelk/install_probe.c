/* Built against an installed libvelk with pkg-config's flags only: plays a
 * second of the song given and says what it heard. */
#include <stdio.h>
#include <stdlib.h>

#include <velk.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: install_probe SONG\n");
        return 2;
    }
    velk_song *song = NULL;
    if (velk_open_file(argv[1], NULL, &song) != VELK_OK) {
        fprintf(stderr, "install_probe: %s\n", velk_error_message(song));
        velk_close(song);
        return 1;
    }
    static int16_t pcm[44100 * 2];
    const long frames = velk_render(song, pcm, 44100);
    int peak = 0;
    for (long i = 0; i < 2 * frames; ++i)
        peak = abs(pcm[i]) > peak ? abs(pcm[i]) : peak;
    printf("velk %s: \"%s\", %lld ms, %ld frames, peak %d\n", velk_version_string(), velk_title(song),
           (long long)velk_length_ms(song), frames, peak);
    velk_close(song);
    return frames == 44100 && peak > 1000 ? 0 : 1;
}
