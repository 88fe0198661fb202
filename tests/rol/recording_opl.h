// A Copl that records what a player writes: every register write in order,
// the chip's resets, and the register file they leave.
#pragma once

#include <opl.h>

#include <array>
#include <vector>

namespace velk::test {

struct RegisterWrite {
    int reg;
    int value;
    bool operator==(const RegisterWrite &o) const { return reg == o.reg && value == o.value; }
};

class RecordingOpl : public Copl {
public:
    void write(int reg, int value) override
    {
        writes.push_back({reg, value});
        registers[reg & 0xFF] = value & 0xFF;
    }
    void init() override
    {
        ++resets;
        registers.fill(0);
    }

    // The writes since the last call.
    std::vector<RegisterWrite> take()
    {
        std::vector<RegisterWrite> out;
        out.swap(writes);
        return out;
    }

    std::vector<RegisterWrite> writes;
    std::array<int, 256> registers{};
    int resets = 0;
};

} // namespace velk::test
