#include "platform/thread.h"

#include <cerrno>
#include <ctime>
#include <new>

#include <pthread.h>

namespace velk {

namespace {

// What a started thread needs beyond its pthread_t: the entry in the
// Windows form, and whether it has been joined yet.
struct PosixThread {
    pthread_t id{};
    ThreadEntry entry = nullptr;
    void *argument = nullptr;
    bool joined = false;
};

void *runEntry(void *record)
{
    auto *thread = static_cast<PosixThread *>(record);
    thread->entry(thread->argument);
    return nullptr;
}

} // namespace

ThreadHandle createThread(ThreadEntry entry, void *argument)
{
    auto *thread = new (std::nothrow) PosixThread;
    if (!thread)
        return {};
    thread->entry = entry;
    thread->argument = argument;
    if (pthread_create(&thread->id, nullptr, runEntry, thread) != 0) {
        delete thread;
        return {};
    }
    return ThreadHandle{thread};
}

void setThreadPriority(ThreadHandle, int)
{
}

bool waitForThread(ThreadHandle handle, int)
{
    auto *thread = static_cast<PosixThread *>(handle.native);
    if (thread && !thread->joined) {
        pthread_join(thread->id, nullptr);
        thread->joined = true;
    }
    return true;
}

void terminateThread(ThreadHandle)
{
}

void closeThread(ThreadHandle &handle)
{
    auto *thread = static_cast<PosixThread *>(handle.native);
    if (thread) {
        // The running thread reads its record, so it must have ended first.
        waitForThread(handle, 0);
        delete thread;
    }
    handle.native = nullptr;
}

void sleepMs(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    timespec rest{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

} // namespace velk
