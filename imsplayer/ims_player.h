// The module's one player: stages an IMS song in the converter workspace,
// runs the converter on it and plays the ROL song it writes with the ROL
// engine, keeping the song's title.
#pragma once

#include <players.h>

#include <string>

#include "rol/rol_player.h"

namespace velk {

class ImsPlayer : public RolPlayer {
public:
    explicit ImsPlayer(Copl *opl);

    // A new player on `opl`, or null when it cannot be allocated.
    static CPlayer *factory(Copl *opl);

    // Converts the IMS song at `filename` through the workspace and reads
    // the ROL song with the bank chosen beside the IMS song. True when the
    // song was read; the player is then rewound. Never throws.
    bool load(const std::string &filename, const CFileProvider &fp) override;

    // The song's title as EUC-KR bytes; empty when none was read.
    std::string gettitle() override;

private:
    bool stageAndConvert(const std::string &filename);
    bool runConverter();

    std::string title_;
};

// The player list handed to CAdPlug::factory: its single entry is the IMS
// player ("Iyagi Music Song", ".ims").
const CPlayers &imsPlayerList();

} // namespace velk
