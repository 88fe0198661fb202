// What a host (velkhost, velkplay) fills into the plug-in's record after the
// export: its window (an end-of-song sink on Linux), the module's instance,
// the output module (velkhost's WAV output unless another is given) and the
// visualisation and DSP functions. The DSP chain passes the samples
// through unchanged; every host function counts its calls.
#pragma once

#include "host/host_output.h"
#include "platform/host_interface.h"

namespace velk::host {

struct HostCounters {
    int savsaInits = 0;
    int savsaDeInits = 0;
    int savsaLatencyMs = 0;  // arguments of the last SAVSAInit
    int savsaSampleRate = 0;
    int vsaSetInfos = 0;
    int vsaSampleRate = 0;   // arguments of the last VSASetInfo
    int vsaChannels = 0;
    int setInfos = 0;
    int setInfo[4] = {};     // bit rate, kHz, channels, synched of the last SetInfo
    int dspBlocks = 0;
    int dspFrames = 0;       // the frame count of the last dsp_dosamples
    int saBlocks = 0;
    int vsaBlocks = 0;
    int unexpectedCalls = 0; // host functions the module is not meant to call
};

void fillHostMembers(In_Module &record, HostWindow window, HostInstance instance,
                     Out_Module &output = hostOutputModule());
void resetHostCounters();
HostCounters hostCounters();

} // namespace velk::host
