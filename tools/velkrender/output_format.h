// The kinds of file velkrender writes for a song, chosen by --format (or
// --midi) or by the output's extension.
#pragma once

#include <optional>
#include <string>

namespace velk::render {

enum class OutputFormat { wav, flac, vorbis, midi };

// The format --format names: wav, flac, ogg (or vorbis), midi (or mid); any
// case. None for another name.
std::optional<OutputFormat> outputFormatNamed(const std::string &name);

// The extension of the file name in `path`, in lower case with its dot; ""
// when it has none.
std::string lowerExtension(const std::string &path);

// The format an extension (as lowerExtension gives it) asks for: .wav,
// .flac, .ogg or .oga, .mid or .midi. None for any other, "" included.
std::optional<OutputFormat> outputFormatOfExtension(const std::string &extension);

// The extension velkrender gives files of `format` it names itself.
const char *extensionOf(OutputFormat format);

// The extensions it writes, for messages: ".wav, .flac, .ogg or .mid".
extern const char writableExtensions[];

} // namespace velk::render
