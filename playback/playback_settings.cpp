#include "playback/playback_settings.h"

namespace velk {

PlaybackSettings playbackSettings;

void PlaybackSettings::setDefaults()
{
    pending = defaults;
    apply();
}

void PlaybackSettings::apply()
{
    current = pending;
}

} // namespace velk
