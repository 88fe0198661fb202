#include "host/host_members.h"

#include <mutex>

namespace velk::host {

namespace {

std::mutex countersLock;
HostCounters counters;

template <typename Change>
void count(Change change)
{
    std::lock_guard<std::mutex> guard(countersLock);
    change(counters);
}

void savsaInit(int latencyMs, int sampleRate)
{
    count([&](HostCounters &c) {
        ++c.savsaInits;
        c.savsaLatencyMs = latencyMs;
        c.savsaSampleRate = sampleRate;
    });
}

void savsaDeInit() { count([](HostCounters &c) { ++c.savsaDeInits; }); }
void saAddPcmData(void *, int, int, int) { count([](HostCounters &c) { ++c.saBlocks; }); }
void vsaAddPcmData(void *, int, int, int) { count([](HostCounters &c) { ++c.vsaBlocks; }); }

void vsaSetInfo(int sampleRate, int channels)
{
    count([&](HostCounters &c) {
        ++c.vsaSetInfos;
        c.vsaSampleRate = sampleRate;
        c.vsaChannels = channels;
    });
}

void setInfo(int bitRate, int kHz, int channels, int synched)
{
    count([&](HostCounters &c) {
        ++c.setInfos;
        c.setInfo[0] = bitRate;
        c.setInfo[1] = kHz;
        c.setInfo[2] = channels;
        c.setInfo[3] = synched;
    });
}

int dspDoSamples(short *, int frames, int, int, int)
{
    count([&](HostCounters &c) {
        ++c.dspBlocks;
        c.dspFrames = frames;
    });
    return frames;
}

int unexpected()
{
    count([](HostCounters &c) { ++c.unexpectedCalls; });
    return 0;
}
int saGetMode() { return unexpected(); }
int saAdd(void *, int, int) { return unexpected(); }
int vsaGetMode(int *, int *) { return unexpected(); }
int vsaAdd(void *, int) { return unexpected(); }
int dspIsActive() { return unexpected(); }

} // namespace

void fillHostMembers(In_Module &record, HostWindow window, HostInstance instance, Out_Module &output)
{
    record.hMainWindow = window;
    record.hDllInstance = instance;
    record.SAVSAInit = savsaInit;
    record.SAVSADeInit = savsaDeInit;
    record.SAAddPCMData = saAddPcmData;
    record.SAGetMode = saGetMode;
    record.SAAdd = saAdd;
    record.VSAAddPCMData = vsaAddPcmData;
    record.VSAGetMode = vsaGetMode;
    record.VSAAdd = vsaAdd;
    record.VSASetInfo = vsaSetInfo;
    record.dsp_isactive = dspIsActive;
    record.dsp_dosamples = dspDoSamples;
    record.SetInfo = setInfo;
    record.outMod = &output;
}

void resetHostCounters()
{
    std::lock_guard<std::mutex> guard(countersLock);
    counters = HostCounters{};
}

HostCounters hostCounters()
{
    std::lock_guard<std::mutex> guard(countersLock);
    return counters;
}

} // namespace velk::host
