// The plug-in's face to the Winamp host: the export, the input-module record
// and its callbacks. Playback is the controller's; the module itself only
// recognises songs, describes the playing one and shows its notices.
#include <algorithm>
#include <cstring>
#include <string>

#include <player.h>

#include "imsplayer/converter_workspace.h"
#include "imsplayer/ims_player.h"
#include "module/about_box.h"
#include "module/ims_file_test.h"
#include "module/notices.h"
#include "module/song_info_cache.h"
#include "platform/host_interface.h"
#include "playback/playback_controller.h"
#include "playback/playback_settings.h"

#ifdef _WIN32
#define VELK_EXPORT __declspec(dllexport)
#else
#define VELK_EXPORT __attribute__((visibility("default")))
#endif

namespace velk {
namespace {

constexpr int inModuleVersion = 0x100;
// The record's texts are `char *` as the host declares them, so they live in
// arrays of their own rather than in string literals.
char moduleDescription[] = "Velk plug-in v0.8";
// Pairs of extensions and their description, each NUL-terminated; an empty
// string ends the list (the literal's own NUL).
char extensionList[] = "IMS\0Iyagi Music Song (*.IMS)\0";
// The longest title a player hands over.
constexpr std::size_t maxTitleBytes = 30;

extern In_Module record;
PlaybackController controller(record, playbackSettings, imsPlayerList());

void config(HostWindow parent) { showNotice(parent, configNotice); }

// Init has taken the instance the dialog template is loaded from.
void about(HostWindow parent) { showAboutBox(moduleInstance, parent); }

// The render thread finds the host's window through the record itself, so
// the workspace is all that Init sets up beyond what the host filled in.
void init() { initWorkspace(record.hDllInstance); }

void quit() { quitWorkspace(); }

void copyTitle(const std::string &text, char *title)
{
    const std::size_t size = std::min(text.size(), maxTitleBytes);
    std::memcpy(title, text.data(), size);
    title[size] = '\0';
}

// No name, or the name of the song the controller holds: that song, as the
// controller describes it. Any other file: its own title and length, worked
// out without touching what plays; "unknown" (-1, the title left alone) when
// it is no IMS song the plug-in could play.
void getFileInfo(const char *file, char *title, int *lengthMs)
{
    if (!file || !*file || (controller.player() && controller.fileName() == file)) {
        CPlayer *player = controller.isPlaying() ? controller.player() : nullptr;
        if (player && title)
            copyTitle(player->gettitle(), title);
        if (lengthMs)
            *lengthMs = controller.getLength();
        return;
    }
    const std::optional<SongInfo> info = cachedSongInfo(file);
    if (info && title)
        copyTitle(info->title, title);
    if (lengthMs)
        *lengthMs = info ? info->lengthMs : -1;
}

int infoBox(const char *, HostWindow parent)
{
    showNotice(parent, infoBoxNotice);
    return 1;
}

int isOurFile(const char *fileName) { return isImsSongFile(fileName) ? 1 : 0; }
int play(const char *fileName) { return controller.play(fileName); }
void pause() { controller.pause(); }
void unPause() { controller.unpause(); }
int isPaused() { return controller.isPaused(); }
void stop() { controller.stop(); }
int getLength() { return controller.getLength(); }
int getOutputTime() { return controller.getOutputTime(); }
void setOutputTime(int timeMs) { controller.setOutputTime(timeMs); }
void setVolume(int volume) { controller.setVolume(volume); }
void setPan(int pan) { controller.setPan(pan); }

// The equaliser settings are ignored.
void eqSet(int, char[10], int) {}

In_Module record = {
    inModuleVersion,
    moduleDescription,
    nullptr,  // hMainWindow: the host's
    nullptr,  // hDllInstance: the host's
    nullptr,  // FileExtensions: set by the export
    1,        // is_seekable
    1,        // UsesOutputPlug
    config,
    about,
    init,
    quit,
    getFileInfo,
    infoBox,
    isOurFile,
    play,
    pause,
    unPause,
    isPaused,
    stop,
    getLength,
    getOutputTime,
    setOutputTime,
    setVolume,
    setPan,
    nullptr,  // SAVSAInit .. SetInfo and outMod: the host's
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    eqSet,
    nullptr,
    nullptr,
};

} // namespace
} // namespace velk

// Each call puts the default settings back into effect.
extern "C" VELK_EXPORT In_Module *winampGetInModule2()
{
    velk::playbackSettings.setDefaults();
    velk::record.FileExtensions = velk::extensionList;
    return &velk::record;
}
