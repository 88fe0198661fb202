#include "libvelk/emulator_chip.h"

#include <emuopl.h>
#include <kemuopl.h>
#include <wemuopl.h>

extern "C" {
#include <nukedopl.h>
}

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cstddef>
#include <mutex>
#include <vector>

#include "libvelk/voice_attenuation.h"
#include "libvelk/voice_muting.h"
#include "rol/opl2.h"

namespace velk::lib {
namespace {

// AdPlug's satoh (fmopl.c) and woody (woodyopl.cpp) emulators share state
// between their chips: fmopl's level and sine tables with a lock count, the
// pointers to the chip it rendered last and scratch values used while
// rendering; woody's rate-dependent factors (set by whichever chip was made
// last), its vibrato scratch tables and its waveform tables made on first
// use. Both draw the noise of the rhythm section from rand(). Every call into
// them is therefore made under this one lock, and the state a chip relies on
// is put back before it is used.
std::mutex &sharedEmulatorLock()
{
    static std::mutex lock;
    return lock;
}

// A counter that tells chips apart for good (an address may be reused).
std::uint64_t nextChipSerial = 1;
// The satoh chip that rendered last; fmopl caches that chip's pointers and
// LFO steps, and keeps them when a new chip takes a freed chip's address.
std::uint64_t lastSatohRendered = 0;
// A chip of fmopl's own, never rendered, that makes it reload its cache: it
// does so whenever rendering moves to another chip.
FM_OPL *satohPrimer = nullptr;
// The sample rate woody's shared factors were last worked out for, and a
// chip of its own that works them out again for another.
int woodyRate = 0;
OPLChipClass *woodyScratch = nullptr;
// Whether a Ken chip exists.
bool kenInUse = false;

// Each chip draws rand() from a generator of its own, seeded as a new process
// is (glibc's rand() is random(), whose state setstate() switches), so that a
// song's noise is the same whatever else renders in the process.
// Seeding switches to the new state for a moment: only under the lock.
// Switched away from, the generator keeps its place in its own bytes, so
// those bytes are its whole state.
class OwnRandomState {
public:
    static constexpr std::size_t size = 128;
    void seed()
    {
        char *previous = initstate(1, state_, sizeof state_);
        setstate(previous);
    }
    char *use() { return setstate(state_); }
    static void restore(char *previous) { setstate(previous); }
    const char *bytes() const { return state_; }
    void setBytes(const std::uint8_t *bytes) { std::memcpy(state_, bytes, sizeof state_); }

private:
    alignas(std::int32_t) char state_[size] = {};
};

// Moves a pointer that points into a copy of an object at `from` (of `size`
// bytes) to the same place in the object at `to`; others stay.
template <typename T>
void relocate(T *&pointer, std::uintptr_t from, std::size_t size, std::uintptr_t to)
{
    const auto at = reinterpret_cast<std::uintptr_t>(pointer);
    if (pointer && at >= from && at - from < size)
        pointer = reinterpret_cast<T *>(to + (at - from));
}

void appendBytes(ChipState &out, const void *data, std::size_t size)
{
    const auto *bytes = static_cast<const std::uint8_t *>(data);
    out.insert(out.end(), bytes, bytes + size);
}

// fmopl's chip as CEmuopl drives it as one OPL2 in 16 bits: the first of its
// two chips rendered and copied to both channels of a stereo block, the
// plug-in's sound sample for sample. Its state is one block from
// OPLCreate: the chip, then its nine channels.
class SatohOpl : public Copl {
public:
    SatohOpl(int rate, bool stereo) : opl_(OPLCreate(OPL_TYPE_YM3812, 3579545, rate)), stereo_(stereo)
    {
        if (!opl_)
            throw std::bad_alloc();
        currType = TYPE_OPL2;
        OPLResetChip(opl_);
    }
    ~SatohOpl() override { OPLDestroy(opl_); }
    SatohOpl(const SatohOpl &) = delete;
    SatohOpl &operator=(const SatohOpl &) = delete;

    void write(int reg, int val) override
    {
        OPLWrite(opl_, 0, reg);
        OPLWrite(opl_, 1, val);
    }
    void init() override
    {
        OPLResetChip(opl_);
        currChip = 0;
    }
    void update(short *buf, int samples) override
    {
        YM3812UpdateOne(opl_, buf, samples);
        if (stereo_)
            for (int i = samples - 1; i >= 0; --i)
                buf[2 * i] = buf[2 * i + 1] = buf[i];
    }

