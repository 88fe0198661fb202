#include "tools/velkplay/even_loudness.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <thread>

namespace velk::play {

double evenGainDb(const velk_loudness &loudness)
{
    if (!std::isfinite(loudness.track_gain_db))
        return 0;  // a silent song: nothing to even out
    const double peak = std::max(loudness.true_peak, loudness.sample_peak);
    const double headroomDb = peak > 0 ? -20 * std::log10(peak) : loudness.track_gain_db;
    return std::min(loudness.track_gain_db, headroomDb);
}

void applyGain(std::int16_t *samples, std::size_t count, double fromDb, double toDb)
{
    if (fromDb == 0 && toDb == 0)
        return;
    const double from = std::pow(10.0, fromDb / 20), to = std::pow(10.0, toDb / 20);
    for (std::size_t i = 0; i < count; ++i) {
        const double gain = from + (to - from) * static_cast<double>(i) / static_cast<double>(count);
        const long value = std::lround(samples[i] * gain);
        samples[i] = static_cast<std::int16_t>(std::clamp<long>(value, INT16_MIN, INT16_MAX));
    }
}

struct LoudnessMeasure::Shared {
    mutable std::mutex lock;
    bool done = false;
    std::optional<double> gainDb;
    std::string failure;
};

LoudnessMeasure::LoudnessMeasure(const std::string &path, const velk_options &options, double tempo, int transpose)
    : shared_(std::make_shared<Shared>())
{
    // The thread keeps its own copies: the song may be long gone when it ends.
    std::thread([shared = shared_, path, options = velk_options(options), bank = std::string(options.bank_path ? options.bank_path : ""),
                 tempo, transpose]() mutable {
        options.bank_path = bank.empty() ? nullptr : bank.c_str();
        options.location = nullptr;
        velk_song *song = nullptr;
        velk_loudness loudness{};
        velk_error error = velk_open_file(path.c_str(), &options, &song);
        if (error == VELK_OK) {
            velk_set_tempo(song, tempo);
            velk_set_transpose(song, transpose);
            error = velk_measure_loudness(song, &loudness);
        }
        std::lock_guard<std::mutex> hold(shared->lock);
        shared->done = true;
        if (error == VELK_OK)
            shared->gainDb = evenGainDb(loudness);
        else
            shared->failure = song ? velk_error_message(song) : velk_error_string(error);
        velk_close(song);
    }).detach();
}

LoudnessMeasure::~LoudnessMeasure() = default;

std::optional<double> LoudnessMeasure::gainDb() const
{
    std::lock_guard<std::mutex> hold(shared_->lock);
    return shared_->gainDb;
}

std::string LoudnessMeasure::failure() const
{
    std::lock_guard<std::mutex> hold(shared_->lock);
    return shared_->failure;
}

} // namespace velk::play
