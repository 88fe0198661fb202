// A Copl that writes every register write as a line of text instead of
// sounding: the tick it belongs to, the register and the value in hex.
#pragma once

#include <opl.h>

#include <cstdio>
#include <string>

namespace velk::render {

class RegisterLog : public Copl {
public:
    explicit RegisterLog(std::FILE *out) : out_(out) {}

    // Label of the writes that follow: a tick number, or "-" for the
    // rewind before the first tick. Nothing is written while it is empty.
    void setTick(std::string label) { label_ = std::move(label); }

    void write(int reg, int value) override
    {
        if (!label_.empty())
            std::fprintf(out_, "%s %02X %02X\n", label_.c_str(), reg, value & 0xFF);
    }
    void init() override {}

private:
    std::FILE *out_;
    std::string label_;
};

} // namespace velk::render
