// The About box and the two notices as a host meets them: the built plug-in
// loaded from its file, each box shown for real while a helper thread finds
// it on screen, reads it, tries what must not close it and presses OK.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/plugin_library.h"
#include "platform/host_interface.h"
#include "tests/support/songs.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long a box may take to open, to answer a message or to close: far
// more than it needs, and bounded, so that a fault fails instead of hanging.
constexpr auto patience = 5s;
constexpr UINT answerTimeoutMs = 2000;

struct Control {
    std::string className;
    int id;
    std::string text;
    bool visible;
};

// What the helper thread saw of one box.
struct Sighting {
    bool found = false;
    HWND owner = nullptr;
    bool ownerDisabled = false;
    std::vector<Control> controls;  // in the order the box holds them
    bool openAfterOtherCommands = false;
    bool closedByOk = false;
};

// The window's text, asked for with a bounded wait: the box belongs to the
// test's thread, which answers only from inside its modal loop.
std::string textOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, answerTimeoutMs, &length))
        return "<no answer>";
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        answerTimeoutMs, &copied);
    text.resize(copied);
    return text;
}

std::string classOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// What findBox looks for and what it found.
struct BoxSearch {
    const char *caption;
    HWND found;
};

// Enumeration callbacks are WNDENUMPROC, a stdcall function on 32-bit x86.
BOOL CALLBACK matchBox(HWND window, LPARAM context)
{
    auto &search = *reinterpret_cast<BoxSearch *>(context);
    // Not before it is shown: its controls are all there by then.
    if (classOf(window) == "#32770" && IsWindowVisible(window) && textOf(window) == search.caption) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK collectControl(HWND child, LPARAM context)
{
    reinterpret_cast<std::vector<Control> *>(context)->push_back(
        {classOf(child), GetDlgCtrlID(child), textOf(child), IsWindowVisible(child) != FALSE});
    return TRUE;
}

// A shown dialog of `thread` with the caption `caption`, or null.
HWND findBox(DWORD thread, const char *caption)
{
    BoxSearch search{caption, nullptr};
    EnumThreadWindows(thread, matchBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<Control> controlsOf(HWND box)
{
    std::vector<Control> controls;
    EnumChildWindows(box, collectControl, reinterpret_cast<LPARAM>(&controls));
    return controls;
}

bool waitFor(const std::function<bool()> &condition)
{
    for (const auto deadline = Clock::now() + patience; Clock::now() < deadline; std::this_thread::sleep_for(10ms))
        if (condition())
            return true;
    return condition();
}

// Calls `show` on this thread, which stays in the box's modal loop until the
// box closes, while a helper thread finds the box by its caption, records
// what it sees, sends it `otherCommands` (none of which may close it) and
// then OK, as the button sends it.
Sighting showAndClose(const char *caption, const std::vector<WPARAM> &otherCommands, const std::function<void()> &show)
{
    Sighting seen;
    std::atomic<bool> returned{false};
    const DWORD thread = GetCurrentThreadId();
    std::thread helper([&] {
        HWND box = nullptr;
        waitFor([&] { return returned || (box = findBox(thread, caption)) != nullptr; });
        seen.found = box != nullptr;
        if (box) {
            seen.owner = GetWindow(box, GW_OWNER);
            seen.ownerDisabled = seen.owner && !IsWindowEnabled(seen.owner);
            seen.controls = controlsOf(box);
            DWORD_PTR ignored;
            for (WPARAM command : otherCommands)
                SendMessageTimeoutA(box, WM_COMMAND, command, 0, SMTO_ABORTIFHUNG, answerTimeoutMs, &ignored);
            // Closing hides the box at once and gives the owner back.
            seen.openAfterOtherCommands = IsWindowVisible(box) && !IsWindowEnabled(seen.owner) && !returned;
            SendMessageTimeoutA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)), SMTO_ABORTIFHUNG, answerTimeoutMs,
                                &ignored);
        }
        const bool closed = waitFor([&] { return returned.load(); });
        seen.closedByOk = box && closed;
        // A box that stays open would hold the test forever: end its loop.
        if (!closed)
            PostThreadMessageA(thread, WM_QUIT, 0, 0);
    });
    show();
    returned = true;
    helper.join();
    MSG left;
    while (PeekMessageA(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    return seen;
}

class PluginBoxes : public testing::Test {
protected:
    void SetUp() override
    {
        // The host's main window, which every box is modal to. Without a
        // display (Wine with no X server) no window can be made.
        host = CreateWindowExA(0, "STATIC", "Velk test host", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr, nullptr,
                               nullptr, nullptr);
        if (!host) {
            const std::string why =
                "no window can be created: no display (under Wine, tools/wine-run.sh starts Xvfb if it is installed)";
            if (velk::test::runningInCi())
                FAIL() << why;
            GTEST_SKIP() << why << "; skipping";
        }
        temp.becomeTemporaryDirectory();
        std::string error;
        library = velk::host::PluginLibrary::load(VELK_PLUGIN_PATH, error);
        ASSERT_TRUE(library) << error;
        record = library->entry()();
        ASSERT_NE(record, nullptr);
        record->hMainWindow = host;
        record->hDllInstance = library->instance();
        record->Init();
    }

    void TearDown() override
    {
        if (record)
            record->Quit();
        if (host)
            DestroyWindow(host);
    }

    // A message box of the plug-in: its one text and its one button.
    void expectNotice(const Sighting &seen, const std::string &text)
    {
        ASSERT_TRUE(seen.found) << "no box captioned IN_VELK.DLL appeared";
        EXPECT_EQ(seen.owner, host);
        EXPECT_TRUE(seen.ownerDisabled) << "the box is modal to the host's window";
        std::vector<std::string> texts, buttons;
        for (const Control &c : seen.controls) {
            if (!c.visible)
                continue;
            if (c.className == "Button")
                buttons.push_back(c.text + (c.id == IDOK ? "" : " (not IDOK)"));
            else if (c.className == "Static" && !c.text.empty())
                texts.push_back(c.text);
        }
        EXPECT_EQ(texts, std::vector<std::string>{text});
        EXPECT_EQ(buttons, std::vector<std::string>{"OK"});
        EXPECT_TRUE(seen.closedByOk);
        EXPECT_TRUE(IsWindowEnabled(host));
    }

    velk::test::TempDir temp;
    HWND host = nullptr;
    std::unique_ptr<velk::host::PluginLibrary> library;
    In_Module *record = nullptr;
};

TEST_F(PluginBoxes, AboutShowsItsTextsAndOnlyOkClosesIt)
{
    const Sighting seen = showAndClose("About IN_VELK.DLL",
                                       {MAKEWPARAM(IDCANCEL, BN_CLICKED), MAKEWPARAM(IDYES, BN_CLICKED),
                                        MAKEWPARAM(IDCANCEL, IDOK)},
                                       [&] { record->About(host); });
    ASSERT_TRUE(seen.found) << "no box captioned About IN_VELK.DLL appeared";
    EXPECT_EQ(seen.owner, host);
    EXPECT_TRUE(seen.ownerDisabled) << "the box is modal to the host's window";

    // The controls in the template's order; the contact lines are ours to word.
    ASSERT_EQ(seen.controls.size(), 6u);
    const struct {
        const char *className;
        int id;
        const char *text;
    } expected[] = {
        {"Button", IDOK, "OK"},
        {"Static", 0xFFFF, "Iyagi Music Song (IMS) play plugin for WinAmp."},
        {"Static", 0xFFFF, "Using ruz2avu.exe and AdPlug :-)"},
        {"Static", 0xFFFF, "version 1.0"},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(seen.controls[i].className, expected[i].className) << i;
        EXPECT_EQ(seen.controls[i].id, expected[i].id) << i;
        EXPECT_EQ(seen.controls[i].text, expected[i].text) << i;
        EXPECT_TRUE(seen.controls[i].visible) << i;
    }
    for (std::size_t i = std::size(expected); i < seen.controls.size(); ++i) {
        EXPECT_EQ(seen.controls[i].className, "Static") << i;
        EXPECT_FALSE(seen.controls[i].text.empty()) << i;
    }

    EXPECT_TRUE(seen.openAfterOtherCommands) << "Cancel or another command closed the About box";
    EXPECT_TRUE(seen.closedByOk) << "About did not return after OK";
    EXPECT_TRUE(IsWindowEnabled(host));
}

TEST_F(PluginBoxes, ConfigSaysThereIsNothingToConfigure)
{
    expectNotice(showAndClose("IN_VELK.DLL", {}, [&] { record->Config(host); }), "Nothing to configure");
}

TEST_F(PluginBoxes, InfoBoxSaysFileInformationIsNotSupportedAndAnswersOne)
{
    int answer = 0;
    expectNotice(showAndClose("IN_VELK.DLL", {}, [&] { answer = record->InfoBox("any.ims", host); }),
                 "Sorry!!\r\nFile information not supported");
    EXPECT_EQ(answer, 1);
}

} // namespace
