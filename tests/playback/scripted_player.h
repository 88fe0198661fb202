// A player whose song is a script: a tick rate that may change after chosen
// ticks, and the tick at which update reports the end. It counts what is
// done to it so that tests can see how the render thread drives it.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <player.h>
#include <players.h>

namespace velk::test {

struct Script {
    // (first tick, rate in Hz from then on), by first tick; the first entry
    // starts at tick 0.
    std::vector<std::pair<int, float>> rates{{0, 70.0f}};
    // The update that carries out this tick (counted from 1) returns false,
    // and so does every later one.
    int endTick = 1000000000;
    // load accepts a file unless its name contains this text.
    std::string rejectWhenNameHas = "reject";
    // load throws std::bad_alloc when the name contains this text.
    std::string throwWhenNameHas = "throw";
    // Runs at every tick with the ticks done since the last rewind.
    std::function<void(int)> onTick;

    float rateAfter(int ticksDone) const;
};

// What players have seen and done; reset by resetScriptedPlayers.
struct PlayerRecord {
    std::atomic<int> created{0};
    std::atomic<int> alive{0};
    std::atomic<int> mostAlive{0};
    std::atomic<int> loads{0};
    std::atomic<int> rewinds{0};
    std::atomic<int> lastRewindSubsong{-2};
    // Ticks of the current song since its last rewind, on the chip it was
    // made with, and on any other chip (a silent one lent to it).
    std::atomic<int> ticks{0};
    std::atomic<int> ticksOnOwnChip{0};
    std::atomic<int> ticksOnOtherChip{0};
    const CFileProvider *provider = nullptr;  // the one load was given
    // AdPlug's factory does not delete a player whose load throws.
    CPlayer *abandoned = nullptr;
    std::string loadedName;
};

// The script of every ScriptedPlayer made from now on, and what they record.
// Set before play; the render thread reads the script.
extern Script script;
extern PlayerRecord players;
void resetScriptedPlayers(Script newScript = {});

// A player list with the scripted player as its one entry (extension .tst).
const CPlayers &scriptedPlayerList();

class ScriptedPlayer : public CPlayer {
public:
    explicit ScriptedPlayer(Copl *chip);
    ~ScriptedPlayer() override;

    static CPlayer *create(Copl *chip);

    bool load(const std::string &fileName, const CFileProvider &files) override;
    bool update() override;
    void rewind(int subsong) override;
    float getrefresh() override;
    std::string gettype() override { return "Scripted song"; }
    std::string gettitle() override { return "scripted"; }

private:
    Copl *const ownChip_;
    int ticks_ = 0;
};

} // namespace velk::test
