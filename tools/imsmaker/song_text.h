// A readable text source for IMS songs, turned into events by imsmaker:
//
//   # a comment, to the end of the line (a "#" after a blank or at the start)
//   title  Velk demo          the song title (up to 30 bytes)
//   tempo  120                basic tempo, beats per minute
//   beats  4                  beats per measure
//   rhythm on                 percussive (on) or melodic (off) song
//   step   120                delay units per step of the lines below (240 = a beat)
//   speed  60 0.75            from beat 60 on, play at 0.75 times the basic tempo
//   voice  0 piano1 110       the lines below are voice 0's, played with the
//                             instrument piano1 at velocity 110 (both optional
//                             when the voice goes on where it left off)
//   4x: a4 . c5 . | e5 - d5 c5    a line of steps, here played four times
//
// Steps: a note name (c4 = key 60, f#3, bb2) strikes that note, "." holds
// what sounds (or the silence), "-" releases the sounding note. Between
// steps: "|" is a bar line for the reader, "v90" sets the velocity of the
// notes that follow, "@flute1" changes the instrument, "~70" sets the voice's
// volume from there on, also of the note sounding. Each voice keeps its
// own position; a note still sounding at the end of the file is released
// there, which marks where that voice ends.
#pragma once

#include <optional>
#include <string>

#include "tools/imsmaker/ims_writer.h"

namespace velk::ims {

struct SongTextError {
    int line = 0;
    std::string message;
};

// The song of `text`, or nothing with `error` saying which line is wrong and why.
std::optional<SongSource> parseSongText(const std::string &text, SongTextError &error);

} // namespace velk::ims
