// Between the engine and the chip: while a seek steps through ticks without
// time passing, every register write reaches the chip but the key-ons, so
// that notes struck and released in no time leave no trace (some emulators
// would leave them releasing from their peak, others frozen where they
// were). When the stepping ends, the keys are written as the engine left
// them: the notes held there start from silence, as at a key-on.
#pragma once

#include <opl.h>

#include <array>
#include <cstdint>

namespace velk::lib {

class KeyHolding : public Copl {
public:
    explicit KeyHolding(Copl &chip) : chip_(chip) { currType = TYPE_OPL2; }

    void write(int reg, int val) override;
    void init() override { chip_.init(); }
    void update(short *buf, int samples) override { chip_.update(buf, samples); }

    // From on to off, the keys the engine set while holding are written.
    void hold(bool on);

private:
    Copl &chip_;
    bool holding_ = false;
    std::array<std::uint8_t, 9> keyBlock_{};  // 0xB0..0xB8 as the engine wrote them
    std::uint8_t rhythm_ = 0;                 // 0xBD
    std::uint16_t written_ = 0;               // which of them were written while holding (bit 9: 0xBD)
};

} // namespace velk::lib
