// ruz2avu: converts IMS songs into ROL songs.
//
//   ruz2avu [path]<imsfile[.ims]> [rolfile] [/t]
//
// Every song matching the first argument is converted in turn. The plug-in
// runs it as "ruz2avu.exe $$.ims" in its workspace and reads "$$.rol".
// Exit status 0 when every matched song was written.

#include <cstdio>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/file_search.h"
#include "common/whole_file.h"
#include "converter/conversion.h"
#include "converter/output_file.h"
#include "converter/song_names.h"

namespace {

using namespace velk;
using namespace velk::converter;

constexpr char banner[] = "\n RUZ2AVU  v 1.10  IMS to ROL song converter, Velk project\n";
constexpr char usage[] = "\n\n  Usage :  ruz2avu [path]<imsfile[.ims]> [rolfile] [option]"
                         "\n   option       /t :input ticks per beat"
                         "\n\n  ex)      ruz2avu song.ims";
constexpr char ticksPrompt[] = "\n   Ticks per Beat = ";
constexpr char ok[] = " ---> Ok";
constexpr char badVoice[] = "\a errro";

constexpr int exitWritten = 0;
constexpr int exitFailed = 1;

void say(const char *text) { std::fputs(text, stdout); }

int failWithUsage()
{
    say(usage);
    return exitFailed;
}

// One decimal integer, as scanf's %d takes it: blanks and line ends first, a
// sign, digits. No digits at all reads as 0; a number too large to hold
// stays too large, so that it is refused rather than wrapped.
long readTicksPerBeat(std::FILE *in)
{
    int c;
    do
        c = std::fgetc(in);
    while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f');
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = std::fgetc(in);
    }
    long value = 0;
    const long cap = 1000000;
    while (c >= '0' && c <= '9') {
        if (value < cap)
            value = value * 10 + (c - '0');
        c = std::fgetc(in);
    }
    return negative ? -value : value;
}

bool writeFile(const std::string &path, const Bytes &bytes)
{
    std::FILE *f = openOutputFile(path);
    if (!f)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

} // namespace

int main(int argc, char **argv)
{
    say(banner);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return failWithUsage();

    long ticksPerBeat = 0;
    if (args.size() >= 2 && lowerCase(args.back()).compare(0, 2, "/t") == 0) {
        say(ticksPrompt);
        std::fflush(stdout);
        ticksPerBeat = readTicksPerBeat(stdin);
        args.pop_back();
        if (ticksPerBeat < 0 || ticksPerBeat > maxTicksPerBeatOption) {
            std::printf("\n   Ticks per Beat must be 0 to %d: nothing converted", maxTicksPerBeatOption);
            return exitFailed;
        }
    }

    const PathParts song = splitDirectory(args[0]);
    const std::vector<FoundFile> matches = findOrdinaryFiles(song.directory, songPattern(song.name));
    if (matches.empty())
        return failWithUsage();

    bool allWritten = true;
    Bytes ims;
    for (const FoundFile &match : matches) {
        const std::string base = songBase(match.name);
        std::printf("\n Loading  %s.IMS", base.c_str());
        std::fflush(stdout);
        if (!readWholeFile(match.path, ims))
            return failWithUsage();
        const ConversionResult result = convertImsToRol(ims, static_cast<int>(ticksPerBeat));
        switch (result.outcome) {
        case Outcome::converted: break;
        case Outcome::unreadable: return failWithUsage();
        case Outcome::badVoice: say(badVoice); return exitFailed;
        case Outcome::beyondLimits:
            // This song only: the others of the run are still converted.
            std::printf(" ---> not converted: %s", result.reason.c_str());
            allWritten = false;
            continue;
        }
        say(ok);

        const std::string out = args.size() >= 2 ? outputBase(args[1]) : base;
        std::printf("\n Saving   %s.ROL", out.c_str());
        std::fflush(stdout);
        if (!writeFile(out + ".rol", result.rol))
            return failWithUsage();
        say(ok);
    }
    std::fflush(stdout);
    return allWritten ? exitWritten : exitFailed;
}
