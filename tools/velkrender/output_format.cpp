#include "tools/velkrender/output_format.h"

#include <cctype>

namespace velk::render {
namespace {

std::string lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

const char writableExtensions[] = ".wav, .flac, .ogg, .mid, .vgm or .vgz";

bool holdsAudio(OutputFormat format)
{
    return format == OutputFormat::wav || format == OutputFormat::flac || format == OutputFormat::vorbis;
}

std::optional<OutputFormat> outputFormatNamed(const std::string &name)
{
    const std::string n = lower(name);
    if (n == "wav")
        return OutputFormat::wav;
    if (n == "flac")
        return OutputFormat::flac;
    if (n == "ogg" || n == "vorbis")
        return OutputFormat::vorbis;
    if (n == "midi" || n == "mid")
        return OutputFormat::midi;
    if (n == "vgm")
        return OutputFormat::vgm;
    if (n == "vgz")
        return OutputFormat::vgz;
    return std::nullopt;
}

std::string lowerExtension(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot <= nameStart)
        return "";
    return lower(path.substr(dot));
}

std::optional<OutputFormat> outputFormatOfExtension(const std::string &extension)
{
    if (extension == ".wav")
        return OutputFormat::wav;
    if (extension == ".flac")
        return OutputFormat::flac;
    if (extension == ".ogg" || extension == ".oga")
        return OutputFormat::vorbis;
    if (extension == ".mid" || extension == ".midi")
        return OutputFormat::midi;
    if (extension == ".vgm")
        return OutputFormat::vgm;
    if (extension == ".vgz")
        return OutputFormat::vgz;
    return std::nullopt;
}

const char *extensionOf(OutputFormat format)
{
    switch (format) {
    case OutputFormat::wav: return ".wav";
    case OutputFormat::flac: return ".flac";
    case OutputFormat::vorbis: return ".ogg";
    case OutputFormat::midi: return ".mid";
    case OutputFormat::vgm: return ".vgm";
    case OutputFormat::vgz: return ".vgz";
    }
    return ".wav";
}

} // namespace velk::render
