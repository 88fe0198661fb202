#include "tests/playback/scripted_player.h"

#include <new>

namespace velk::test {

Script script;
PlayerRecord players;

float Script::rateAfter(int ticksDone) const
{
    float rate = rates.front().second;
    for (const auto &[firstTick, hz] : rates)
        if (ticksDone >= firstTick)
            rate = hz;
    return rate;
}

void resetScriptedPlayers(Script newScript)
{
    script = std::move(newScript);
    players.created = 0;
    players.alive = 0;
    players.mostAlive = 0;
    players.loads = 0;
    players.rewinds = 0;
    players.lastRewindSubsong = -2;
    players.ticks = 0;
    players.ticksOnOwnChip = 0;
    players.ticksOnOtherChip = 0;
    players.provider = nullptr;
    delete players.abandoned;
    players.abandoned = nullptr;
    players.loadedName.clear();
}

const CPlayers &scriptedPlayerList()
{
    static const CPlayerDesc description(ScriptedPlayer::create, "Scripted song", ".tst\0");
    static const CPlayers list = [] {
        CPlayers players;
        players.push_back(&description);
        return players;
    }();
    return list;
}

ScriptedPlayer::ScriptedPlayer(Copl *chip) : CPlayer(chip), ownChip_(chip)
{
    ++players.created;
    if (++players.alive > players.mostAlive)
        players.mostAlive = players.alive.load();
}

ScriptedPlayer::~ScriptedPlayer()
{
    --players.alive;
}

CPlayer *ScriptedPlayer::create(Copl *chip)
{
    return new ScriptedPlayer(chip);
}

bool ScriptedPlayer::load(const std::string &fileName, const CFileProvider &files)
{
    ++players.loads;
    players.provider = &files;
    players.loadedName = fileName;
    if (fileName.find(script.throwWhenNameHas) != std::string::npos) {
        players.abandoned = this;
        throw std::bad_alloc();
    }
    return fileName.find(script.rejectWhenNameHas) == std::string::npos;
}

bool ScriptedPlayer::update()
{
    ++ticks_;
    players.ticks = ticks_;
    // The tick drives whatever chip the player has now.
    opl->write(0xB0, ticks_ & 0xFF);
    if (opl == ownChip_)
        ++players.ticksOnOwnChip;
    else
        ++players.ticksOnOtherChip;
    if (script.onTick)
        script.onTick(ticks_);
    return ticks_ < script.endTick;
}

void ScriptedPlayer::rewind(int subsong)
{
    ticks_ = 0;
    players.ticks = 0;
    ++players.rewinds;
    players.lastRewindSubsong = subsong;
}

float ScriptedPlayer::getrefresh()
{
    return script.rateAfter(ticks_);
}

} // namespace velk::test
