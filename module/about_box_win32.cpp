#include "module/about_box.h"

#include <windows.h>

#include "resources/resource_ids.h"

namespace velk {

namespace {

// The object the dialog is created with. It holds nothing: the handler
// needs no state, but the procedure recognises a set-up window by it.
struct AboutBox {
    // Only OK closes the box; every message gets 0.
    INT_PTR handle(HWND window, UINT message, WPARAM wParam, LPARAM)
    {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK)
            EndDialog(window, static_cast<INT_PTR>(wParam));
        return 0;
    }
};

AboutBox aboutBox;

INT_PTR CALLBACK aboutProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
    auto *box = reinterpret_cast<AboutBox *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return box ? box->handle(window, message, wParam, lParam) : 0;
}

} // namespace

void showAboutBox(HostInstance instance, HostWindow parent)
{
    DialogBoxParamA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(IDD_ABOUT), static_cast<HWND>(parent),
                    aboutProcedure, reinterpret_cast<LPARAM>(&aboutBox));
}

} // namespace velk
