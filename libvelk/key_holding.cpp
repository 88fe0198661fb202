#include "libvelk/key_holding.h"

#include "rol/opl2.h"

namespace velk::lib {
namespace {

constexpr int keyBlockFirst = opl2::regKeyBlockFrequency;
constexpr int keyOnBit = opl2::keyOnBit;
constexpr int rhythmRegister = opl2::regRhythm;
constexpr int drumKeyBits = opl2::bassDrumKey | opl2::snareDrumKey | opl2::tomTomKey | opl2::topCymbalKey | opl2::hiHatKey;
constexpr int rhythmWritten = 9;

} // namespace

void KeyHolding::write(int reg, int val)
{
    if (holding_) {
        if (reg >= keyBlockFirst && reg < keyBlockFirst + 9) {
            keyBlock_[static_cast<std::size_t>(reg - keyBlockFirst)] = static_cast<std::uint8_t>(val);
            written_ |= static_cast<std::uint16_t>(1u << (reg - keyBlockFirst));
            val &= ~keyOnBit;
        } else if (reg == rhythmRegister) {
            rhythm_ = static_cast<std::uint8_t>(val);
            written_ |= 1u << rhythmWritten;
            val &= ~drumKeyBits;
        }
    }
    chip_.write(reg, val);
}

void KeyHolding::hold(bool on)
{
    if (on == holding_)
        return;
    holding_ = on;
    if (on) {
        written_ = 0;
        return;
    }
    for (int c = 0; c < 9; ++c)
        if (written_ >> c & 1u)
            chip_.write(keyBlockFirst + c, keyBlock_[static_cast<std::size_t>(c)]);
    if (written_ >> rhythmWritten & 1u)
        chip_.write(rhythmRegister, rhythm_);
}

} // namespace velk::lib
