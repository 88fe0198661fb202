// The terminal velkplay takes over while it plays: keys read one by one
// without echo, the cursor hidden, and everything put back as it was on
// every way out (the end, q, or a signal such as Ctrl-C).
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace velk::play {

enum class Key {
    pauseResume, back, forward, next, previous, quit, lyrics,
    voicePanel, keyHelp, mute, solo, everyVoice, faster, slower, keyUp, keyDown, evenLoudness
};

// A key pressed; mute and solo name a voice (from 0). The drum letters name
// the rhythm voices by their place in a drum song (6 the bass drum to 10 the
// hi-hat), which a song without drums does not have.
struct KeyPress {
    Key key;
    int voice = -1;
    bool drum = false;
};

// Turns SIGINT, SIGTERM, SIGHUP and SIGQUIT into a request to stop that the
// player sees between its steps, instead of ending the process at once.
void catchStopSignals();
// The signal that asked to stop, 0 while none has.
int stopSignal();
// A descriptor that becomes readable once a stop signal has come.
int stopSignalDescriptor();
// Ends the process by the signal that asked to stop, as it would have ended
// without being caught, so that the parent (a shell) sees how it ended.
[[noreturn]] void endBySignal(int signal);

class Terminal {
public:
    // Takes over standard input's terminal; null when it is not one.
    static std::unique_ptr<Terminal> takeOver();
    ~Terminal();  // restores the terminal
    Terminal(const Terminal &) = delete;
    Terminal &operator=(const Terminal &) = delete;

    // Waits at most `waitMs` for keys (a stop signal ends the wait) and
    // returns those that came.
    std::vector<KeyPress> keys(int waitMs);
    // Columns of the terminal (80 when it does not say).
    int width() const;
    // Puts the terminal back as it was; also done by the destructor.
    void restore();

private:
    struct State;
    explicit Terminal(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace velk::play
