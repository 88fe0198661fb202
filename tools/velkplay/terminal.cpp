#include "tools/velkplay/terminal.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace velk::play {

namespace {

volatile std::sig_atomic_t caughtSignal = 0;
int signalPipe[2] = {-1, -1};

void onStopSignal(int signal)
{
    if (caughtSignal == 0)
        caughtSignal = signal;
    const int saved = errno;
    const char byte = 1;
    (void)!write(signalPipe[1], &byte, 1);
    errno = saved;
}

constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

const char hideCursor[] = "\x1b[?25l";
const char showCursor[] = "\x1b[?25h";

void writeAll(const char *text)
{
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = write(STDOUT_FILENO, text, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}

// Voices 1-9 on the digits, solo on the same keys shifted (a US layout);
// the drums on their initials, solo in capitals.
constexpr char shiftedDigits[] = "!@#$%^&*(";
constexpr char drumLetters[] = "bstch";
constexpr char drumCapitals[] = "BSTCH";
constexpr int firstDrumVoice = 6;

std::optional<KeyPress> keyOf(char c)
{
    if (c >= '1' && c <= '9')
        return KeyPress{Key::mute, c - '1'};
    if (const char *at = c ? std::strchr(shiftedDigits, c) : nullptr)
        return KeyPress{Key::solo, static_cast<int>(at - shiftedDigits)};
    if (const char *at = c ? std::strchr(drumLetters, c) : nullptr)
        return KeyPress{Key::mute, firstDrumVoice + static_cast<int>(at - drumLetters), true};
    if (const char *at = c ? std::strchr(drumCapitals, c) : nullptr)
        return KeyPress{Key::solo, firstDrumVoice + static_cast<int>(at - drumCapitals), true};
    switch (c) {
    case ' ': return KeyPress{Key::pauseResume};
    case 'n': case 'N': return KeyPress{Key::next};
    case 'p': case 'P': return KeyPress{Key::previous};
    case 'q': case 'Q': return KeyPress{Key::quit};
    case 'l': case 'L': return KeyPress{Key::lyrics};
    case 'v': case 'V': return KeyPress{Key::voicePanel};
    case '?': return KeyPress{Key::keyHelp};
    case '0': return KeyPress{Key::everyVoice};
    // '=' is '+' unshifted.
    case '+': case '=': return KeyPress{Key::faster};
    case '-': case '_': return KeyPress{Key::slower};
    case ']': return KeyPress{Key::keyUp};
    case '[': return KeyPress{Key::keyDown};
    case 'g': case 'G': return KeyPress{Key::evenLoudness};
    default: return std::nullopt;
    }
}

} // namespace

void catchStopSignals()
{
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        signalPipe[0] = signalPipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : stopSignals)
        sigaction(signal, &action, nullptr);
}

int stopSignal() { return caughtSignal; }

int stopSignalDescriptor() { return signalPipe[0]; }

void endBySignal(int signal)
{
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    _exit(128 + signal);
}

struct Terminal::State {
    termios saved{};
    bool restored = false;
    std::string pending;  // bytes of a key sequence not yet whole
};

Terminal::Terminal(std::unique_ptr<State> state) : state_(std::move(state)) {}

std::unique_ptr<Terminal> Terminal::takeOver()
{
    if (!isatty(STDIN_FILENO))
        return nullptr;
    auto state = std::make_unique<State>();
    if (tcgetattr(STDIN_FILENO, &state->saved) != 0)
        return nullptr;
    termios raw = state->saved;
    // Keys one at a time and unechoed; signals (Ctrl-C) and output as before.
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0)
        return nullptr;
    writeAll(hideCursor);
    return std::unique_ptr<Terminal>(new Terminal(std::move(state)));
}

Terminal::~Terminal() { restore(); }

void Terminal::restore()
{
    if (state_->restored)
        return;
    state_->restored = true;
    writeAll(showCursor);
    tcsetattr(STDIN_FILENO, TCSANOW, &state_->saved);
}

int Terminal::width() const
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

std::vector<KeyPress> Terminal::keys(int waitMs)
{
    pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {stopSignalDescriptor(), POLLIN, 0}};
    const int count = watched[1].fd >= 0 ? 2 : 1;
    if (poll(watched, static_cast<nfds_t>(count), waitMs) <= 0 || !(watched[0].revents & POLLIN))
        return {};
    char bytes[64];
    const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
    if (n > 0)
        state_->pending.append(bytes, static_cast<std::size_t>(n));

    std::vector<KeyPress> keys;
    std::string &in = state_->pending;
    std::size_t at = 0;
    while (at < in.size()) {
        if (in[at] == '\x1b') {
            // ESC [ C or ESC O C (right), D (left); other sequences are skipped.
            if (at + 1 >= in.size())
                break;
            if (in[at + 1] != '[' && in[at + 1] != 'O') {
                ++at;
                continue;
            }
            std::size_t end = at + 2;
            while (end < in.size() && !(in[end] >= 0x40 && in[end] <= 0x7E))
                ++end;
            if (end >= in.size())
                break;
            if (in[end] == 'C')
                keys.push_back({Key::forward});
            else if (in[end] == 'D')
                keys.push_back({Key::back});
            at = end + 1;
            continue;
        }
        if (const std::optional<KeyPress> key = keyOf(in[at]))
            keys.push_back(*key);
        ++at;
    }
    in.erase(0, at);
    // A lone ESC that no sequence followed is not held back for ever.
    if (in.size() > 16)
        in.clear();
    return keys;
}

} // namespace velk::play
