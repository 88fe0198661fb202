#include "tools/velkplay/song_list_player.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/euckr_to_utf8.h"
#include "tools/velkplay/karaoke_lines.h"
#include "tools/velkplay/key_help.h"
#include "tools/velkplay/song_lyrics.h"
#include "tools/velkplay/status_line.h"
#include "tools/velkplay/terminal.h"

namespace velk::play {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int seekStepMs = 10000;
constexpr auto refreshEvery = std::chrono::milliseconds(200);
// Sung syllables follow each other a tenth of a second apart and less.
constexpr auto lyricsRefreshEvery = std::chrono::milliseconds(40);
// How long a wait for keys or the end message lasts before the list looks
// at everything else again.
constexpr int keyWaitMs = 40;
// How long a word about a key stays on the status line.
constexpr auto noteLasts = std::chrono::seconds(3);
constexpr int endWaitMs = 100;
// More than the 30 bytes a title field holds.
constexpr std::size_t titleBufferSize = 512;

enum class Outcome { ended, next, previous, quit, signalled };

const char *playResultMeaning(int result)
{
    switch (result) {
    case -1: return "no player accepted the song";
    case 2: return "playback could not start";
    default: return "unexpected result";
    }
}

// Why the file cannot be read ("" when it can).
std::string unreadable(const std::string &path)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return "cannot open: it is a folder";
    errno = 0;
    if (std::ifstream(path, std::ios::binary).is_open())
        return "";
    return std::string("cannot open: ") + (errno ? std::strerror(errno) : "unreadable");
}

std::string titleOf(In_Module &module, const std::string &song, int &lengthMs)
{
    std::string title(titleBufferSize, '\0');
    lengthMs = 0;
    module.GetFileInfo(song.c_str(), title.data(), &lengthMs);
    title.resize(title.find('\0'));
    // Titles padded with spaces in the song show without them.
    title.erase(title.find_last_not_of(' ') + 1);
    return title.empty() ? std::filesystem::path(song).filename().string() : euckrToUtf8(title);
}

bool songEnded(host::EndOfSongReceiver &receiver, int messagesBefore)
{
    return receiver.endOfSongMessages() > messagesBefore;
}

Outcome waitForEnd(host::EndOfSongReceiver &receiver, int messagesBefore)
{
    while (!songEnded(receiver, messagesBefore)) {
        if (stopSignal())
            return Outcome::signalled;
        receiver.pump(endWaitMs);
    }
    return Outcome::ended;
}

// What shows under the status line, kept for the whole list.
struct View {
    bool lyrics = true;  // l
    bool voices = true;  // v
    bool help = false;   // ?
};

// The status line and the lines under it; the cursor stays on the status
// line. Lines a longer view left below are cleared.
void drawScreen(std::ostream &out, const std::string &status, const std::vector<std::string> &below)
{
    out << "\r" << status << "\x1b[K";
    for (const std::string &line : below)
        out << "\n" << line << "\x1b[K";
    out << "\x1b[J";
    if (!below.empty())
        out << "\x1b[" << below.size() << "A";
    out << "\r" << std::flush;
}

// A word on the status line for a few seconds after a key.
struct Note {
    std::string text;
    Clock::time_point until;
    void say(const std::string &what) { text = what, until = Clock::now() + noteLasts; }
    std::string now() const { return Clock::now() < until ? text : std::string(); }
};