    // The block less the tables its rate fixes (the same in every chip of
    // that rate): the chip's registers and the state of its channels,
    // envelopes, phases and LFO. Pointers into the block are moved to this
    // chip's on restoring; the others point at fmopl's shared tables.
    static constexpr std::size_t blockSize = sizeof(FM_OPL) + 9 * sizeof(OPL_CH);
    static constexpr std::size_t tablesStart = offsetof(FM_OPL, AR_TABLE);
    static constexpr std::size_t tablesEnd = offsetof(FM_OPL, ams_table);
    static constexpr std::size_t savedSize = sizeof(std::uintptr_t) + blockSize - (tablesEnd - tablesStart);

    void save(ChipState &out) const
    {
        const auto base = reinterpret_cast<std::uintptr_t>(opl_);
        const auto *block = reinterpret_cast<const std::uint8_t *>(opl_);
        appendBytes(out, &base, sizeof base);
        appendBytes(out, block, tablesStart);
        appendBytes(out, block + tablesEnd, blockSize - tablesEnd);
    }
    void restore(const std::uint8_t *saved)
    {
        std::uintptr_t from;
        std::memcpy(&from, saved, sizeof from);
        saved += sizeof from;
        auto *block = reinterpret_cast<std::uint8_t *>(opl_);
        std::memcpy(block, saved, tablesStart);
        std::memcpy(block + tablesEnd, saved + tablesStart, blockSize - tablesEnd);
        const auto to = reinterpret_cast<std::uintptr_t>(opl_);
        relocate(opl_->P_CH, from, blockSize, to);
        relocate(opl_->ams_table, from, blockSize, to);
        relocate(opl_->vib_table, from, blockSize, to);
        for (int c = 0; c < opl_->max_ch && c < 9; ++c) {
            OPL_CH &channel = opl_->P_CH[c];
            relocate(channel.connect1, from, blockSize, to);
            relocate(channel.connect2, from, blockSize, to);
            for (OPL_SLOT &slot : channel.SLOT) {
                relocate(slot.AR, from, blockSize, to);
                relocate(slot.DR, from, blockSize, to);
                relocate(slot.RR, from, blockSize, to);
                relocate(slot.wavetable, from, blockSize, to);
            }
        }
    }

private:
    FM_OPL *opl_;
    bool stereo_;
};

// DOSBox's chip as CWemuopl drives it (16-bit mono). The chip is plain data:
// its pointers point at the emulator's shared waveform tables.
class WoodyOpl : public Copl {
public:
    explicit WoodyOpl(int rate) : rate_(rate)
    {
        opl_.adlib_init(static_cast<Bit32u>(rate_), 1, 2);
        currType = TYPE_OPL2;
    }
    void update(short *buf, int samples) override { opl_.adlib_getsample(buf, samples); }
    void write(int reg, int val) override { opl_.adlib_write(static_cast<Bitu>((currChip << 8) | reg), static_cast<Bit8u>(val)); }
    void init() override
    {
        opl_.adlib_init(static_cast<Bit32u>(rate_), 1, 2);
        currChip = 0;
    }

    static constexpr std::size_t savedSize = sizeof(OPLChipClass);
    void save(ChipState &out) const { appendBytes(out, &opl_, sizeof opl_); }
    void restore(const std::uint8_t *saved) { std::memcpy(static_cast<void *>(&opl_), saved, sizeof opl_); }

private:
    OPLChipClass opl_;
    int rate_;
};

enum class Shared { satoh, woody };

// A chip of an emulator with shared state: every call holds the lock, with
// the chip's own rand() state and the shared state it expects in place.
class GuardedChip : public Copl, public ChipStateAccess {
public:
    GuardedChip(Shared kind, int rate, int channels) : kind_(kind), rate_(rate)
    {
        std::lock_guard<std::mutex> hold(sharedEmulatorLock());
        random_.seed();
        serial_ = nextChipSerial++;
        if (kind_ == Shared::satoh) {
            if (!satohPrimer) {
                satohPrimer = OPLCreate(OPL_TYPE_YM3812, 3579545, rate);
                if (!satohPrimer)
                    throw std::bad_alloc();
            }
            auto chip = std::make_unique<SatohOpl>(rate, channels == 2);
            satoh_ = chip.get();
            chip_ = std::move(chip);
        } else {
            if (!woodyScratch)
                woodyScratch = new OPLChipClass();
            auto chip = std::make_unique<WoodyOpl>(rate);
            woody_ = chip.get();
            chip_ = std::move(chip);
            woodyRate = rate;
        }
        currType = TYPE_OPL2;
    }

    ~GuardedChip() override
    {
        std::lock_guard<std::mutex> hold(sharedEmulatorLock());
        chip_.reset();
    }

