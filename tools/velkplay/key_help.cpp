#include "tools/velkplay/key_help.h"

namespace velk::play {

const std::vector<std::string> &keyHelp()
{
    static const std::vector<std::string> lines = {
        "space      pause, resume           left right  seek 10 s back, forward",
        "n p        next, previous song     q           quit",
        "1-9        mute a voice, or hear it again (in a drum song 7 8 9 are drums)",
        "b s t c h  mute the bass drum, snare drum, tom-tom, cymbal, hi-hat",
        "! @ # $ % ^ & * (  hear only voice 1-9     B S T C H  only that drum",
        "           (the same key again, or 0: every voice)",
        "+ -        tempo 5% faster, slower     ] [  key a semitone up, down",
        "g          even loudness: every song at -18 LUFS (ReplayGain), never clipping",
        "v          voice panel     l  lyrics     ?  these keys",
    };
    return lines;
}

} // namespace velk::play
