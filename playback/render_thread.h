// The worker thread of a playing song: steps the player at its tick rate,
// renders blocks of 576 frames on the chip, runs them through the host's DSP
// chain and hands them to the host's output and visualisation.
#pragma once

#include "platform/thread.h"

namespace velk {

// Frames rendered per block.
constexpr int renderBlockFrames = 576;
// Every wait of the render thread polls at this interval.
constexpr int renderPollMs = 10;

// Entry of the render thread; `controller` is the PlaybackController that
// started it. Runs until the controller clears its playing flag, or, when
// the song stops at its end, until the output has played the last block out
// (then it posts the end-of-song message to the host's window). Returns 0.
unsigned long VELK_THREAD_ENTRY renderThread(void *controller);

} // namespace velk
