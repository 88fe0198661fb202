// Lyrics as an enhanced LRC file, the synced-lyrics text that music and
// video players read: UTF-8, one line per passage of the song through a text
// line, "[mm:ss.xx]" at its first highlight and "<mm:ss.xx>" before each part
// as it lights up.
#pragma once

#include <string>

#include "lyrics/lyrics.h"

namespace velk::lyrics {

// "mm:ss.xx", the ms cut to hundredths; minutes past 99 keep their digits.
std::string lrcTime(std::int64_t ms);

// The file's text. `title` becomes "[ti:...]" and the credits "[ar:...]"
// (they name the song's and the lyric file's makers, without saying who did
// what); `program` "[re:...]". Each run of highlights on one line makes an
// LRC line, so a line the song comes back to appears again at its new time;
// lines never lit stay out. Leading and trailing blanks (lyric files centre
// their lines with them) are dropped, and a part lit inside them is timed at
// the first character kept.
std::string writeLrc(const Lyrics &lyrics, const std::string &title, const std::string &program);

} // namespace velk::lyrics
