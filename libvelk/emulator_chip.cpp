#include "libvelk/emulator_chip.h"

#include <emuopl.h>
#include <kemuopl.h>
#include <nemuopl.h>
#include <wemuopl.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "rol/opl2_chip.h"

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
class OwnRandomState {
public:
    void seed()
    {
        char *previous = initstate(1, state_, sizeof state_);
        setstate(previous);
    }
    char *use() { return setstate(state_); }
    static void restore(char *previous) { setstate(previous); }

private:
    alignas(std::int32_t) char state_[128] = {};
};

enum class Shared { satoh, woody };

// A chip of an emulator with shared state: every call holds the lock, with
// the chip's own rand() state and the shared state it expects in place.
class GuardedChip : public Copl {
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
            chip_ = makeOpl2Chip(rate, true, channels == 2);
        } else {
            if (!woodyScratch)
                woodyScratch = new OPLChipClass();
            chip_ = std::make_unique<CWemuopl>(rate, true, false);
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


private:
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
    OwnRandomState random_;
};

// Hands out the first channel of an emulator that renders `nativeChannels`
// channels carrying the same signal on every channel asked for: Nuked
// renders stereo only, and woody and Ken are asked for mono.
class OneChipOutput : public Copl {
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

} // namespace

std::unique_ptr<Copl> makeEmulatorChip(velk_emulator emulator, int rate, int channels)
{
    switch (emulator) {
    case VELK_EMULATOR_SATOH:
        // One OPL2 copied to both channels by CEmuopl itself: the plug-in's
        // chip, sample for sample.
        return std::make_unique<GuardedChip>(Shared::satoh, rate, channels);
    case VELK_EMULATOR_WOODY:
        return std::make_unique<OneChipOutput>(std::make_unique<GuardedChip>(Shared::woody, rate, 1), 1, channels);
    case VELK_EMULATOR_KEN:
        return std::make_unique<OneChipOutput>(std::make_unique<KenChip>(rate), 1, channels);
    case VELK_EMULATOR_NUKED:
    case VELK_EMULATOR_DEFAULT:
        break;
    }
    return std::make_unique<OneChipOutput>(std::make_unique<CNemuopl>(rate), 2, channels);
}

} // namespace velk::lib
