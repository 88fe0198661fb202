// The output format and playback options that every song is played with.
// Nothing configures them: the export puts the defaults into effect, and each
// song starts from a snapshot of the values in effect.
#pragma once

namespace velk {

struct PlaybackSettings {
    struct Values {
        int sampleRate;      // Hz
        bool use16Bit;       // 16-bit signed samples, else 8-bit unsigned
        bool stereo;         // two channels, else one
        bool stopAtSongEnd;  // end playback once the song ends and the output has played out
        int priorityIndex;   // 0..6, into the render thread's priority table
    };

    static constexpr Values defaults{44100, true, true, true, 4};

    Values current{};  // in effect
    Values pending{};  // what apply() puts into effect

    // Writes the defaults into `pending` and puts them into effect.
    void setDefaults();
    // Copies `pending` over `current`.
    void apply();
};

// The module's one instance. Constant-initialised to all zero, so it is
// usable from other static initialisers and reads zero until setDefaults.
extern PlaybackSettings playbackSettings;

} // namespace velk
