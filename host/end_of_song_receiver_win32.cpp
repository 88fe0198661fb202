#include "host/end_of_song_receiver.h"

#include <windows.h>

namespace velk::host {

struct EndOfSongReceiver::State {
    HWND window = nullptr;
    int endOfSong = 0;
    int other = 0;
};

namespace {

constexpr char className[] = "VelkHostWindow";

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *create = reinterpret_cast<CREATESTRUCTA *>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto *state = reinterpret_cast<EndOfSongReceiver::State *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (state && message >= WM_USER) {
        if (message == hostEndOfSongMessage && wParam == 0 && lParam == 0)
            ++state->endOfSong;
        else
            ++state->other;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void registerClassOnce(HINSTANCE instance)
{
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    registered = true;
}

} // namespace

EndOfSongReceiver::EndOfSongReceiver() : state_(new State)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    registerClassOnce(instance);
    // A message-only window: it receives posted messages and is never shown.
    state_->window = CreateWindowExA(0, className, "velkhost", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                                     state_.get());
}

EndOfSongReceiver::~EndOfSongReceiver()
{
    if (state_->window)
        DestroyWindow(state_->window);
}

HostWindow EndOfSongReceiver::window() const { return state_->window; }

void EndOfSongReceiver::pump(int waitMs)
{
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(waitMs), QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

int EndOfSongReceiver::endOfSongMessages() const { return state_->endOfSong; }
int EndOfSongReceiver::otherMessages() const { return state_->other; }

} // namespace velk::host
