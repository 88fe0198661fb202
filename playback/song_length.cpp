#include "playback/song_length.h"

#include <player.h>
#include <silentopl.h>

#include "playback/tick_rate.h"

namespace velk {

namespace {

// CPlayer keeps its chip in a protected member. A class derived from it may
// name that member, and the pointer to it reaches the chip of any player:
// this is how the measurement lends the player a silent chip for a while,
// as CPlayer::songlength does.
struct PlayerChip : CPlayer {
    static Copl *CPlayer::*member() { return &PlayerChip::opl; }
};

// Gives the player its own chip back however the measurement ends.
class SilentChipLoan {
public:
    explicit SilentChipLoan(CPlayer &player) : player_(player), own_(player.*PlayerChip::member())
    {
        player_.*PlayerChip::member() = &silent_;
    }
    ~SilentChipLoan() { player_.*PlayerChip::member() = own_; }
    SilentChipLoan(const SilentChipLoan &) = delete;
    SilentChipLoan &operator=(const SilentChipLoan &) = delete;

private:
    CPlayer &player_;
    Copl *own_;
    CSilentopl silent_;
};

} // namespace

unsigned long measureSongLength(CPlayer &player, int subsong)
{
    SilentChipLoan loan(player);
    float lengthMs = 0.0f;
    player.rewind(subsong);
    while (player.update() && lengthMs < songLengthLimitMs)
        lengthMs += 1000.0f / boundedTickRate(player.getrefresh());
    player.rewind(subsong);
    return static_cast<unsigned long>(lengthMs);
}

std::vector<float> measureTickTimes(CPlayer &player, int subsong)
{
    SilentChipLoan loan(player);
    std::vector<float> times{0.0f};
    float positionMs = 0.0f;
    player.rewind(subsong);
    while (player.update() && positionMs < songLengthLimitMs) {
        positionMs += 1000.0f / boundedTickRate(player.getrefresh());
        times.push_back(positionMs);
    }
    player.rewind(subsong);
    return times;
}

} // namespace velk
