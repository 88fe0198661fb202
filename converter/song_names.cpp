#include "converter/song_names.h"

namespace velk::converter {
namespace {

bool isSeparator(char c)
{
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

// Cuts `text` at the first occurrence of `extension` ("." and three capitals),
// compared case-blind.
std::string cutAt(const std::string &text, const char *extension)
{
    const std::string upper = upperCase(text);
    const std::size_t at = upper.find(extension);
    return at == std::string::npos ? text : text.substr(0, at);
}

} // namespace

std::string upperCase(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string lowerCase(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

PathParts splitDirectory(const std::string &path)
{
    std::size_t i = path.size();
    while (i > 0 && !isSeparator(path[i - 1]))
        --i;
    return {path.substr(0, i), path.substr(i)};
}

std::string songPattern(const std::string &name) { return cutAt(upperCase(name), ".IMS") + ".ims"; }

std::string songBase(const std::string &matchedName) { return cutAt(matchedName, ".IMS"); }

std::string outputBase(const std::string &outputName)
{
    PathParts parts = splitDirectory(outputName);
    return parts.directory + cutAt(upperCase(parts.name), ".ROL");
}

} // namespace velk::converter
