// The IMS reader and the whole conversion, bytes in: either a refusal with
// its reason, or ROL bytes that the ROL reader accepts and whose playback
// ends within the song's own end tick.
#include <cstddef>
#include <cstdint>

#include "converter/conversion.h"
#include "converter/ims_song.h"
#include "fuzz/rol_play_check.h"
#include "tools/bankmaker/bank_writer.h"

namespace {

// A bank with some of the names songs use; the others play as silent
// all-zero instruments, which the engine must bear as well.
const velk::Bytes &someBank()
{
    static const velk::Bytes bank = [] {
        std::vector<velk::bank::BankInstrument> instruments;
        for (const char *name : {"piano1", "bdrum1", "snare1"}) {
            velk::bank::BankInstrument instrument;
            instrument.name = name;
            instrument.carrier[velk::bank::attackRate] = 15;
            instruments.push_back(instrument);
        }
        return velk::bank::writeBank(instruments);
    }();
    return bank;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using velk::fuzz::require;
    const velk::converter::ConversionResult result = velk::converter::convertImsToRol(data, size);
    if (!result.converted()) {
        require(!result.reason.empty(), "a refusal says why");
        require(result.rol.empty(), "a refusal writes no ROL song");
        return 0;
    }
    require(velk::ims::readSong(data, size).has_value(), "a converted song is one the IMS reader reads");
    // The whole song: a converted time never exceeds the ROL limit.
    const auto outcome =
        velk::fuzz::loadAndPlayRol(result.rol, someBank(), static_cast<int>(velk::converter::maxTick) + 1);
    require(outcome == velk::fuzz::PlayOutcome::ended, "the ROL reader accepts the converted song and it ends");
    return 0;
}
