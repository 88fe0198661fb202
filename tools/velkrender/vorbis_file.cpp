#include "tools/velkrender/vorbis_file.h"

#include <vorbis/vorbisenc.h>

namespace velk::render {
namespace {

// libsndfile's default, which velkrender's Ogg files always had.
constexpr float quality = 0.4f;
// A fixed stream serial: the same song renders to the same bytes.
constexpr int serial = 0x56454C4B;

} // namespace

struct VorbisFile::Encoder {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
    bool ready = false;
};

VorbisFile::VorbisFile() : encoder_(std::make_unique<Encoder>()) {}

VorbisFile::~VorbisFile()
{
    if (encoder_->ready) {
        ogg_stream_clear(&encoder_->stream);
        vorbis_block_clear(&encoder_->block);
        vorbis_dsp_clear(&encoder_->dsp);
        vorbis_comment_clear(&encoder_->comment);
        vorbis_info_clear(&encoder_->info);
    }
    if (file_)
        std::fclose(file_);
}

bool VorbisFile::open(const std::string &path, int rate, int channels, const TagList &tags, std::string &error)
{
    Encoder &e = *encoder_;
    vorbis_info_init(&e.info);
    if (vorbis_encode_init_vbr(&e.info, channels, rate, quality) != 0) {
        vorbis_info_clear(&e.info);
        error = "cannot write " + path + " (the Vorbis encoder takes no " + std::to_string(rate) + " Hz)";
        return false;
    }
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        vorbis_info_clear(&e.info);
        error = "cannot write " + path;
        return false;
    }
    vorbis_comment_init(&e.comment);
    for (const auto &[name, value] : tags)
        vorbis_comment_add_tag(&e.comment, name.c_str(), value.c_str());
    vorbis_analysis_init(&e.dsp, &e.info);
    vorbis_block_init(&e.dsp, &e.block);
    ogg_stream_init(&e.stream, serial);
    e.ready = true;
    channels_ = channels;

    ogg_packet identification, comments, codebooks;
    vorbis_analysis_headerout(&e.dsp, &e.comment, &identification, &comments, &codebooks);
    ogg_stream_packetin(&e.stream, &identification);
    ogg_stream_packetin(&e.stream, &comments);
    ogg_stream_packetin(&e.stream, &codebooks);
    // The headers end on a page of their own, as the format asks.
    ogg_page page;
    while (ogg_stream_flush(&e.stream, &page) != 0)
        failed_ = failed_ || std::fwrite(page.header, 1, static_cast<std::size_t>(page.header_len), file_) !=
                                 static_cast<std::size_t>(page.header_len) ||
                  std::fwrite(page.body, 1, static_cast<std::size_t>(page.body_len), file_) !=
                      static_cast<std::size_t>(page.body_len);
    return true;
}

bool VorbisFile::drain(bool last)
{
    Encoder &e = *encoder_;
    ogg_packet packet;
    ogg_page page;
    while (vorbis_analysis_blockout(&e.dsp, &e.block) == 1) {
        vorbis_analysis(&e.block, nullptr);
        vorbis_bitrate_addblock(&e.block);
        while (vorbis_bitrate_flushpacket(&e.dsp, &packet)) {
            ogg_stream_packetin(&e.stream, &packet);
            while (ogg_stream_pageout(&e.stream, &page) != 0) {
                failed_ = failed_ ||
                          std::fwrite(page.header, 1, static_cast<std::size_t>(page.header_len), file_) !=
                              static_cast<std::size_t>(page.header_len) ||
                          std::fwrite(page.body, 1, static_cast<std::size_t>(page.body_len), file_) !=
                              static_cast<std::size_t>(page.body_len);
            }
        }
    }
    if (last) {
        while (ogg_stream_flush(&e.stream, &page) != 0)
            failed_ = failed_ ||
                      std::fwrite(page.header, 1, static_cast<std::size_t>(page.header_len), file_) !=
                          static_cast<std::size_t>(page.header_len) ||
                      std::fwrite(page.body, 1, static_cast<std::size_t>(page.body_len), file_) !=
                          static_cast<std::size_t>(page.body_len);
    }
    return !failed_;
}

bool VorbisFile::write(const std::int16_t *frames, std::size_t count)
{
    if (failed_ || !file_)
        return false;
    float **buffer = vorbis_analysis_buffer(&encoder_->dsp, static_cast<int>(count));
    for (std::size_t i = 0; i < count; ++i)
        for (int c = 0; c < channels_; ++c)
            buffer[c][i] = frames[i * static_cast<std::size_t>(channels_) + static_cast<std::size_t>(c)] / 32768.0f;
    vorbis_analysis_wrote(&encoder_->dsp, static_cast<int>(count));
    return drain(false);
}

bool VorbisFile::finish()
{
    if (!file_)
        return false;
    vorbis_analysis_wrote(&encoder_->dsp, 0);
    drain(true);
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return !failed_ && flushed && closed;
}

} // namespace velk::render
