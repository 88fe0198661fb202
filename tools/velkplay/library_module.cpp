#include "tools/velkplay/library_module.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/host_window.h"
#include "tools/velkplay/even_loudness.h"
#include "tools/velkplay/heard_timeline.h"
#include "tools/velkplay/seek_index_builder.h"

namespace velk::play {
namespace {

// Frames rendered and written at a time.
constexpr int blockFrames = 576;
constexpr auto pollInterval = std::chrono::milliseconds(10);

struct Playing {
    velk_options options{};
    velk_song *song = nullptr;
    std::string songPath;
    std::thread thread;
    std::atomic<bool> running{false};
    std::atomic<bool> paused{false};
    std::atomic<int> seekTargetMs{-1};

    // What the listener asks (any thread) and what the song was last given
    // (the render thread, or Play before it starts).
    std::atomic<std::uint32_t> wantedMuted{0};
    std::atomic<int> wantedTempoPercent{100};
    std::atomic<int> wantedTranspose{0};
    std::atomic<bool> wantedEven{false};
    Listening applied;

    // Made and replaced on the thread that owns the handle; the player's
    // thread reads the measure's figure.
    std::unique_ptr<SeekIndexBuilder> seekIndex;
    std::shared_ptr<LoudnessMeasure> loudness;
    std::mutex loudnessLock;  // guards `loudness` itself
    double appliedGainDb = 0;  // render thread

