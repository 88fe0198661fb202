// What a song handle holds: the song as opened, its player and chip, and the
// state of rendering. The C functions of velk.h work on it; it is plain data
// so that each area of the library (opening, rendering, lyrics) can reach
// what it needs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "libvelk/velk.h"
#include "lyrics/lyrics.h"
#include "rol/rol_song.h"

namespace velk {
class RolPlayer;
namespace lib {
class EmulatorChip;
class VoiceAttenuation;
struct MeasuredLoudness;
class SnapshotStore;
struct Snapshot;
}
} // namespace velk

namespace velk::lib {

// When the voice's notes last keyed on and off, in frames rendered (the
// chip's own time, whatever the tempo), for its level.
struct VoiceKeying {
    unsigned strikes = 0;       // the player's count when last looked at
    bool keyed = false;
    std::uint64_t onFrame = 0;
    std::uint64_t offFrame = 0;
};

// The listener's controls that act in the chip's own levels (gains, and
// muting but on Nuked): a state is exact only under the ones it was
// rendered with.
struct ChipControls {
    std::uint32_t muted = 0;
    std::uint8_t gains[VELK_MAX_VOICES] = {};

    bool any() const
    {
        for (std::uint8_t g : gains)
            if (g != 0)
                return true;
        return muted != 0;
    }
    bool operator==(const ChipControls &other) const
    {
        for (int v = 0; v < VELK_MAX_VOICES; ++v)
            if (gains[v] != other.gains[v])
                return false;
        return muted == other.muted;
    }
    bool operator!=(const ChipControls &other) const { return !(*this == other); }
};

// The song's notes, tempo map and pitch events (song_score.h).
struct Score {
    std::vector<velk_note> notes;
    std::vector<velk_tempo_change> tempos;
    std::vector<velk_pitch_change> pitches;
    // The instrument (index into the song's used instruments) of each note.
    std::vector<int> instrumentOfNote;
    // Per voice, the indexes of its notes in `notes`, in order.
    std::vector<std::vector<std::size_t>> notesOfVoice;
};

} // namespace velk::lib

struct velk_song {
    // The last failure (VELK_OK and "" when none).
    velk_error lastError = VELK_OK;
    std::string message;
    // Whether the open succeeded: only then do the members below hold a song.
    bool open = false;

    // Where the song came from: its path for velk_open_file, else the
    // caller's options->location ("" when none). Files beside it (bank,
    // lyrics) are looked for there.
    std::string location;
    bool ims = false;
    // An IMS song's bytes as given (ROL songs keep none).
    velk::Bytes imsBytes;
    // The ROL song converted from an IMS song (its ticks per beat, tempo and
    // lists as the converter wrote them); empty for ROL songs.
    velk::rol::Song convertedSong;

    std::string titleEuckr;  // as the Winamp plug-in shows it
    std::string titleUtf8;

    int sampleRate = 44100;
    int channels = 2;
    velk_emulator emulator = VELK_EMULATOR_NUKED;
    bool pitchBends = false;

    // The player writes to the chip; the chip goes last. The song data the
    // player plays (ticks per beat, tempo events) is player->song().
    std::unique_ptr<velk::lib::EmulatorChip> chip;
    // The same chip as the layer of voice gains and the write listener.
    velk::lib::VoiceAttenuation *voices = nullptr;
    // The loudness last measured (song_loudness.h), with its controls.
    std::shared_ptr<velk::lib::MeasuredLoudness> loudness;
    std::unique_ptr<velk::RolPlayer> player;
    std::int64_t lengthMs = 0;
    // Worked out at its first use (song_score.h: songScore).
    velk::lib::Score score;
    bool scored = false;
    int voiceCount = 0;

    // The listener's controls.
    std::uint32_t mutedVoices = 0;
    double tempo = 1.0;
    int transpose = 0;

    // Rendering: frames of the tick last played still to render, the
    // fraction of a frame owed, and whether the player reported the end.
    std::uint64_t pendingFrames = 0;
    double owedFrames = 0.0;
    bool ended = false;
    // woody's and Ken's samples follow the blocks they are asked for: they
    // render each tick in the same blocks however the frames are asked for,
    // and frames of a block rendered but not yet handed out wait here, from
    // heldAt on, with the tempo they were rendered at.
    std::vector<std::int16_t> held;
    std::size_t heldAt = 0;
    double heldTempo = 1.0;
    // Song time at which the next tick starts, summed tick by tick as the
    // length is (float, as the plug-in sums it).
    float nextTickMs = 0.0f;
    // The position: song time of the last seek or tempo change (or 0) plus
    // the song time of the frames rendered since at the tempo.
    double anchorMs = 0.0;
    std::uint64_t framesSinceAnchor = 0;
    // Frames the chip has rendered since the handle opened, also those of a
    // seek's stretch that nobody hears: the chip's clock, for the levels.
    std::uint64_t chipFrames = 0;
    velk::lib::VoiceKeying keying[VELK_MAX_VOICES];

    // Snapshots (song_snapshot.h), shared with any seek index of the song.
    // They are taken only while the state is what a render from the start
    // gives at the position under the current settings (`exactState`; the
    // player's count of retunes then), the next when song time reaches
    // nextSnapshotMs.
    std::shared_ptr<velk::lib::SnapshotStore> snapshots;
    // The state as the song opened, where the chip's state can be copied: a
    // seek with nothing nearer starts again from it.
    std::shared_ptr<const velk::lib::Snapshot> opening;
    // exactState holds under these controls; snapshots are taken only under
    // none.
    bool exactState = true;
    velk::lib::ChipControls exactControls;
    unsigned retunesSeen = 0;
    double nextSnapshotMs = 0.0;

    // Lyrics (song_lyrics.cpp), timed on the song's ticks; none for ROL
    // songs. The problem says why a lyric file was ignored ("" when none
    // was); the whole text is kept for velk_lyrics_text.
    std::optional<velk::lyrics::Lyrics> lyrics;
    std::string lyricsProblem;
    std::string lyricsText;
};
