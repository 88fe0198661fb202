// velkrender's command line: what it asks for, read and checked.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "libvelk/velk.h"
#include "tools/velkrender/listener_controls.h"
#include "tools/velkrender/output_format.h"
#include "tools/velkrender/render_loop.h"

namespace velk::render {

struct Options {
    std::vector<std::string> songs;  // as given: files or patterns
    std::string bank;
    std::string output;
    std::string outDir;
    AudioFormat pcm;
    std::optional<OutputFormat> format;  // --format or --midi
    velk_emulator emulator = VELK_EMULATOR_DEFAULT;
    bool emulatorChosen = false;
    bool pitchBends = false;
    bool regs = false;
    bool lrc = false;
    bool stems = false;
    bool normalize = false;  // WAV at the reference loudness
    bool loudness = false;   // a table of loudness, no files
    bool rateChosen = false;
    ListenerControls controls;
};

// The format of the file written at `output`: the one --format names, else
// the output's extension's, else WAV.
OutputFormat outputFormatOf(const Options &options, const std::string &output);

enum class Parsed { run, help, wrong };

// Reads the command line into `options`; `wrong` with `error` saying why.
Parsed parseOptions(int argc, char **argv, Options &options, std::string &error);

// The whole help text (--help).
extern const char usage[];

} // namespace velk::render
