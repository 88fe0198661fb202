#include "imsplayer/ims_player.h"

#include <binio.h>
#include <fprovide.h>

#include <cstdio>
#include <new>

#include "imsplayer/console_process.h"
#include "imsplayer/converter_workspace.h"
#include "imsplayer/title_decoding.h"
#include "imsplayer/workspace_files.h"
#include "rol/bank_choice.h"

namespace velk {
namespace {

// Where the title starts in an IMS song: after the six head bytes.
constexpr long titleOffset = 6;

std::string inWorkspace(const char *name) { return workspacePath + name; }

// Opens a staged song and reads its title. False when it cannot be opened;
// a song too short for the field leaves its missing bytes NUL.
bool readTitle(const std::string &path, std::string &title)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    TitleField field{};
    unsigned char head[titleOffset];
    if (std::fread(head, 1, sizeof head, file) == sizeof head)
        std::fread(field.data(), 1, field.size(), file);
    std::fclose(file);
    title = decodeTitle(field);
    return true;
}

// Makes the workspace current for the converter and puts the previous
// directory back however the run ends.
class WorkspaceAsCurrentDirectory {
public:
    WorkspaceAsCurrentDirectory() : previous_(currentDirectory()) { setCurrentDirectory(workspacePath); }
    ~WorkspaceAsCurrentDirectory()
    {
        if (!previous_.empty())
            setCurrentDirectory(previous_);
    }
    WorkspaceAsCurrentDirectory(const WorkspaceAsCurrentDirectory &) = delete;
    WorkspaceAsCurrentDirectory &operator=(const WorkspaceAsCurrentDirectory &) = delete;

private:
    std::string previous_;
};

} // namespace

ImsPlayer::ImsPlayer(Copl *opl) : RolPlayer(opl) {}

CPlayer *ImsPlayer::factory(Copl *opl) { return new (std::nothrow) ImsPlayer(opl); }

std::string ImsPlayer::gettitle() { return title_; }

bool ImsPlayer::runConverter()
{
    WorkspaceAsCurrentDirectory inWorkspaceFolder;
    try {
        consoleProcess.run(converterCommandLine(workspacePath).c_str());
        return true;
    } catch (...) {
        // A ConsoleProcessError, or no memory for the run: nothing was
        // converted. The load fails, and the host hears of it only through
        // its result.
        return false;
    }
}

// Stages the song, reads its title and converts it. False when the runner
// failed; a song that could not be staged or opened goes on to find no
// ROL song.
bool ImsPlayer::stageAndConvert(const std::string &filename)
{
    const std::string staged = inWorkspace(stagedSongFileName);
    makeFileDeletable(staged);
    deleteFile(staged);
    // Only a copy made now is read: after a failed copy whatever is still
    // there under the name is not this song.
    if (!copyFile(filename, staged))
        return true;

    if (!readTitle(staged, title_))
        return true;  // the staged copy, if any, stays
    const bool ran = runConverter();
    makeFileDeletable(staged);
    deleteFile(staged);
    return ran;
}

bool ImsPlayer::load(const std::string &filename, const CFileProvider &fp)
{
    bool ready = false;
    try {
        ready = prepareWorkspace();
    } catch (...) {
    }
    if (!ready)
        return false;  // no workspace fit to use: nothing is touched
    const std::string converter = inWorkspace(converterFileName);
    const std::string rol = inWorkspace(rolSongFileName);
    try {
        // A trusted converter already there is used as it is, even when it
        // differs; an untrusted one is replaced, never run.
        if (!converterIsTrusted(converter) && !extractResource(converterResourceId, converter))
            return false;
        deleteFile(rol);

        if (!stageAndConvert(filename)) {
            deleteFile(rol);
            return false;
        }

        binistream *song = fp.open(rol);
        if (!song) {
            deleteFile(rol);
            return false;
        }
        // The bank lies beside the IMS song, never in the workspace; the
        // song's path itself stays as given for the factory's next try.
        bool read = false;
        try {
            read = loadSong(*song, chooseBankPath(filename), fp);
        } catch (...) {
            fp.close(song);
            throw;
        }
        fp.close(song);
        deleteFile(rol);
        return read;
    } catch (...) {
        // Nothing may reach the host (out of memory while reading, say).
        deleteFile(rol);
        return false;
    }
}

const CPlayers &imsPlayerList()
{
    // The description table, its one entry ended by the empty one; the list
    // the factory walks is made from it.
    static const CPlayerDesc descriptions[] = {
        CPlayerDesc(ImsPlayer::factory, "Iyagi Music Song", ".ims\0"),
        CPlayerDesc(),
    };
    static const CPlayers list = [] {
        CPlayers players;
        for (const CPlayerDesc *d = descriptions; d->factory; ++d)
            players.push_back(d);
        return players;
    }();
    return list;
}

namespace {
// Built while the module loads, before the host can call anything.
[[maybe_unused]] const CPlayers &builtAtLoad = imsPlayerList();
} // namespace

} // namespace velk