// What a key asks of the library's controls. False when the song cannot do
// it (a drum key in a song without drums), with `note` saying so.
bool listenTo(const KeyPress &press, const std::vector<HeardVoice> &voices, Listening &listening, Note &note)
{
    const int count = static_cast<int>(voices.size());
    if (press.key == Key::mute || press.key == Key::solo) {
        if (press.voice >= count || (press.drum && !voices[static_cast<std::size_t>(press.voice)].rhythm)) {
            note.say(press.drum ? "no drums in this song" : "no voice " + std::to_string(press.voice + 1));
            return false;
        }
    }
    switch (press.key) {
    case Key::mute: toggleMute(listening, press.voice); break;
    case Key::solo: toggleSolo(listening, press.voice, count); break;
    case Key::everyVoice: listening.muted = 0; break;
    case Key::faster: stepTempo(listening, 1); break;
    case Key::slower: stepTempo(listening, -1); break;
    case Key::keyUp: stepTranspose(listening, 1); break;
    case Key::keyDown: stepTranspose(listening, -1); break;
    case Key::evenLoudness: listening.evenLoudness = !listening.evenLoudness; break;
    default: return false;
    }
    return true;
}

bool needsLibrary(Key key)
{
    switch (key) {
    case Key::voicePanel: case Key::mute: case Key::solo: case Key::everyVoice:
    case Key::faster: case Key::slower: case Key::keyUp: case Key::keyDown: case Key::evenLoudness:
        return true;
    default:
        return false;
    }
}

Outcome followKeys(In_Module &module, host::EndOfSongReceiver &receiver, int messagesBefore, Terminal &terminal,
                   int lengthMs, const lyrics::Lyrics *lyrics, View &view, const SongControls *controls,
                   Listening &listening, std::ostream &out)
{
    Note note;
    auto draw = [&] {
        const int width = terminal.width() - 1;
        const int position = std::min(module.GetOutputTime(), lengthMs);
        std::string suffix, failure;
        const std::optional<double> gain =
            controls && controls->evenGainDb ? controls->evenGainDb(failure) : std::nullopt;
        for (const std::string &part : {listeningText(listening), evenLoudnessText(listening, gain, failure), note.now()})
            if (!part.empty())
                suffix += "  " + part;
        std::string status = statusLine(module.IsPaused() != 0, position, lengthMs,
                                        width - static_cast<int>(suffix.size())) + suffix;
        status.resize(std::min(status.size(), static_cast<std::size_t>(std::max(width, 0))));

        std::vector<std::string> below;
        if (lyrics && view.lyrics) {
            const KaraokeLines lines = karaokeLines(*lyrics, position, width - 2);
            below = {"  " + lines.sung, "  " + lines.next};
        }
        // A blank line sets the voices or the keys apart from the lyrics.
        if (view.help) {
            below.emplace_back();
            for (const std::string &line : keyHelp())
                below.push_back(line.substr(0, static_cast<std::size_t>(std::max(width, 0))));
        } else if (controls && view.voices) {
            below.emplace_back();
            for (std::string &row : voicePanel(controls->heardVoices(), listening, width))
                below.push_back(std::move(row));
        }
        drawScreen(out, status, below);
    };
    const auto refresh = lyrics || (controls && view.voices) ? lyricsRefreshEvery : refreshEvery;
    auto lastDrawn = Clock::now();
    draw();
    for (;;) {
        if (stopSignal())
            return Outcome::signalled;
        if (songEnded(receiver, messagesBefore))
            return Outcome::ended;
        for (const KeyPress &press : terminal.keys(keyWaitMs)) {
            switch (press.key) {
            case Key::pauseResume:
                if (module.IsPaused())
                    module.UnPause();
                else
                    module.Pause();
                break;
            case Key::back:
                module.SetOutputTime(std::max(module.GetOutputTime() - seekStepMs, 0));
                break;
            case Key::forward:
                // Past the end the song ends, as it does at its end.
                module.SetOutputTime(std::min(module.GetOutputTime() + seekStepMs, lengthMs));
                break;
            case Key::next: return Outcome::next;
            case Key::previous: return Outcome::previous;
            case Key::quit: return Outcome::quit;
            case Key::lyrics: view.lyrics = !view.lyrics; break;
            case Key::keyHelp: view.help = !view.help; break;
            default:
                if (!controls) {
                    if (needsLibrary(press.key))
                        note.say("needs the library, not --plugin");
                } else if (press.key == Key::voicePanel) {
                    view.voices = !view.voices;
                    view.help = false;
                } else if (listenTo(press, controls->heardVoices(), listening, note)) {
                    controls->listen(listening);
                }
                break;
            }
            draw();
            lastDrawn = Clock::now();
        }
        if (Clock::now() - lastDrawn >= refresh) {
            draw();
            lastDrawn = Clock::now();
        }
    }
}

} // namespace