    // Read on the player's thread while the render thread owns the handle.
    std::vector<std::string> voiceNames;
    std::vector<bool> rhythmVoices;
    HeardTimeline timeline;
};

Playing &playing()
{
    static Playing state;
    return state;
}

In_Module &record();

int clampMs(std::int64_t ms) { return static_cast<int>(std::clamp<std::int64_t>(ms, 0, INT_MAX)); }

// The song's time and voices now, at output time `outputMs`.
TimelineStamp stampNow(velk_song *song, int outputMs)
{
    TimelineStamp stamp;
    stamp.outputMs = outputMs;
    stamp.songMs = velk_position_ms(song);
    stamp.voiceCount = std::min(velk_voice_count(song), VELK_MAX_VOICES);
    for (int v = 0; v < stamp.voiceCount; ++v)
        velk_voice_state_at(song, v, &stamp.voices[v]);
    return stamp;
}

// Drops what the output holds and starts its clock, and the timeline, at
// the song's position.
void flushAtSong(Out_Module &out, Playing &p)
{
    const int songMs = clampMs(velk_position_ms(p.song));
    out.Flush(songMs);
    p.timeline.restart(stampNow(p.song, songMs));
}

// Gives the song what the listener asked for since the last block.
void applyListening(Playing &p)
{
    const Listening wanted{p.wantedMuted.load(), p.wantedTempoPercent.load(), p.wantedTranspose.load(),
                           p.wantedEven.load()};
    if (wanted.muted != p.applied.muted)
        velk_set_muted_voices(p.song, wanted.muted);
    if (wanted.tempoPercent != p.applied.tempoPercent)
        velk_set_tempo(p.song, wanted.tempoPercent / 100.0);
    if (wanted.transpose != p.applied.transpose)
        velk_set_transpose(p.song, wanted.transpose);
    // Snapshots hold for one tempo and key: an index of the others would
    // make no seek exact.
    const bool resounded = wanted.tempoPercent != p.applied.tempoPercent || wanted.transpose != p.applied.transpose;
    p.applied = wanted;
    if (resounded && p.seekIndex) {
        p.seekIndex.reset();
        p.seekIndex = std::make_unique<SeekIndexBuilder>(p.song);
    }
}

// The gain "even loudness" asks for now: 0 dB while off or unmeasured.
double wantedGainDb(Playing &p)
{
    if (!p.applied.evenLoudness)
        return 0;
    std::lock_guard<std::mutex> hold(p.loudnessLock);
    return p.loudness ? p.loudness->gainDb().value_or(0) : 0;
}

// Renders the song into the output until it ends (then lets the output play
// out and tells the host) or Stop clears `running`.
void renderSong()
{
    Playing &p = playing();
    Out_Module &out = *record().outMod;
    const int channels = velk_channels(p.song);
    std::vector<std::int16_t> block(static_cast<std::size_t>(blockFrames) * channels);
    bool ended = false;
    while (p.running) {
        const int target = p.seekTargetMs.exchange(-1);
        if (target >= 0) {
            velk_seek_ms(p.song, target);
            flushAtSong(out, p);
            ended = false;
        }
        if (p.paused) {
            // As the plug-in pauses: what the output holds is dropped and its
            // clock stays at the time heard; on resuming the song goes on
            // from there.
            const int outputMs = out.GetOutputTime();
            const bool dropped = out.GetWrittenTime() > outputMs;
            TimelineStamp heard = p.timeline.heardAt(outputMs);
            heard.outputMs = clampMs(heard.songMs);
            out.Flush(heard.outputMs);
            p.timeline.restart(heard);
            while (p.paused && p.running)
                std::this_thread::sleep_for(pollInterval);
            if (dropped && p.running && p.seekTargetMs.load() < 0) {
                velk_seek_ms(p.song, heard.songMs);
                flushAtSong(out, p);
                ended = false;
            }
            continue;
        }
        if (ended) {
            if (!out.IsPlaying()) {
                postToHostWindow(record().hMainWindow, hostEndOfSongMessage, 0, 0);
                return;
            }
            std::this_thread::sleep_for(pollInterval);
            continue;
        }
        applyListening(p);
        const long frames = velk_render(p.song, block.data(), blockFrames);
        if (frames <= 0) {
            ended = true;
            continue;
        }
        const double gainDb = wantedGainDb(p);
        applyGain(block.data(), static_cast<std::size_t>(frames) * channels, p.appliedGainDb, gainDb);
        p.appliedGainDb = gainDb;
        const int bytes = static_cast<int>(frames) * channels * 2;
        // A seek, a pause or a stop while waiting drops the block.
        auto interrupted = [&] { return !p.running || p.paused || p.seekTargetMs.load() >= 0; };
        while (!interrupted() && out.CanWrite() < bytes)
            std::this_thread::sleep_for(pollInterval);
        if (!interrupted()) {
            out.Write(reinterpret_cast<char *>(block.data()), bytes);
            p.timeline.add(stampNow(p.song, out.GetWrittenTime()));
        }
    }
}

void stop()
{
    Playing &p = playing();
    if (!p.song)
        return;
    p.running = false;
    if (p.thread.joinable())
        p.thread.join();
    record().outMod->Close();
    // The stamps point at the handle's instrument names.
    p.timeline.clear();
    p.seekIndex.reset();
    {
        std::lock_guard<std::mutex> hold(p.loudnessLock);
        p.loudness.reset();
    }
    velk_close(p.song);
    p.song = nullptr;
    p.paused = false;
}

int play(const char *file)
{
    stop();
    Playing &p = playing();
    velk_song *song = nullptr;
    if (!file || velk_open_file(file, &p.options, &song) != VELK_OK) {
        lastOpenError() = song ? velk_error_message(song) : "out of memory";
        velk_close(song);
        return -1;
    }
    Out_Module &out = *record().outMod;
    if (out.Open(velk_sample_rate(song), velk_channels(song), 16, -1, -1) < 0) {
        lastOpenError() = "the output cannot open";
        velk_close(song);
        return 2;
    }
    p.applied = Listening{};
    p.voiceNames.clear();
    p.rhythmVoices.clear();
    for (int v = 0; v < velk_voice_count(song); ++v) {
        p.voiceNames.emplace_back(velk_voice_name(song, v));
        p.rhythmVoices.push_back(velk_voice_is_rhythm(song, v) != 0);
    }
    p.song = song;
    applyListening(p);
    p.appliedGainDb = 0;
    p.seekIndex = std::make_unique<SeekIndexBuilder>(song);
    {
        // Measured as it begins to play (every voice heard, mutes being a
        // song's own), whether or not the listener evens songs out yet.
        std::lock_guard<std::mutex> hold(p.loudnessLock);
        p.loudness = std::make_shared<LoudnessMeasure>(file, p.options, p.applied.tempoPercent / 100.0,
                                                       p.applied.transpose);
    }
    p.timeline.restart(stampNow(song, 0));
    p.songPath = file;
    p.seekTargetMs = -1;
    p.paused = false;
    p.running = true;
    p.thread = std::thread(renderSong);
    return 0;
}

// Songs opened for their title and length only: any emulator gives those,
// and Ken's may be held by the song playing.
const velk_options &infoOptions()
{
    static velk_options options = [] {
        velk_options o;
        velk_options_init(&o);
        o.emulator = VELK_EMULATOR_NUKED;
        return o;
    }();
    options.bank_path = playing().options.bank_path;
    return options;
}

// The title as the plug-in hands it over (EUC-KR), and the length.
void fileInfo(const char *file, char *title, int *lengthMs)
{
    Playing &p = playing();
    velk_song *song = nullptr;
    const bool current = !file || !*file;
    if (current)
        song = p.song;
    else if (velk_open_file(file, &infoOptions(), &song) != VELK_OK) {
        velk_close(song);
        song = nullptr;
    }
    if (title)
        *title = '\0';
    if (lengthMs)
        *lengthMs = song ? clampMs(velk_length_ms(song)) : -1;
    if (song && title) {
        std::strncpy(title, velk_title_euckr(song), 255);
        title[255] = '\0';
    }
    if (!current)
        velk_close(song);
}

void pause() { playing().paused = true; }

void unPause() { playing().paused = false; }

In_Module &record()
{
    static In_Module module = [] {
        In_Module m{};
        m.version = 0x100;
        m.description = const_cast<char *>("libvelk " VELK_VERSION_STRING);
        m.FileExtensions = const_cast<char *>("IMS\0Iyagi Music Song (*.IMS)\0ROL\0AdLib Visual Composer song (*.ROL)\0");
        m.is_seekable = 1;
        m.UsesOutputPlug = 1;
        m.Config = [](HostWindow) {};
        m.About = [](HostWindow) {};
        m.Init = [] {};
        m.Quit = [] { stop(); };
        m.GetFileInfo = fileInfo;
        m.InfoBox = [](const char *, HostWindow) { return 0; };
        m.IsOurFile = [](const char *) { return 0; };
        m.Play = play;
        m.Pause = pause;
        m.UnPause = unPause;
        m.IsPaused = [] { return playing().paused.load() ? 1 : 0; };
        m.Stop = stop;
        m.GetLength = [] { return playing().song ? clampMs(velk_length_ms(playing().song)) : -1; };
        // Song time, whatever the tempo: the lyrics and the bar follow it.
        m.GetOutputTime = [] {
            Playing &p = playing();
            return p.song ? clampMs(p.timeline.heardAt(record().outMod->GetOutputTime()).songMs) : 0;
        };
        m.SetOutputTime = [](int ms) { playing().seekTargetMs = std::max(ms, 0); };
        m.SetVolume = [](int) {};
        m.SetPan = [](int) {};
        return m;
    }();
    return module;
}

} // namespace

std::string &lastOpenError()
{
    static std::string message;
    return message;
}

void setLibraryOptions(const velk_options &options) { playing().options = options; }

void setListening(const Listening &listening)
{
    Playing &p = playing();
    p.wantedMuted = listening.muted;
    p.wantedTempoPercent = listening.tempoPercent;
    p.wantedTranspose = listening.transpose;
    p.wantedEven = listening.evenLoudness;
}

std::optional<double> evenLoudnessGainDb(std::string &failure)
{
    Playing &p = playing();
    std::lock_guard<std::mutex> hold(p.loudnessLock);
    if (!p.loudness)
        return std::nullopt;
    failure = p.loudness->failure();
    return p.loudness->gainDb();
}

std::vector<HeardVoice> heardVoices()
{
    Playing &p = playing();
    std::vector<HeardVoice> voices;
    if (!p.song)
        return voices;
    const TimelineStamp heard = p.timeline.heardAt(record().outMod->GetOutputTime());
    for (std::size_t v = 0; v < p.voiceNames.size(); ++v) {
        HeardVoice voice;
        voice.name = p.voiceNames[v];
        voice.rhythm = p.rhythmVoices[v];
        if (static_cast<int>(v) < heard.voiceCount) {
            const velk_voice_state &state = heard.voices[v];
            voice.instrument = state.instrument ? state.instrument : "";
            voice.sounding = state.sounding != 0;
            voice.key = state.key;
            voice.level = state.level;
        }
        voices.push_back(voice);
    }
    return voices;
}

In_Module &libraryModule() { return record(); }

} // namespace velk::play
