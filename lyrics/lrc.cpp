#include "lyrics/lrc.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace velk::lyrics {
namespace {

// Tag values are one line and cannot hold the closing bracket.
std::string tagValue(const std::string &text)
{
    std::string value = text;
    std::replace(value.begin(), value.end(), ']', ')');
    const auto notBlank = [](char c) { return c != ' '; };
    value.erase(value.begin(), std::find_if(value.begin(), value.end(), notBlank));
    value.erase(std::find_if(value.rbegin(), value.rend(), notBlank).base(), value.end());
    return value;
}

// One LRC line: a run of highlights [begin, end) on one text line.
std::string lrcLine(const std::string &text, std::vector<Highlight>::const_iterator begin,
                    std::vector<Highlight>::const_iterator end)
{
    const std::size_t keptFirst = std::min(text.find_first_not_of(' '), text.size());
    const std::size_t keptEnd = keptFirst == text.size() ? keptFirst : text.find_last_not_of(' ') + 1;

    // The earliest time each kept offset lights up.
    std::map<std::size_t, std::int64_t> marks;
    for (auto h = begin; h != end; ++h) {
        if (h->first >= keptEnd)
            continue;
        const std::size_t at = std::max(h->first, keptFirst);
        auto [mark, added] = marks.emplace(at, h->ms);
        if (!added)
            mark->second = std::min(mark->second, h->ms);
    }

    std::string line = "[" + lrcTime(begin->ms) + "]";
    std::size_t written = keptFirst;
    std::int64_t last = begin->ms;
    for (const auto &[at, ms] : marks) {
        // Readers expect the times of a line to go forward.
        if (ms < last)
            continue;
        line.append(text, written, at - written);
        line += "<" + lrcTime(ms) + ">";
        written = at;
        last = ms;
    }
    line.append(text, written, keptEnd - written);
    return line;
}

} // namespace

std::string lrcTime(std::int64_t ms)
{
    ms = std::max<std::int64_t>(ms, 0);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld.%02lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms / 10 % 100));
    return text;
}

std::string writeLrc(const Lyrics &lyrics, const std::string &title, const std::string &program)
{
    std::string out;
    if (!tagValue(title).empty())
        out += "[ti:" + tagValue(title) + "]\n";
    std::string credits;
    for (const std::string &credit : lyrics.credits) {
        if (tagValue(credit).empty())
            continue;
        credits += (credits.empty() ? "" : ", ") + tagValue(credit);
    }
    if (!credits.empty())
        out += "[ar:" + credits + "]\n";
    if (!program.empty())
        out += "[re:" + tagValue(program) + "]\n";

    const auto &hs = lyrics.highlights;
    for (auto run = hs.begin(); run != hs.end();) {
        const auto runEnd = std::find_if(run, hs.end(), [&](const Highlight &h) { return h.line != run->line; });
        out += lrcLine(lyrics.lines[static_cast<std::size_t>(run->line)], run, runEnd) + "\n";
        run = runEnd;
    }
    return out;
}

} // namespace velk::lyrics
