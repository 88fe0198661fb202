#include "tools/velkrender/audio_file.h"

#include <sndfile.h>

#include <cctype>
#include <vector>

namespace velk::render {
namespace {

std::string lowerExtension(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string extension = path.substr(dot);
    for (char &c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

} // namespace

AudioFileType audioFileTypeOf(const std::string &path)
{
    const std::string extension = lowerExtension(path);
    if (extension == ".flac")
        return AudioFileType::flac;
    if (extension == ".ogg" || extension == ".oga")
        return AudioFileType::vorbis;
    return AudioFileType::wav;
}

AudioFile::~AudioFile()
{
    if (file_)
        sf_close(file_);
}

bool AudioFile::open(const std::string &path, int rate, int channels, bool sixteenBit, const std::string &title,
                     std::string &error)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    const AudioFileType type = audioFileTypeOf(path);
    switch (type) {
    case AudioFileType::wav: info.format = SF_FORMAT_WAV | (sixteenBit ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_U8); break;
    case AudioFileType::flac: info.format = SF_FORMAT_FLAC | (sixteenBit ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_S8); break;
    case AudioFileType::vorbis: info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS; break;
    }
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file_) {
        error = "cannot write " + path + " (" + sf_strerror(nullptr) + ")";
        return false;
    }
    channels_ = channels;
    sixteenBit_ = sixteenBit;
    wavBytes_ = type == AudioFileType::wav;
    if (type != AudioFileType::wav && !title.empty())
        sf_set_string(file_, SF_STR_TITLE, title.c_str());
    return true;
}

bool AudioFile::write(const std::int16_t *frames, std::size_t count)
{
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

bool AudioFile::finish()
{
    if (!file_)
        return false;
    sf_write_sync(file_);
    const bool ok = !failed_ && sf_error(file_) == SF_ERR_NO_ERROR;
    const bool closed = sf_close(file_) == 0;
    file_ = nullptr;
    return ok && closed;
}

} // namespace velk::render
