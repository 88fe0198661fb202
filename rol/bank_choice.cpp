#include "rol/bank_choice.h"

#include "rol/path_exists.h"

namespace velk {
namespace {

// Position just after the last folder separator, 0 when there is none.
std::size_t fileNameStart(const std::string &path)
{
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? 0 : separator + 1;
}

} // namespace

std::string songBankPath(const std::string &songPath)
{
    const std::size_t dot = songPath.rfind('.');
    if (dot == std::string::npos || dot < fileNameStart(songPath))
        return songPath + ".bnk";
    std::string bank = songPath;
    const std::size_t extension = dot + 1;
    if (bank.size() - extension < 3)
        bank.resize(extension);
    return bank.replace(extension, 3, "bnk");
}

std::string standardBankPath(const std::string &songPath)
{
    return songPath.substr(0, fileNameStart(songPath)) + "standard.bnk";
}

std::string chooseBankPath(const std::string &songPath)
{
    if (std::optional<std::string> own = existingPathInAnyCase(songBankPath(songPath)))
        return std::move(*own);
    const std::string standard = standardBankPath(songPath);
    return existingPathInAnyCase(standard).value_or(standard);
}

} // namespace velk
