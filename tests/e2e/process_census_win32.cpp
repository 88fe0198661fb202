#include "tests/e2e/process_census.h"

#include <windows.h>
#include <tlhelp32.h>

namespace velk::test {

ProcessCensus takeProcessCensus()
{
    ProcessCensus census;
    const DWORD self = GetCurrentProcessId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        THREADENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
            if (entry.th32OwnerProcessID == self)
                ++census.threads;
        CloseHandle(snapshot);
    }
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    census.handles = static_cast<int>(handles);
    return census;
}

} // namespace velk::test
