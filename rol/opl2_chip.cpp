#include "rol/opl2_chip.h"

#include <emuopl.h>

namespace velk {

std::unique_ptr<CEmuopl> makeOpl2Chip(int sampleRate, bool use16Bit, bool stereo)
{
    auto chip = std::make_unique<CEmuopl>(sampleRate, use16Bit, stereo);
    // As one OPL2 it renders its first chip alone and copies it to both
    // channels of a stereo block. (fmopl then keeps the AM and vibrato depth
    // tables of the first update for good, as it refreshes them only when
    // rendering moves to another chip: the ROL engine never sets the depth
    // bits of BDh.)
    chip->settype(Copl::TYPE_OPL2);
    return chip;
}

} // namespace velk
