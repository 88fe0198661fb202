#include "tools/velkplay/song_list_player.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "platform/euckr_to_utf8.h"
#include "tools/velkplay/status_line.h"
#include "tools/velkplay/terminal.h"

namespace velk::play {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int seekStepMs = 10000;
constexpr auto refreshEvery = std::chrono::milliseconds(200);
// How long a wait for keys or the end message lasts before the list looks
// at everything else again.
constexpr int keyWaitMs = 40;
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

Outcome followKeys(In_Module &module, host::EndOfSongReceiver &receiver, int messagesBefore, Terminal &terminal,
                   int lengthMs, std::ostream &out)
{
    auto draw = [&] {
        const int position = std::min(module.GetOutputTime(), lengthMs);
        out << "\r" << statusLine(module.IsPaused() != 0, position, lengthMs, terminal.width() - 1) << "\x1b[K"
            << std::flush;
    };
    auto lastDrawn = Clock::now();
    draw();
    for (;;) {
        if (stopSignal())
            return Outcome::signalled;
        if (songEnded(receiver, messagesBefore))
            return Outcome::ended;
        for (Key key : terminal.keys(keyWaitMs)) {
            switch (key) {
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
            }
            draw();
            lastDrawn = Clock::now();
        }
        if (Clock::now() - lastDrawn >= refreshEvery) {
            draw();
            lastDrawn = Clock::now();
        }
    }
}

} // namespace

ListResult playSongList(In_Module &module, host::EndOfSongReceiver &receiver, const std::vector<std::string> &songs,
                        Terminal *terminal, std::ostream &out, std::ostream &err,
                        const std::function<std::string()> &whyPlayFailed)
{
    ListResult result;
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
        const int playResult = module.Play(song.c_str());
        if (playResult != 0) {
            ++result.failed;
            const std::string reason = whyPlayFailed ? whyPlayFailed() : std::string();
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
            out << "\r\x1b[K[" << index + 1 << "/" << count << "] " << title << "\n";
            outcome = followKeys(module, receiver, messagesBefore, *terminal, lengthMs, out);
            out << "\r\x1b[K" << std::flush;
        } else {
            outcome = waitForEnd(receiver, messagesBefore);
        }
        module.Stop();
        if (outcome == Outcome::ended && !terminal)
            out << "played: " << title << " (" << clockText(lengthMs) << ")  " << song << "\n" << std::flush;

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
