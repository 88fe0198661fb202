#include "tools/velkrender/emulator_choice.h"

#include <kemuopl.h>
#include <nemuopl.h>
#include <wemuopl.h>

#include <cstdint>
#include <vector>

#include "rol/opl2_chip.h"

namespace velk::render {
namespace {

// Renders with an emulator in the one format it renders well (16-bit, in
// `nativeChannels` channels that carry the same signal) and hands out its
// first channel on every channel of `format`: Nuked renders 16-bit stereo
// only, and Ken Silverman's 8-bit mono writes every sample to one byte.
class OneChipOutput : public Copl {
public:
    OneChipOutput(std::unique_ptr<Copl> chip, int nativeChannels, const AudioFormat &format)
        : chip_(std::move(chip)), nativeChannels_(nativeChannels), format_(format)
    {
        currType = TYPE_OPL2;
    }

    void write(int reg, int val) override { chip_->write(reg, val); }
    void init() override { chip_->init(); }

    void update(short *buf, int samples) override
    {
        if (samples <= 0)
            return;
        native_.resize(static_cast<std::size_t>(samples) * nativeChannels_);
        chip_->update(native_.data(), samples);
        const int channels = format_.stereo ? 2 : 1;
        auto *bytes = reinterpret_cast<std::uint8_t *>(buf);
        for (int f = 0; f < samples; ++f) {
            const short s = native_[static_cast<std::size_t>(f) * nativeChannels_];
            for (int c = 0; c < channels; ++c) {
                if (format_.sixteenBit)
                    buf[f * channels + c] = s;
                else  // the top byte, unsigned, as CEmuopl makes it
                    bytes[f * channels + c] = static_cast<std::uint8_t>((s >> 8) ^ 0x80);
            }
        }
    }

private:
    std::unique_ptr<Copl> chip_;
    int nativeChannels_;
    AudioFormat format_;
    std::vector<short> native_;
};

} // namespace

const char *const emulatorNames = "satoh, nuked, woody or ken";

std::optional<Emulator> emulatorNamed(const std::string &name)
{
    if (name == "satoh")
        return Emulator::satoh;
    if (name == "nuked")
        return Emulator::nuked;
    if (name == "woody")
        return Emulator::woody;
    if (name == "ken")
        return Emulator::ken;
    return std::nullopt;
}

std::unique_ptr<Copl> makeChip(Emulator emulator, const AudioFormat &format)
{
    switch (emulator) {
    case Emulator::nuked:
        return std::make_unique<OneChipOutput>(std::make_unique<CNemuopl>(format.rate), 2, format);
    case Emulator::woody:
        return std::make_unique<OneChipOutput>(std::make_unique<CWemuopl>(format.rate, true, false), 1, format);
    case Emulator::ken:
        return std::make_unique<OneChipOutput>(std::make_unique<CKemuopl>(format.rate, true, false), 1, format);
    case Emulator::satoh:
        break;
    }
    return makeOpl2Chip(format.rate, format.sixteenBit, format.stereo);
}

} // namespace velk::render