ListResult playSongList(In_Module &module, host::EndOfSongReceiver &receiver, const std::vector<std::string> &songs,
                        Terminal *terminal, std::ostream &out, std::ostream &err,
                        const std::function<std::string()> &whyPlayFailed, const SongControls *controls)
{
    ListResult result;
    View view;
    // The tempo and the key hold for the rest of the list; mutes are of a
    // song's own voices.
    Listening listening = controls ? controls->start : Listening{};
    const int count = static_cast<int>(songs.size());
    int index = 0;
    int direction = 1;  // a song that fails is passed over in the direction of travel
    while (index >= 0 && index < count) {
        // Ctrl-C during a Play that then failed (the converter takes the
        // signal too) ends the list as well.
        if (stopSignal()) {
            result.stopSignal = stopSignal();
            return result;
        }
        const std::string &song = songs[static_cast<std::size_t>(index)];
        const int messagesBefore = receiver.endOfSongMessages();
        listening.muted = 0;
        if (controls)
            controls->listen(listening);
        const int playResult = module.Play(song.c_str());
        if (playResult != 0) {
            ++result.failed;
            std::string reason = whyPlayFailed ? whyPlayFailed() : std::string();
            // A plug-in says only that no player took the song; a file that
            // cannot be read is the likelier reason, and says more.
            if (reason.empty())
                reason = unreadable(song);
            if (!reason.empty())
                err << "velkplay: " << song << ": " << reason << "\n" << std::flush;
            else
                err << "velkplay: " << song << ": Play returned " << playResult << " ("
                    << playResultMeaning(playResult) << ")\n"
                    << std::flush;
            index += direction;
            if (index < 0) {  // the first song failed too: on past it
                index = 1;
                direction = 1;
            }
            continue;
        }
        ++result.played;
        int lengthMs = 0;
        const std::string title = titleOf(module, song, lengthMs);
        Outcome outcome;
        if (terminal) {
            std::string lyricsProblem;
            const std::optional<lyrics::Lyrics> lyrics = songLyrics(song, lyricsProblem);
            if (!lyricsProblem.empty())
                err << "\r\x1b[Kvelkplay: " << song << ": lyrics ignored: " << lyricsProblem << "\n" << std::flush;
            out << "\r\x1b[K[" << index + 1 << "/" << count << "] " << title << "\n";
            outcome = followKeys(module, receiver, messagesBefore, *terminal, lengthMs, lyrics ? &*lyrics : nullptr,
                                 view, controls, listening, out);
            out << "\r\x1b[J" << std::flush;
        } else {
            outcome = waitForEnd(receiver, messagesBefore);
        }
        // The gain the song was evened out by, while the measure is at hand.
        std::string evenText;
        if (controls && controls->evenGainDb) {
            std::string failure;
            const std::optional<double> gain = controls->evenGainDb(failure);
            evenText = evenLoudnessText(listening, gain, failure);
        }
        module.Stop();
        if (outcome == Outcome::ended && !terminal)
            out << "played: " << title << " (" << clockText(lengthMs) << ")  " << song
                << (evenText.empty() ? "" : "  (" + evenText + ")") << "\n" << std::flush;

        switch (outcome) {
        case Outcome::ended:
        case Outcome::next:
            direction = 1;
            ++index;
            break;
        case Outcome::previous:
            // On the first song: that song again from its start.
            direction = -1;
            index = std::max(index - 1, 0);
            break;
        case Outcome::quit:
            result.quit = true;
            return result;
        case Outcome::signalled:
            result.stopSignal = stopSignal();
            return result;
        }
    }
    return result;
}

} // namespace velk::play
