// The kinds of file velkrender writes for a song, chosen by --format (or
// --midi) or by the output's extension.
#pragma once

#include <optional>
#include <string>

namespace velk::render {

// vgm and vgz (gzipped) hold the chip's register writes.
enum class OutputFormat { wav, flac, vorbis, midi, vgm, vgz };

// Whether files of `format` hold audio (WAV, FLAC, Ogg).
bool holdsAudio(OutputFormat format);

// The format --format names: wav, flac, ogg (or vorbis), midi (or mid), vgm,
// vgz; any
// case. None for another name.
std::optional<OutputFormat> outputFormatNamed(const std::string &name);

// The extension of the file name in `path`, in lower case with its dot; ""
// when it has none.
std::string lowerExtension(const std::string &path);

// The format an extension (as lowerExtension gives it) asks for: .wav,
// .flac, .ogg or .oga, .mid or .midi, .vgm, .vgz. None for any other, "" included.
std::optional<OutputFormat> outputFormatOfExtension(const std::string &extension);

// The extension velkrender gives files of `format` it names itself.
const char *extensionOf(OutputFormat format);

// The extensions it writes, for messages: ".wav, .flac, .ogg, .mid, .vgm or .vgz".
extern const char writableExtensions[];

} // namespace velk::render
