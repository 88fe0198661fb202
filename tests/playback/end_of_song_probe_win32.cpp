#include "tests/playback/end_of_song_probe.h"

#include <windows.h>

namespace velk::test {

namespace {

const char probeClass[] = "VelkEndOfSongProbe";

LRESULT CALLBACK probeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *probe = reinterpret_cast<EndOfSongProbe *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (probe && message >= WM_USER) {
        probe->receive(message, wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

EndOfSongProbe::EndOfSongProbe(Receiver receiver, void *context) : receiver_(receiver), context_(context)
{
    static const ATOM registered = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = probeProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = probeClass;
        return RegisterClassA(&windowClass);
    }();
    (void)registered;
    HWND window = CreateWindowExA(0, probeClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = window;
}

EndOfSongProbe::~EndOfSongProbe()
{
    deliver();
    DestroyWindow(static_cast<HWND>(window_));
}

void EndOfSongProbe::deliver()
{
    MSG message;
    while (PeekMessageA(&message, static_cast<HWND>(window_), 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

} // namespace velk::test
