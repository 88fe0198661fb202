// Several songs rendered on several threads at once give the bytes each
// gives alone: handles share nothing, and the emulators AdPlug builds on
// shared state (satoh, woody) are guarded, each chip with its own noise.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "libvelk/velk.h"
#include "tests/support/songs.h"

namespace {

struct Job {
    std::string song;
    velk_emulator emulator;
    int rate;
    int channels;
};

// The first `seconds` of the song, from a seek to `fromMs`.
std::vector<std::int16_t> render(const Job &job, int seconds, std::int64_t fromMs)
{
    velk_options options;
    velk_options_init(&options);
    options.emulator = job.emulator;
    options.sample_rate = job.rate;
    options.channels = job.channels;
    velk_song *song = nullptr;
    if (velk_open_file(job.song.c_str(), &options, &song) != VELK_OK) {
        ADD_FAILURE() << velk_error_message(song);
        velk_close(song);
        return {};
    }
    velk_seek_ms(song, fromMs);
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(job.rate) * seconds * job.channels);
    const long frames = velk_render(song, pcm.data(), pcm.size() / job.channels);
    pcm.resize(static_cast<std::size_t>(frames > 0 ? frames : 0) * job.channels);
    velk_close(song);
    return pcm;
}

TEST(VelkThreads, SongsOnThreadsGiveTheBytesTheyGiveAlone)
{
    VELK_REQUIRE_REAL_SONG(amg, "AMG0018.IMS");
    VELK_REQUIRE_REAL_SONG(go, "go-_-go.ims");
    // Both songs play their rhythm section (noise from rand()); satoh and
    // woody at two rates each, so their shared rate-dependent state is
    // switched back and forth.
    const std::vector<Job> jobs = {
        {amg.string(), VELK_EMULATOR_SATOH, 44100, 2}, {go.string(), VELK_EMULATOR_SATOH, 22050, 1},
        {amg.string(), VELK_EMULATOR_WOODY, 22050, 2}, {go.string(), VELK_EMULATOR_WOODY, 11025, 2},
        {go.string(), VELK_EMULATOR_NUKED, 44100, 2},  {amg.string(), VELK_EMULATOR_KEN, 16000, 1},
    };
    const int seconds = 6;
    const std::int64_t fromMs = 20000;
    std::vector<std::vector<std::int16_t>> alone;
    for (const Job &job : jobs)
        alone.push_back(render(job, seconds, fromMs));

    std::vector<std::vector<std::int16_t>> together(jobs.size());
    std::vector<std::thread> threads;
    for (std::size_t j = 0; j < jobs.size(); ++j)
        threads.emplace_back([&, j] { together[j] = render(jobs[j], seconds, fromMs); });
    for (std::thread &thread : threads)
        thread.join();

    for (std::size_t j = 0; j < jobs.size(); ++j) {
        SCOPED_TRACE(velk_emulator_name(jobs[j].emulator) + (" " + jobs[j].song));
        EXPECT_EQ(alone[j].size(), static_cast<std::size_t>(jobs[j].rate) * seconds * jobs[j].channels);
        EXPECT_TRUE(together[j] == alone[j]) << "the same bytes on a thread as alone";
    }
}

} // namespace
