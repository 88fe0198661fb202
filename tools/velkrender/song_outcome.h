// What became of one song in a velkrender run.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velk::render {

struct SongOutcome {
    bool ims = false;
    std::string title;  // UTF-8; IMS songs only
    unsigned long lengthMs = 0;
    std::vector<std::string> outputs;  // the files written, in order
    std::string lrc;                   // the LRC file written (--lrc), if any
    std::vector<std::string> notes;    // what the listener should know: lyrics ignored, voices the song lacks
    std::string error;                 // empty when the song's outputs were written
};

// Hears of a song once it is loaded, before it is rendered.
using Announce = std::function<void(const SongOutcome &)>;

} // namespace velk::render
