#include "tests/playback/end_of_song_probe.h"

namespace velk::test {

EndOfSongProbe::EndOfSongProbe(Receiver receiver, void *context) : receiver_(receiver), context_(context)
{
    window_ = new EndOfSongSink{receiver_, context_};
}

EndOfSongProbe::~EndOfSongProbe()
{
    delete static_cast<EndOfSongSink *>(window_);
}

void EndOfSongProbe::deliver()
{
}

} // namespace velk::test
