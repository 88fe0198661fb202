// velkindex: writes the index of a song collection for the web player, so
// that its page lists hundreds of songs without opening one.
//
//   velkindex [-o FILE] BASE [FOLDER...]
//
// Songs are looked for under each FOLDER of BASE (BASE itself when none is
// given), at any depth; paths in the index are relative to BASE. Files that
// are not songs or cannot play are listed with the reason and do not fail
// the run: a collection with a bad song still makes a site.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/velkindex/collection_index.h"
#include "tools/velkindex/index_json.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: velkindex [-o FILE] BASE [FOLDER...]\n");
    return 2;
}

// Through a file beside the output and a rename: a failed run never leaves
// a cut index where the old one was.
bool writeWhole(const std::string &path, const std::string &text)
{
    std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out || !out.write(text.data(), std::streamsize(text.size())) || !out.flush()) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) std::filesystem::remove(temp, ec);
    return !ec;
}

} // namespace

int main(int argc, char **argv)
{
    std::string output;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-o") || !std::strcmp(argv[i], "--output")) {
            if (++i == argc) return usage();
            output = argv[i];
        } else if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
            usage();
            return 0;
        } else if (argv[i][0] == '-' && argv[i][1]) {
            std::fprintf(stderr, "velkindex: unknown option %s\n", argv[i]);
            return usage();
        } else {
            positional.emplace_back(argv[i]);
        }
    }
    if (positional.empty()) return usage();
    std::string base = positional.front();
    std::vector<std::string> folders(positional.begin() + 1, positional.end());
    if (folders.empty()) folders.emplace_back(".");
    std::error_code ec;
    if (!std::filesystem::is_directory(base, ec)) {
        std::fprintf(stderr, "velkindex: %s is not a folder\n", base.c_str());
        return 1;
    }

    auto index = velk::index::indexCollection(base, folders);
    std::string json = velk::index::indexJson(index);
    if (output.empty()) {
        std::fwrite(json.data(), 1, json.size(), stdout);
    } else if (!writeWhole(output, json)) {
        std::fprintf(stderr, "velkindex: cannot write %s: %s\n", output.c_str(), std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "velkindex: %zu songs, %zu bad\n", index.songs.size(), index.bad.size());
    for (const auto &b : index.bad) std::fprintf(stderr, "  %s: %s\n", b.path.c_str(), b.why.c_str());
    return 0;
}
