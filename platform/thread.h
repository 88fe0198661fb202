// Worker threads and sleeping: CreateThread and its companions on Windows,
// POSIX threads elsewhere.
#pragma once

namespace velk {

// Windows wants its thread entries in the stdcall convention on 32-bit x86.
#if defined(_WIN32) && !defined(_WIN64)
#define VELK_THREAD_ENTRY __attribute__((stdcall))
#else
#define VELK_THREAD_ENTRY
#endif

// A thread's entry, in the form CreateThread takes (DWORD is an unsigned long).
using ThreadEntry = unsigned long(VELK_THREAD_ENTRY *)(void *argument);

// A started thread, or none. On Windows the HANDLE; elsewhere the thread's record.
struct ThreadHandle {
    void *native = nullptr;
    explicit operator bool() const { return native != nullptr; }
};

// Starts `entry`(`argument`) at once, with default security and stack size.
// Returns an empty handle when the thread cannot be created.
ThreadHandle createThread(ThreadEntry entry, void *argument);

// Windows priority values (THREAD_PRIORITY_IDLE -15 .. TIME_CRITICAL 15).
// Without privileges Linux cannot raise a thread, so there it is ignored.
void setThreadPriority(ThreadHandle thread, int priority);

// Waits at most `timeoutMs` for the thread to end; false when the time ran
// out. A POSIX thread cannot be terminated safely, so there the wait lasts
// until the thread ends, and the result is always true.
bool waitForThread(ThreadHandle thread, int timeoutMs);  // timeoutMs >= 0

// Ends a thread that did not end in time, with exit code 0. A last resort:
// the thread may hold a lock of the host's. Windows only: the POSIX wait
// never times out, so there is nothing to end.
void terminateThread(ThreadHandle thread);

// Releases the handle and empties it. Meant for a thread that has ended or
// been terminated; on POSIX it waits for a thread still running.
void closeThread(ThreadHandle &thread);

void sleepMs(int milliseconds);

} // namespace velk
