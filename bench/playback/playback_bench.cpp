// What the render loop costs beside the chip: ten minutes of audio rendered
// through the controller and its render thread with a trivial player and an
// output that takes everything, against CEmuopl rendering the same frames
// alone; and the allocations made while the loop runs, which must not grow
// with the number of blocks. Prints figures; not a test.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include <emuopl.h>
#include <player.h>
#include <silentopl.h>
#include <players.h>

#include "playback/playback_controller.h"
#include "playback/playback_settings.h"
#include "playback/render_thread.h"
#include "rol/opl2_chip.h"

namespace {

// Every allocation through operator new while `counting` is set.
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void *allocate(std::size_t bytes)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *memory = std::malloc(bytes ? bytes : 1))
        return memory;
    throw std::bad_alloc();
}

} // namespace

void *operator new(std::size_t bytes) { return allocate(bytes); }
void *operator new[](std::size_t bytes) { return allocate(bytes); }
void *operator new(std::size_t bytes, const std::nothrow_t &) noexcept
{
    try {
        return allocate(bytes);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
void *operator new[](std::size_t bytes, const std::nothrow_t &tag) noexcept { return operator new(bytes, tag); }
void operator delete(void *memory) noexcept { std::free(memory); }
void operator delete[](void *memory) noexcept { std::free(memory); }
void operator delete(void *memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void *memory, std::size_t) noexcept { std::free(memory); }

namespace {

// CPU time of the calling thread: other work on a shared machine does not
// count, as it would in wall-clock time.
double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

constexpr int sampleRate = 44100;
constexpr int blockFrames = velk::renderBlockFrames;

int blocksFor(int seconds)
{
    return (seconds * sampleRate + blockFrames - 1) / blockFrames;
}

// Ticks at 70 Hz for ever, keying one note on and off so the chip works as
// it does for music.
class TrivialPlayer : public CPlayer {
public:
    explicit TrivialPlayer(Copl *chip) : CPlayer(chip) {}
    static CPlayer *create(Copl *chip) { return new TrivialPlayer(chip); }
    bool load(const std::string &, const CFileProvider &) override { return true; }
    bool update() override
    {
        ++ticks_;
        opl->write(0xB0, (ticks_ & 32) ? 0x31 : 0x11);
        return true;
    }
    void rewind(int) override
    {
        ticks_ = 0;
        opl->init();
        opl->write(0x20, 0x01);
        opl->write(0x40, 0x10);
        opl->write(0x60, 0xF0);
        opl->write(0x80, 0x77);
        opl->write(0xA0, 0x98);
        opl->write(0x23, 0x01);
        opl->write(0x63, 0xF0);
        opl->write(0x83, 0x77);
    }
    float getrefresh() override { return 70.0f; }
    std::string gettype() override { return "trivial"; }

private:
    int ticks_ = 0;
};

// An output that takes everything; it notes when the last wanted block is
// written, then has no more room, so the thread waits until stopped.
struct Output {
    static inline std::atomic<int> blocks{0};
    static inline int wanted = 0;
    static inline std::atomic<bool> done{false};
    static inline double renderSeconds = 0.0;  // the render thread's, from its start

    static int open(int, int, int, int, int) { return 0; }
    static void close() {}
    static int write(char *, int)
    {
        if (blocks.fetch_add(1) + 1 == wanted) {
            renderSeconds = threadCpuSeconds();
            done = true;
        }
        return 0;
    }
    static int canWrite() { return done ? 0 : 1 << 28; }
    static int isPlaying() { return 0; }
    static int pause(int) { return 0; }
    static void setVolume(int) {}
    static void setPan(int) {}
    static void flush(int) {}
    static int time() { return 0; }
};

void noVisualisation(void *, int, int, int) {}
int sameFrames(short *, int frames, int, int, int) { return frames; }
void nothing() {}
void nothing2(int, int) {}
void nothing4(int, int, int, int) {}

struct LoopRun {
    double seconds;
    long allocations;
};

Copl *createSilentChip(int, bool, bool)
{
    return new CSilentopl;
}

LoopRun renderThroughLoop(int blocks, velk::ChipFactory createChip = velk::createEmulatedChip)
{
    Out_Module output{};
    output.Open = Output::open;
    output.Close = Output::close;
    output.Write = Output::write;
    output.CanWrite = Output::canWrite;
    output.IsPlaying = Output::isPlaying;
    output.Pause = Output::pause;
    output.SetVolume = Output::setVolume;
    output.SetPan = Output::setPan;
    output.Flush = Output::flush;
    output.GetOutputTime = Output::time;
    output.GetWrittenTime = Output::time;
    In_Module host{};
    host.outMod = &output;
    host.SAVSAInit = nothing2;
    host.SAVSADeInit = nothing;
    host.VSASetInfo = nothing2;
    host.SetInfo = nothing4;
    host.SAAddPCMData = noVisualisation;
    host.VSAAddPCMData = noVisualisation;
    host.dsp_dosamples = sameFrames;

    static const CPlayerDesc description(TrivialPlayer::create, "trivial", ".x\0");
    CPlayers players;
    players.push_back(&description);
    velk::PlaybackSettings settings;
    settings.setDefaults();
    velk::PlaybackController controller(host, settings, players, velk::filesystemProvider(), createChip);

    Output::blocks = 0;
    Output::wanted = blocks;
    Output::done = false;
    allocations = 0;
    counting = true;
    if (controller.play("song.x") != 0) {
        std::fprintf(stderr, "play failed\n");
        std::exit(1);
    }
    while (!Output::done)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    counting = false;
    controller.stop();
    return {Output::renderSeconds, allocations.load()};
}

double renderChipAlone(int blocks)
{
    const std::unique_ptr<CEmuopl> ownChip = velk::makeOpl2Chip(sampleRate, true, true);
    CEmuopl &chip = *ownChip;
    TrivialPlayer player(&chip);
    player.rewind(0);
    std::vector<short> buffer(2 * blockFrames * 2);
    // The same register writes, a tick each 630 frames, so that the chip
    // works as hard as in the loop.
    int framesToTick = 0;
    const double start = threadCpuSeconds();
    for (int block = 0; block < blocks; ++block) {
        if ((framesToTick -= blockFrames) < 0) {
            player.update();
            framesToTick += sampleRate / 70;
        }
        chip.update(buffer.data(), blockFrames);
    }
    return threadCpuSeconds() - start;
}

} // namespace

int main()
{
    const int tenMinutes = blocksFor(600);
    const int oneMinute = blocksFor(60);

    // Best of five of each, interleaved, against a shared and noisy machine.
    // The loop's own work is also timed apart, on a chip that renders
    // nothing: the difference of two noisy times cannot show a share this small.
    double loopBest = 1e9, chipBest = 1e9, ownBest = 1e9;
    long loopAllocations = 0;
    for (int round = 0; round < 5; ++round) {
        const LoopRun run = renderThroughLoop(tenMinutes);
        loopBest = std::min(loopBest, run.seconds);
        loopAllocations = run.allocations;
        chipBest = std::min(chipBest, renderChipAlone(tenMinutes));
        ownBest = std::min(ownBest, renderThroughLoop(tenMinutes, createSilentChip).seconds);
    }
    const LoopRun shortRun = renderThroughLoop(oneMinute);

    const double share = ownBest / loopBest * 100.0;
    std::printf("10 minutes of 44100 Hz 16-bit stereo audio, %d blocks of %d frames (thread CPU time, best of 5)\n", tenMinutes,
                blockFrames);
    std::printf("  render loop (player, chip, DSP, output): %8.3f s  (%.1fx real time)\n", loopBest,
                600.0 / loopBest);
    std::printf("  CEmuopl alone, same frames:              %8.3f s  (difference %+.1f %%, within noise)\n",
                chipBest, (loopBest - chipBest) / loopBest * 100.0);
    std::printf("  render loop on a chip that renders nothing: %.1f ms  (%.0f ns a block)\n", ownBest * 1e3,
                ownBest * 1e9 / tenMinutes);
    std::printf("  the loop's own share:                    %8.2f %%  (target under 3 %%)\n", share);
    std::printf("allocations from play to the last block: %ld for 10 minutes, %ld for 1 minute (%d blocks)\n",
                loopAllocations, shortRun.allocations, oneMinute);
    std::printf("  (play's player, chip and thread, the sample buffer, the chip's mixing buffers: none per block)\n");
    return 0;
}
