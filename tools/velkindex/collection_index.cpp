#include "tools/velkindex/collection_index.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <system_error>

#include "libvelk/velk.h"
#include "tools/velkindex/sha256.h"

namespace velk::index {
namespace fs = std::filesystem;
namespace {

// As large as the page will read.
constexpr std::uint64_t maxSongBytes = 64ull * 1024 * 1024;

std::string lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

std::string folderOf(const std::string &path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
std::string nameOf(const std::string &path) { return path.substr(folderOf(path).size()); }
std::string stemOf(const std::string &name)
{
    auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}
std::string extensionOf(const std::string &name)
{
    auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : lower(name.substr(dot + 1));
}

// An IMS song by the plug-in's test of its head; a ROL song by version 0.4.
std::string kindOf(const std::vector<std::uint8_t> &b)
{
    if (b.size() >= 6 && (b[0] == 0x01 || b[0] == 0x10) && std::all_of(b.begin() + 1, b.begin() + 6, [](auto x) { return x == 0; }))
        return "ims";
    if (b.size() >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 4 && b[3] == 0) return "rol";
    return {};
}

bool readFile(const fs::path &path, std::vector<std::uint8_t> &out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

struct FoundFile {
    std::string path;   // relative, '/'-separated
    fs::path full;
    std::uint64_t size = 0;
};

class Indexer {
public:
    explicit Indexer(const std::string &base) : base_(base) {}

    void walk(const std::string &folder)
    {
        fs::path root = folder.empty() || folder == "." ? base_ : base_ / folder;
        std::error_code ec;
        if (!fs::is_directory(root, ec)) {
            index_.bad.push_back({folder, "not a folder"});
            return;
        }
        fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
        if (ec) {
            index_.bad.push_back({folder, "cannot be read: " + ec.message()});
            return;
        }
        for (; it != end; it.increment(ec)) {
            if (ec) {
                index_.bad.push_back({relative(it->path()), "cannot be read: " + ec.message()});
                break;
            }
            std::error_code sizeError;
            if (!it->is_regular_file(sizeError)) continue;
            FoundFile f{relative(it->path()), it->path(), it->file_size(sizeError)};
            if (sizeError) f.size = 0;
            files_.push_back(f);
        }
    }

    CollectionIndex finish()
    {
        std::sort(files_.begin(), files_.end(), [](auto &a, auto &b) { return a.path < b.path; });
        files_.erase(std::unique(files_.begin(), files_.end(), [](auto &a, auto &b) { return a.path == b.path; }), files_.end());
        for (const auto &f : files_) byLowerPath_[lower(f.path)] = &f;
        for (const auto &f : files_) take(f);
        for (const auto &path : usedCompanions_) {
            const FoundFile &f = *byLowerPath_.at(lower(path));
            std::vector<std::uint8_t> bytes;
            if (readFile(f.full, bytes)) index_.companions.push_back({f.path, bytes.size(), sha256Hex(bytes.data(), bytes.size())});
        }
        return std::move(index_);
    }

private:
    std::string relative(const fs::path &p) const { return p.lexically_relative(base_).generic_string(); }

    const FoundFile *beside(const std::string &songPath, const std::string &name) const
    {
        auto it = byLowerPath_.find(lower(folderOf(songPath) + name));
        return it == byLowerPath_.end() ? nullptr : it->second;
    }

    void bad(const FoundFile &f, std::string why) { index_.bad.push_back({f.path, std::move(why)}); }

    void take(const FoundFile &f)
    {
        // A name a browser cannot ask for cannot be listed.
        if (!isUtf8(f.path)) return bad(f, "its name is not UTF-8 text (a DOS code page?): rename it");
        std::string ext = extensionOf(nameOf(f.path));
        if (ext == "bnk" || ext == "iss") return;   // taken with the songs they serve
        if (f.size == 0) return bad(f, "an empty file");
        if (f.size > maxSongBytes) return bad(f, "over 64 MiB: not read");
        std::vector<std::uint8_t> bytes;
        if (!readFile(f.full, bytes)) return bad(f, "cannot be read");
        std::string kind = kindOf(bytes);
        if (kind.empty())
            return bad(f, ext == "ims" || ext == "rol" ? "not an IMS or ROL song (its first bytes are not a song's)"
                                                       : "not a song, bank or lyric file");
        song(f, kind, bytes);
    }

    void song(const FoundFile &f, const std::string &kind, const std::vector<std::uint8_t> &bytes)
    {
        // The bank as the library finds it: its own name with .bnk, else
        // STANDARD.BNK in its folder, each in any case.
        const FoundFile *bank = beside(f.path, stemOf(nameOf(f.path)) + ".bnk");
        if (!bank) bank = beside(f.path, "standard.bnk");
        if (!bank) return bad(f, "no bank beside it (" + stemOf(nameOf(f.path)) + ".BNK or STANDARD.BNK)");

        velk_options options;
        velk_options_init(&options);
        std::string bankPath = bank->full.string();
        options.bank_path = bankPath.c_str();
        velk_song *handle = nullptr;
        velk_error error = velk_open_file(f.full.string().c_str(), &options, &handle);
        if (error != VELK_OK) {
            std::string why = handle ? velk_error_message(handle) : "out of memory";
            velk_close(handle);
            return bad(f, why.empty() ? velk_error_string(error) : why);
        }
        IndexedSong s;
        s.path = f.path;
        s.kind = kind;
        s.title = velk_title(handle);
        s.lengthMs = velk_length_ms(handle);
        s.voices = velk_voice_count(handle);
        s.bank = bank->path;
        s.size = bytes.size();
        s.hash = sha256Hex(bytes.data(), bytes.size());
        usedCompanions_.insert(bank->path);
        if (kind == "ims") {
            if (const FoundFile *lyrics = beside(f.path, stemOf(nameOf(f.path)) + ".iss")) {
                if (const char *problem = velk_lyrics_problem(handle)) {
                    s.lyricsProblem = problem;
                } else {
                    s.lyrics = lyrics->path;
                    usedCompanions_.insert(lyrics->path);
                }
            }
            for (int i = 0; i < velk_lyrics_credit_count(handle); ++i) {
                const char *credit = velk_lyrics_credit(handle, i);
                if (credit && *credit) s.credits.emplace_back(credit);
            }
        }
        velk_close(handle);
        index_.songs.push_back(std::move(s));
    }

    fs::path base_;
    std::vector<FoundFile> files_;
    std::map<std::string, const FoundFile *> byLowerPath_;
    std::set<std::string> usedCompanions_;
    CollectionIndex index_;
};

} // namespace

bool isUtf8(const std::string &text)
{
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    std::size_t n = text.size(), i = 0;
    while (i < n) {
        unsigned c = s[i];
        int follow = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (follow < 0 || (follow > 0 && i + follow >= n)) return false;
        std::uint32_t cp = follow == 0 ? c : c & (0x3f >> follow);
        for (int k = 1; k <= follow; ++k) {
            if ((s[i + k] & 0xc0) != 0x80) return false;
            cp = cp << 6 | (s[i + k] & 0x3f);
        }
        static const std::uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (cp < least[follow] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return false;
        i += follow + 1;
    }
    return true;
}

CollectionIndex indexCollection(const std::string &base, const std::vector<std::string> &folders)
{
    Indexer indexer(base);
    for (const auto &folder : folders) indexer.walk(folder);
    return indexer.finish();
}

} // namespace velk::index
