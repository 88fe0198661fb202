/* Prints a song's score as the library gives it, as JSON, for the MIDI
 * round trip (velkrender_midi_test.py): score_json SONG */
#include <stdio.h>

#include "velk.h"

int main(int argc, char **argv)
{
    velk_song *song = NULL;
    if (argc != 2 || velk_open_file(argv[1], NULL, &song) != VELK_OK) {
        fprintf(stderr, "score_json: %s\n", song ? velk_error_message(song) : "usage: score_json SONG");
        velk_close(song);
        return 1;
    }
    printf("{\"ticks_per_beat\": %d,\n \"voices\": [", velk_ticks_per_beat(song));
    for (int v = 0; v < velk_voice_count(song); ++v)
        printf("%s[\"%s\", %d]", v ? ", " : "", velk_voice_name(song, v), velk_voice_is_rhythm(song, v));
    printf("],\n \"tempo\": [");
    for (size_t i = 0; i < velk_tempo_count(song); ++i) {
        velk_tempo_change t;
        velk_tempo_at(song, i, &t);
        printf("%s[%d, %.17g]", i ? ", " : "", (int)t.tick, t.beats_per_minute);
    }
    printf("],\n \"pitch\": [");
    for (size_t i = 0; i < velk_pitch_count(song); ++i) {
        velk_pitch_change p;
        velk_pitch_at(song, i, &p);
        printf("%s[%d, %d, %.17g]", i ? ", " : "", p.voice, (int)p.tick, p.semitones);
    }
    printf("],\n \"notes\": [");
    for (size_t i = 0; i < velk_note_count(song); ++i) {
        velk_note n;
        velk_note_at(song, i, &n);
        printf("%s\n  [%d, %d, %d, %d, %d]", i ? "," : "", n.voice, n.key, n.velocity, (int)n.start_tick,
               (int)n.end_tick);
    }
    printf("]}\n");
    velk_close(song);
    return 0;
}