    void write(int reg, int val) override
    {
        std::lock_guard<std::mutex> hold(sharedEmulatorLock());
        prepare();
        chip_->write(reg, val);
    }

    void init() override
    {
        std::lock_guard<std::mutex> hold(sharedEmulatorLock());
        prepare();
        chip_->init();
        if (kind_ == Shared::woody)
            woodyRate = rate_;
    }

    void update(short *buf, int samples) override
    {
        std::lock_guard<std::mutex> hold(sharedEmulatorLock());
        prepare();
        char *previous = random_.use();
        chip_->update(buf, samples);
        OwnRandomState::restore(previous);
        if (kind_ == Shared::satoh)
            lastSatohRendered = serial_;
    }

    // The chip, then its noise generator's place.
    void saveState(ChipState &out) override
    {
        std::lock_guard<std::mutex> hold(sharedEmulatorLock());
        out.clear();
        out.reserve(savedSize() + OwnRandomState::size);
        if (satoh_)
            satoh_->save(out);
        else
            woody_->save(out);
        appendBytes(out, random_.bytes(), OwnRandomState::size);
    }

    bool restoreState(const ChipState &state) override
    {
        if (state.size() != savedSize() + OwnRandomState::size)
            return false;
        std::lock_guard<std::mutex> hold(sharedEmulatorLock());
        if (satoh_) {
            satoh_->restore(state.data());
            // fmopl's cache of the chip it rendered last is stale now.
            if (lastSatohRendered == serial_)
                lastSatohRendered = 0;
        } else {
            woody_->restore(state.data());
        }
        random_.setBytes(state.data() + savedSize());
        return true;
    }

private:
    std::size_t savedSize() const { return satoh_ ? SatohOpl::savedSize : WoodyOpl::savedSize; }

    void prepare()
    {
        if (kind_ == Shared::satoh) {
            // Rendering nothing on the primer moves fmopl's cache away, so
            // that this chip's own pointers and steps are loaded next.
            if (lastSatohRendered != serial_) {
                YM3812UpdateOne(satohPrimer, nullptr, 0);
                lastSatohRendered = 0;
            }
        } else if (woodyRate != rate_) {
            woodyScratch->adlib_init(rate_, 1, 2);
            woodyRate = rate_;
        }
    }

    Shared kind_;
    int rate_;
    std::uint64_t serial_ = 0;
    std::unique_ptr<Copl> chip_;
    SatohOpl *satoh_ = nullptr;
    WoodyOpl *woody_ = nullptr;
    OwnRandomState random_;
};

// Hands out the first channel of an emulator that renders `nativeChannels`
// channels carrying the same signal on every channel asked for: Nuked
// renders stereo only, and woody and Ken are asked for mono.
class OneChipOutput : public Copl, public ChipStateAccess {
public:
    OneChipOutput(std::unique_ptr<Copl> chip, int nativeChannels, int channels)
        : chip_(std::move(chip)), nativeChannels_(nativeChannels), channels_(channels)
    {
        currType = TYPE_OPL2;
    }

    void write(int reg, int val) override { chip_->write(reg, val); }
    void init() override { chip_->init(); }

    void update(short *buf, int samples) override
    {
        if (samples <= 0)
            return;
        if (nativeChannels_ == 1 && channels_ == 1) {
            chip_->update(buf, samples);
            return;
        }
        native_.resize(static_cast<std::size_t>(samples) * nativeChannels_);
        chip_->update(native_.data(), samples);
        for (int f = 0; f < samples; ++f) {
            const short s = native_[static_cast<std::size_t>(f) * nativeChannels_];
            for (int c = 0; c < channels_; ++c)
                buf[f * channels_ + c] = s;
        }
    }

