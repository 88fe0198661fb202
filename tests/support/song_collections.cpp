#include "tests/support/song_collections.h"

#include "tools/bankmaker/bank_writer.h"
#include "tools/imsmaker/ims_writer.h"

namespace velk::test {

Bytes shortImsSong(const std::string &title, int beats)
{
    ims::SongSource song;
    song.title = title;
    song.rhythmMode = 0;
    song.basicTempo = 120;
    song.instruments = {"piano1"};
    song.events = {ims::instrument(0, 0), ims::noteOn(0, 60, 100).after(240u * beats),
                   ims::noteOn(0, 60, 0).after(240)};
    return ims::writeSong(song);
}

Bytes soundingBank()
{
    bank::BankInstrument piano;
    piano.name = "piano1";
    piano.modulator[bank::frequencyMultiplier] = 1;
    piano.modulator[bank::attackRate] = 15;
    piano.modulator[bank::outputLevel] = 63;
    piano.carrier[bank::frequencyMultiplier] = 1;
    piano.carrier[bank::attackRate] = 15;
    piano.carrier[bank::sustainLevel] = 2;
    piano.carrier[bank::sustainingSound] = 1;
    piano.carrier[bank::releaseRate] = 5;
    return bank::writeBank({piano});
}

Bytes emptyBank() { return bank::writeBank({}); }

} // namespace velk::test
