// Renders an open song, through the library, to an audio file.
#pragma once

#include <string>

#include "libvelk/velk.h"
#include "tools/velkrender/output_format.h"
#include "tools/velkrender/render_loop.h"
#include "tools/velkrender/tag_list.h"

namespace velk::render {

struct AudioTarget {
    std::string path;
    OutputFormat format = OutputFormat::wav;
    AudioFormat pcm;    // the song must render at its rate and channels
    std::string title;  // a tag where the format has tags
    TagList tags;       // more tags, where the format has tags
    double scale = 1.0;  // each sample times this (--normalize), held within 16 bits
};

// The rest of `song`, to its end, into the file at `target.path`; `progress`
// hears the frames written now and then. A song longer than 10 hours, or
// than a WAV file can hold, is cut there. False with `error` when the file
// cannot be written; no partial file is left then.
bool renderToFile(velk_song *song, const AudioTarget &target, const Progress &progress, std::string &error);

} // namespace velk::render
