#include "libvelk/song_loudness.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

#if VELK_LOUDNESS
#include <ebur128.h>
#endif

#include "libvelk/emulator_chip.h"
#include "libvelk/song_handle.h"
#include "libvelk/song_render.h"
#include "libvelk/song_twin.h"
#include "libvelk/voice_attenuation.h"
#include "rol/rol_player.h"

namespace velk::lib {

// The figures and the controls they were measured under.
struct MeasuredLoudness {
    velk_loudness figures{};
    std::uint32_t muted = 0;
    double tempo = 1.0;
    int transpose = 0;
    int gains[VELK_MAX_VOICES] = {};

    bool sameControls(const velk_song &song) const
    {
        if (muted != song.mutedVoices || tempo != song.tempo || transpose != song.transpose)
            return false;
        for (int v = 0; v < VELK_MAX_VOICES; ++v)
            if (gains[v] != song.voices->voiceGain(v))
                return false;
        return true;
    }
};

#if VELK_LOUDNESS
namespace {

// Frames rendered at a time.
constexpr std::size_t blockFrames = 4096;

struct MeterCloser {
    void operator()(ebur128_state *state) const { ebur128_destroy(&state); }
};

velk_loudness measure(const velk_song &song)
{
    velk_song twin;
    makeTwin(song, twin, TwinControls::all);
    std::unique_ptr<ebur128_state, MeterCloser> meter(
        ebur128_init(static_cast<unsigned>(twin.channels), static_cast<unsigned long>(twin.sampleRate),
                     EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_TRUE_PEAK));
    if (!meter)
        throw std::bad_alloc();
    std::vector<std::int16_t> block(blockFrames * static_cast<std::size_t>(twin.channels));
    std::size_t frames;
    while ((frames = renderFrames(twin, block.data(), blockFrames)) > 0)
        if (ebur128_add_frames_short(meter.get(), block.data(), frames) != EBUR128_SUCCESS)
            throw std::runtime_error("the loudness meter failed");
    velk_loudness figures{};
    if (ebur128_loudness_global(meter.get(), &figures.integrated_lufs) != EBUR128_SUCCESS)
        throw std::runtime_error("the loudness meter failed");
    for (unsigned c = 0; c < static_cast<unsigned>(twin.channels); ++c) {
        double peak = 0.0;
        ebur128_sample_peak(meter.get(), c, &peak);
        figures.sample_peak = std::max(figures.sample_peak, peak);
        ebur128_true_peak(meter.get(), c, &peak);
        figures.true_peak = std::max(figures.true_peak, peak);
    }
    // A silent song is left as it is.
    figures.track_gain_db = std::isfinite(figures.integrated_lufs) ? VELK_REFERENCE_LUFS - figures.integrated_lufs : 0.0;
    return figures;
}

} // namespace

bool measuresLoudness() { return true; }
#else
bool measuresLoudness() { return false; }
#endif

velk_loudness songLoudness(velk_song &song)
{
    if (song.loudness && song.loudness->sameControls(song))
        return song.loudness->figures;
#if VELK_LOUDNESS
    auto measured = std::make_shared<MeasuredLoudness>();
    measured->figures = measure(song);
    measured->muted = song.mutedVoices;
    measured->tempo = song.tempo;
    measured->transpose = song.transpose;
    for (int v = 0; v < VELK_MAX_VOICES; ++v)
        measured->gains[v] = song.voices->voiceGain(v);
    song.loudness = measured;
    return measured->figures;
#else
    throw std::runtime_error("this build of the library measures no loudness (it has no libebur128)");
#endif
}

} // namespace velk::lib