    // The emulator's own; only scratch is kept here.
    void saveState(ChipState &out) override
    {
        if (auto *inner = dynamic_cast<ChipStateAccess *>(chip_.get()))
            inner->saveState(out);
        else
            out.clear();
    }
    bool restoreState(const ChipState &state) override
    {
        auto *inner = dynamic_cast<ChipStateAccess *>(chip_.get());
        return inner && inner->restoreState(state);
    }
    bool hasState() const { return dynamic_cast<const ChipStateAccess *>(chip_.get()) != nullptr; }

private:
    std::unique_ptr<Copl> chip_;
    int nativeChannels_;
    int channels_;
    std::vector<short> native_;
};

// Ken Silverman's emulator, held by one chip at a time.
class KenChip : public Copl {
public:
    explicit KenChip(int rate)
    {
        {
            std::lock_guard<std::mutex> hold(sharedEmulatorLock());
            if (kenInUse)
                throw EmulatorBusy();
            kenInUse = true;
        }
        try {
            chip_ = std::make_unique<CKemuopl>(rate, true, false);
        } catch (...) {
            release();
            throw;
        }
        currType = TYPE_OPL2;
    }
    ~KenChip() override
    {
        chip_.reset();
        release();
    }
    void write(int reg, int val) override { chip_->write(reg, val); }
    void init() override { chip_->init(); }
    void update(short *buf, int samples) override { chip_->update(buf, samples); }

private:
    static void release()
    {
        std::lock_guard<std::mutex> hold(sharedEmulatorLock());
        kenInUse = false;
    }
    std::unique_ptr<Copl> chip_;
};

// Nuked OPL3 in OPL2 mode, driven as AdPlug's CNemuopl drives it (buffered
// writes, its resampler), handing out its left channel. A muted voice is
// taken out of the chip's own sum: its channel's output mask, or in rhythm
// mode the drum slot's place in its channel's sum. The chip resets both
// whenever a write sets up a channel, so they are put back after every chip
// sample while anything is muted.
class NukedChip : public EmulatorChip, public ChipStateAccess {
public:
    NukedChip(int rate, int channels) : chip_(std::make_unique<opl3_chip>()), rate_(rate), channels_(channels)
    {
        OPL3_Reset(chip_.get(), static_cast<Bit32u>(rate_));
        currType = TYPE_OPL2;
    }

    void write(int reg, int val) override
    {
        OPL3_WriteRegBuffered(chip_.get(), static_cast<Bit16u>((currChip << 8) | reg), static_cast<Bit8u>(val));
    }

    void init() override
    {
        OPL3_Reset(chip_.get(), static_cast<Bit32u>(rate_));
        currChip = 0;
        gate();
    }

    void update(short *buf, int samples) override
    {
        if (samples <= 0)
            return;
        native_.resize(static_cast<std::size_t>(samples) * 2);
        if (muted_ == 0)
            OPL3_GenerateStream(chip_.get(), native_.data(), static_cast<Bit32u>(samples));
        else
            generateGated(native_.data(), samples);
        for (int f = 0; f < samples; ++f)
            for (int c = 0; c < channels_; ++c)
                buf[f * channels_ + c] = native_[static_cast<std::size_t>(f) * 2];
    }

    void setMutedVoices(std::uint32_t mask) override
    {
        muted_ = mask;
        gate();
    }

    // The chip up to its queue of writes, then the writes still queued (at
    // a tick's end, usually none): what is not queued is never read again.
    // Its pointers all point into the chip itself, so a state taken from
    // another chip has them moved here. The gates of muted voices are
    // state of this moment's muting, set again after restoring.
    static constexpr std::size_t headSize = offsetof(opl3_chip, writebuf);
    struct QueuedWrite {
        std::uint32_t index;
        opl3_writebuf write;
    };

    void saveState(ChipState &out) override
    {
        const opl3_chip &c = *chip_;
        const auto base = reinterpret_cast<std::uintptr_t>(&c);
        out.clear();
        appendBytes(out, &base, sizeof base);
        appendBytes(out, &c, headSize);
        for (std::uint32_t i = 0; i < OPL_WRITEBUF_SIZE; ++i)
            if (c.writebuf[i].reg & 0x200) {
                const QueuedWrite queued{i, c.writebuf[i]};
                appendBytes(out, &queued, sizeof queued);
            }
    }

