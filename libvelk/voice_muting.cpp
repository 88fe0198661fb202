#include "libvelk/voice_muting.h"

#include "rol/opl2.h"

namespace velk::lib {

std::uint32_t voiceSlots(int voice, bool rhythm)
{
    const auto bit = [](int slot) { return std::uint32_t{1} << slot; };
    const auto channel = [&](int c) { return bit(opl2::modulatorSlot[c]) | bit(opl2::carrierSlot[c]); };
    if (voice < 0)
        return 0;
    if (!rhythm || voice < rhythmBassDrum)
        return voice < opl2::channels ? channel(voice) : 0;
    switch (voice) {
    case rhythmBassDrum: return channel(6);
    case rhythmSnareDrum: return bit(opl2::snareDrumSlot);
    case rhythmTomTom: return bit(opl2::tomTomSlot);
    case rhythmTopCymbal: return bit(opl2::topCymbalSlot);
    case rhythmHiHat: return bit(opl2::hiHatSlot);
    default: return 0;
    }
}

} // namespace velk::lib
