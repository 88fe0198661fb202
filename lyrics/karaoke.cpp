#include "lyrics/karaoke.h"

#include <algorithm>

namespace velk::lyrics {

KaraokeView karaokeAt(const std::vector<Highlight> &highlights, std::int64_t ms)
{
    KaraokeView view;
    const auto reached = std::upper_bound(highlights.begin(), highlights.end(), ms,
                                          [](std::int64_t t, const Highlight &h) { return t < h.ms; });
    if (reached != highlights.begin()) {
        view.line = (reached - 1)->line;
        auto runStart = reached - 1;
        while (runStart != highlights.begin() && (runStart - 1)->line == view.line)
            --runStart;
        for (auto h = runStart; h != reached; ++h)
            if (h->first < h->end)
                view.lit.emplace_back(h->first, h->end);
        std::sort(view.lit.begin(), view.lit.end());
        std::vector<std::pair<std::size_t, std::size_t>> merged;
        for (const auto &range : view.lit) {
            if (!merged.empty() && range.first <= merged.back().second)
                merged.back().second = std::max(merged.back().second, range.second);
            else
                merged.push_back(range);
        }
        view.lit = std::move(merged);
    }
    const auto next = std::find_if(reached, highlights.end(), [&](const Highlight &h) { return h.line != view.line; });
    if (next != highlights.end())
        view.nextLine = next->line;
    return view;
}

} // namespace velk::lyrics
