#include "tests/support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define velk_getpid _getpid
#else
#include <unistd.h>
#define velk_getpid getpid
#endif

namespace velk::test {
namespace {

void setVariable(const std::string &name, const std::string *value)
{
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value)
        setenv(name.c_str(), value->c_str(), 1);
    else
        unsetenv(name.c_str());
#endif
}

} // namespace

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    auto base = std::filesystem::temp_directory_path();
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        auto name = "velk-test-" + std::to_string(velk_getpid()) + "-" + std::to_string(counter++) + "-" +
                    std::to_string(stamp % 1000000);
        path_ = base / name;
        if (std::filesystem::create_directory(path_))
            break;
    }
}

TempDir::~TempDir()
{
    if (redirected_)
        for (auto &s : saved_)
            setVariable(s.name, s.was ? &s.value : nullptr);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::withSeparator() const
{
    auto text = path_.string();
#ifdef _WIN32
    return text + "\\";
#else
    return text + "/";
#endif
}

void TempDir::becomeTemporaryDirectory()
{
    const char *names[4] = {"TMPDIR", "TMP", "TEMP", "XDG_RUNTIME_DIR"};
    auto value = path_.string();
    for (int i = 0; i < 4; ++i) {
        if (!redirected_) {
            const char *old = std::getenv(names[i]);
            saved_[i] = {names[i], old ? old : "", old != nullptr};
        }
        setVariable(names[i], i < 3 ? &value : nullptr);
    }
    redirected_ = true;
}

} // namespace velk::test
