// A fresh folder for one test, removed afterwards. Every test that touches
// files works inside one: the workspace names are fixed ("$$.ims") and
// parallel tests would otherwise collide.
#pragma once

#include <filesystem>
#include <string>

namespace velk::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    // The folder as a string ending in the platform's separator.
    std::string withSeparator() const;
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

    // Points TMPDIR, TMP and TEMP at this folder, and unsets XDG_RUNTIME_DIR
    // (which the workspace prefers), until the object is gone.
    void becomeTemporaryDirectory();

private:
    std::filesystem::path path_;
    struct Saved { std::string name, value; bool was; };
    Saved saved_[4]{};
    bool redirected_ = false;
};

} // namespace velk::test
