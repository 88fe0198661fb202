#include "tools/velkrender/audio_file.h"

#include <sndfile.h>

#include <filesystem>
#include <vector>

#include "tools/velkrender/vorbis_file.h"

namespace velk::render {

AudioFile::AudioFile() = default;

AudioFile::~AudioFile()
{
    if (file_)
        sf_close(file_);
}

bool AudioFile::open(const std::string &path, OutputFormat format, int rate, int channels, bool sixteenBit,
                     const std::string &title, const TagList &tags, std::string &error)
{
    if (format == OutputFormat::midi || format == OutputFormat::vgm) {
        error = "a MIDI or VGM file holds no audio";
        return false;
    }
    path_ = path;
    channels_ = channels;
    if (format == OutputFormat::vorbis) {
        TagList all;
        if (!title.empty())
            all.emplace_back("TITLE", title);
        all.insert(all.end(), tags.begin(), tags.end());
        vorbis_ = std::make_unique<VorbisFile>();
        return vorbis_->open(path, rate, channels, all, error);
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    switch (format) {
    case OutputFormat::flac: info.format = SF_FORMAT_FLAC | (sixteenBit ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_S8); break;
    case OutputFormat::vorbis: info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS; break;
    default: info.format = SF_FORMAT_WAV | (sixteenBit ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_U8); break;
    }
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file_) {
        error = "cannot write " + path + " (" + sf_strerror(nullptr) + ")";
        return false;
    }
    channels_ = channels;
    sixteenBit_ = sixteenBit;
    wavBytes_ = format == OutputFormat::wav;
    if (format != OutputFormat::wav && !title.empty())
        sf_set_string(file_, SF_STR_TITLE, title.c_str());
    if (format == OutputFormat::flac)
        flacTags_ = tags;
    return true;
}

bool AudioFile::write(const std::int16_t *frames, std::size_t count)
{
    if (vorbis_)
        return vorbis_->write(frames, count);
    if (failed_ || !file_)
        return false;
    if (sixteenBit_ || !wavBytes_) {
        // libsndfile makes 8-bit FLAC samples of the top bytes itself.
        failed_ = sf_writef_short(file_, frames, static_cast<sf_count_t>(count)) != static_cast<sf_count_t>(count);
        return !failed_;
    }
    // 8-bit WAV: each sample's top byte, unsigned, as the chip gives it.
    const std::size_t samples = count * static_cast<std::size_t>(channels_);
    bytes_.resize(samples);
    for (std::size_t i = 0; i < samples; ++i)
        bytes_[i] = static_cast<unsigned char>((frames[i] >> 8) ^ 0x80);
    failed_ = sf_write_raw(file_, bytes_.data(), static_cast<sf_count_t>(samples)) != static_cast<sf_count_t>(samples);
    return !failed_;
}

bool AudioFile::finish(std::string *error)
{
    if (vorbis_) {
        const bool ok = vorbis_->finish();
        vorbis_.reset();
        return ok;
    }
    if (!file_)
        return false;
    sf_write_sync(file_);
    const bool ok = !failed_ && sf_error(file_) == SF_ERR_NO_ERROR;
    const bool closed = sf_close(file_) == 0;
    file_ = nullptr;
    if (!ok || !closed)
        return false;
    // A device such as /dev/null has no tags to rewrite.
    std::error_code unknown;
    if (flacTags_.empty() || !std::filesystem::is_regular_file(path_, unknown))
        return true;
    std::string why;
    if (addFlacTags(path_, flacTags_, why))
        return true;
    if (error)
        *error = why;
    return false;
}

} // namespace velk::render
