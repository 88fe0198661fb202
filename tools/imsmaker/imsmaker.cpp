// imsmaker: makes an IMS song from its text source (see song_text.h).
//
//   imsmaker song.txt song.ims

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/imsmaker/song_text.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: imsmaker <song.txt> <song.ims>\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "imsmaker: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();

    velk::ims::SongTextError error;
    std::optional<velk::ims::SongSource> song = velk::ims::parseSongText(text.str(), error);
    if (!song) {
        std::cerr << argv[1] << ":" << error.line << ": " << error.message << "\n";
        return 1;
    }
    const velk::Bytes bytes = velk::ims::writeSong(*song);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "imsmaker: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
