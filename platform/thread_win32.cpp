#include "platform/thread.h"

#include <windows.h>

namespace velk {

static_assert(sizeof(DWORD) == sizeof(unsigned long), "ThreadEntry is an LPTHREAD_START_ROUTINE");

ThreadHandle createThread(ThreadEntry entry, void *argument)
{
    return ThreadHandle{CreateThread(nullptr, 0, entry, argument, 0, nullptr)};
}

void setThreadPriority(ThreadHandle thread, int priority)
{
    SetThreadPriority(thread.native, priority);
}

bool waitForThread(ThreadHandle thread, int timeoutMs)
{
    return WaitForSingleObject(thread.native, static_cast<DWORD>(timeoutMs)) != WAIT_TIMEOUT;
}

void terminateThread(ThreadHandle thread)
{
    TerminateThread(thread.native, 0);
}

void closeThread(ThreadHandle &thread)
{
    if (thread.native)
        CloseHandle(thread.native);
    thread.native = nullptr;
}

void sleepMs(int milliseconds)
{
    Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

} // namespace velk