    bool restoreState(const ChipState &state) override
    {
        const std::size_t fixed = sizeof(std::uintptr_t) + headSize;
        if (state.size() < fixed || (state.size() - fixed) % sizeof(QueuedWrite) != 0)
            return false;
        opl3_chip &c = *chip_;
        std::uintptr_t from;
        std::memcpy(&from, state.data(), sizeof from);
        std::memcpy(static_cast<void *>(&c), state.data() + sizeof from, headSize);
        const auto to = reinterpret_cast<std::uintptr_t>(&c);
        const std::size_t size = sizeof(opl3_chip);
        for (opl3_slot &slot : c.slot) {
            relocate(slot.channel, from, size, to);
            relocate(slot.chip, from, size, to);
            relocate(slot.mod, from, size, to);
            relocate(slot.trem, from, size, to);
        }
        for (opl3_channel &channel : c.channel) {
            for (opl3_slot *&slot : channel.slots)
                relocate(slot, from, size, to);
            relocate(channel.pair, from, size, to);
            relocate(channel.chip, from, size, to);
            for (Bit16s *&out : channel.out)
                relocate(out, from, size, to);
        }
        for (opl3_writebuf &write : c.writebuf)
            write.reg &= 0x1ff;
        for (std::size_t at = fixed; at < state.size(); at += sizeof(QueuedWrite)) {
            QueuedWrite queued;
            std::memcpy(&queued, state.data() + at, sizeof queued);
            if (queued.index < OPL_WRITEBUF_SIZE)
                c.writebuf[queued.index] = queued.write;
        }
        gate();
        return true;
    }

private:
    // OPL3_GenerateResampled, with the gates put back after each chip sample
    // (the writes due are applied at its end).
    void generateGated(Bit16s *out, int samples)
    {
        opl3_chip &c = *chip_;
        constexpr int fraction = 10;  // the resampler's fixed point, as Nuked's RSM_FRAC
        for (int i = 0; i < samples; ++i, out += 2) {
            while (c.samplecnt >= c.rateratio) {
                c.oldsamples[0] = c.samples[0];
                c.oldsamples[1] = c.samples[1];
                OPL3_Generate(&c, c.samples);
                gate();
                c.samplecnt -= c.rateratio;
            }
            out[0] = static_cast<Bit16s>((c.oldsamples[0] * (c.rateratio - c.samplecnt) + c.samples[0] * c.samplecnt) /
                                         c.rateratio);
            out[1] = static_cast<Bit16s>((c.oldsamples[1] * (c.rateratio - c.samplecnt) + c.samples[1] * c.samplecnt) /
                                         c.rateratio);
            c.samplecnt += 1 << fraction;
        }
    }

    void gate()
    {
        opl3_chip &c = *chip_;
        const bool rhythm = (c.rhy & 0x20) != 0;
        const auto isMuted = [&](int voice) { return (muted_ >> voice & 1u) != 0; };
        for (int ch = 0; ch < opl2::channels; ++ch) {
            opl3_channel &channel = c.channel[ch];
            if (rhythm && ch >= 7) {
                // Channel 7 sums hi-hat and snare drum, channel 8 tom-tom and
                // top cymbal, each slot twice, as the rhythm section wires them.
                const bool first = isMuted(ch == 7 ? rhythmHiHat : rhythmTomTom);
                const bool second = isMuted(ch == 7 ? rhythmSnareDrum : rhythmTopCymbal);
                channel.out[0] = channel.out[1] = first ? &c.zeromod : &channel.slots[0]->out;
                channel.out[2] = channel.out[3] = second ? &c.zeromod : &channel.slots[1]->out;
                channel.cha = channel.chb = static_cast<Bit16u>(~0);
                continue;
            }
            const Bit16u mask = isMuted(ch) ? 0 : static_cast<Bit16u>(~0);
            channel.cha = channel.chb = mask;
        }
    }

    std::unique_ptr<opl3_chip> chip_;
    int rate_;
    int channels_;
    std::uint32_t muted_ = 0;
    std::vector<short> native_;
};

} // namespace

ChipStateAccess *chipStateOf(VoiceAttenuation &chip)
{
    Copl &inner = chip.inner();
    if (auto *output = dynamic_cast<OneChipOutput *>(&inner))
        return output->hasState() ? output : nullptr;
    return dynamic_cast<ChipStateAccess *>(&inner);
}

std::unique_ptr<VoiceAttenuation> makeEmulatorChip(velk_emulator emulator, int rate, int channels)
{
    // Every emulator sits under the layer of voice gains; only Nuked silences
    // muted voices itself.
    switch (emulator) {
    case VELK_EMULATOR_SATOH:
        // One OPL2 copied to both channels as CEmuopl copies it: the plug-in's
        // chip, sample for sample.
        return std::make_unique<VoiceAttenuation>(std::make_unique<GuardedChip>(Shared::satoh, rate, channels),
                                                  nullptr);
    case VELK_EMULATOR_WOODY:
        return std::make_unique<VoiceAttenuation>(
            std::make_unique<OneChipOutput>(std::make_unique<GuardedChip>(Shared::woody, rate, 1), 1, channels),
            nullptr);
    case VELK_EMULATOR_KEN:
        return std::make_unique<VoiceAttenuation>(
            std::make_unique<OneChipOutput>(std::make_unique<KenChip>(rate), 1, channels), nullptr);
    case VELK_EMULATOR_NUKED:
    case VELK_EMULATOR_DEFAULT:
        break;
    }
    auto nuked = std::make_unique<NukedChip>(rate, channels);
    EmulatorChip *muter = nuked.get();
    return std::make_unique<VoiceAttenuation>(std::move(nuked), muter);
}

} // namespace velk::lib
