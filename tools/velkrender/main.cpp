// velkrender: renders ROL or IMS songs through libvelk to WAV, FLAC or Ogg
// Vorbis files (whole or as a stem for each voice, with ReplayGain tags or
// normalized), writes their score as a MIDI file or the chip's writes as a
// VGM file, or measures their loudness; or lists the chip register writes
// they make (on the engine directly).
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "libvelk/velk.h"
#include "tools/velkrender/listener_controls.h"
#include "tools/velkrender/midi_file.h"
#include "tools/velkrender/options.h"
#include "tools/velkrender/output_format.h"
#include "tools/velkrender/song_audio.h"
#include "tools/velkrender/song_files.h"
#include "tools/velkrender/song_loudness_scan.h"
#include "tools/velkrender/song_lrc.h"
#include "tools/velkrender/song_midi.h"
#include "tools/velkrender/song_outcome.h"
#include "tools/velkrender/song_registers.h"
#include "tools/velkrender/song_vgm.h"
#include "tools/velkrender/stems.h"

namespace {

using namespace velk::render;

// Frees a library song handle.
struct SongCloser {
    void operator()(velk_song *song) const { velk_close(song); }
};
using SongHandle = std::unique_ptr<velk_song, SongCloser>;

bool stderrIsTerminal() { return isatty(fileno(stderr)) != 0; }

// Makes `outDir` (and the folders above it) when missing.
bool makeFolder(const std::string &outDir, std::string &error)
{
    std::error_code failure;
    std::filesystem::create_directories(outDir, failure);
    if (failure) {
        error = "cannot make the folder " + outDir + " (" + failure.message() + ")";
        return false;
    }
    return true;
}

// `song` opened through the library as the options ask, its title and
// length in `outcome`; null, with `outcome.error` saying why, when it cannot
// be opened. The listener's controls are not set yet; voices they name that
// the song lacks are noted.
SongHandle openSong(const Options &options, const std::string &song, SongOutcome &outcome)
{
    velk_options open;
    velk_options_init(&open);
    open.sample_rate = options.pcm.rate;
    open.channels = options.pcm.channels();
    open.emulator = options.emulator;
    open.pitch_bends = options.pitchBends ? 1 : 0;
    open.bank_path = options.bank.empty() ? nullptr : options.bank.c_str();
    velk_song *opened = nullptr;
    const velk_error error = velk_open_file(song.c_str(), &open, &opened);
    SongHandle handle(opened);
    if (error != VELK_OK) {
        outcome.error = handle ? velk_error_message(handle.get()) : velk_error_string(error);
        return nullptr;
    }
    outcome.ims = lowerExtension(song) == ".ims";
    outcome.title = velk_title(handle.get());
    outcome.lengthMs = static_cast<unsigned long>(velk_length_ms(handle.get()));
    std::string missing;
    mutedVoices(options.controls, handle.get(), missing);
    if (!missing.empty())
        outcome.notes.push_back("the song has no voice " + missing + " (it has " +
                                std::to_string(velk_voice_count(handle.get())) + ")");
    return handle;
}

// Sets the listener's controls on a song opened by openSong.
bool applyTo(const Options &options, velk_song *song, SongOutcome &outcome)
{
    std::string missing;  // noted at the open
    return applyControls(options.controls, song, missing, outcome.error);
}

// A progress line on a terminal, "rendering 12 of 82 s (15%)", for a render
// of `totalSeconds` of audio; nothing elsewhere.
Progress progressLine(const AudioFormat &pcm, double totalSeconds, const std::string &label)
{
    if (!stderrIsTerminal())
        return {};
    auto shown = std::make_shared<std::uint64_t>(0);
    return [=](std::uint64_t frames) {
        const std::uint64_t second = frames / static_cast<std::uint64_t>(pcm.rate);
        if (second == *shown)
            return;
        *shown = second;
        std::fprintf(stderr, "\r%s %llu of %.0f s (%3.0f%%)", label.c_str(), static_cast<unsigned long long>(second),
                     totalSeconds, totalSeconds > 0 ? 100.0 * static_cast<double>(second) / totalSeconds : 100.0);
    };
}

void endProgressLine()
{
    if (stderrIsTerminal())
        std::fprintf(stderr, "\n");
}

double audioSeconds(const Options &options, const SongOutcome &outcome)
{
    return outcome.lengthMs / 1000.0 / options.controls.tempo;
}

// The song's lyrics as an LRC file at `path` ("-" for standard output),
// timed as the render at `tempo` plays them. A song without lyrics gets
// none, with a note why; false only when the file cannot be written.
bool writeLrc(const velk_song *song, double tempo, const std::string &path, SongOutcome &outcome)
{
    const std::optional<std::string> lrc = lrcOf(song, tempo);
    if (!lrc) {
        const char *problem = velk_lyrics_problem(song);
        outcome.notes.push_back(problem ? std::string("lyrics ignored: ") + problem : "no lyrics");
        return true;
    }
    std::FILE *out = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
    bool written = out && std::fwrite(lrc->data(), 1, lrc->size(), out) == lrc->size();
    if (out)
        written = std::fflush(out) == 0 && written;
    if (out && out != stdout)
        written = std::fclose(out) == 0 && written;
    if (!written) {
        outcome.error = "cannot write " + path;
        return false;
    }
    outcome.lrc = path;
    return true;
}

// `bytes` as the file at `path`; false when it cannot be written whole.
bool writeBytes(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    std::FILE *out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed)
        removeFailedOutput(path);
    return written && closed;
}

// The lyrics alone, to standard output (--lrc -o -): no audio.
SongOutcome lyricsOnly(const Options &options, const std::string &song, const Announce &announce)
{
    SongOutcome outcome;
    const SongHandle handle = openSong(options, song, outcome);
    if (!handle)
        return outcome;
    announce(outcome);
    if (writeLrc(handle.get(), options.controls.tempo, "-", outcome) && outcome.lrc.empty()) {
        // Lyrics were all that was asked for: their absence is the failure.
        outcome.error = outcome.notes.back();
        outcome.notes.pop_back();
    }
    return outcome;
}

// Opens the song for an output at `path`, announces it and writes its LRC
// beside that output when asked; null (the outcome says why) on a failure.
SongHandle openForOutput(const Options &options, const std::string &song, const std::string &path,
                         const Announce &announce, SongOutcome &outcome)
{
    SongHandle handle = openSong(options, song, outcome);
    if (!handle)
        return handle;
    announce(outcome);
    if (options.lrc && !writeLrc(handle.get(), options.controls.tempo, lrcPathFor(path), outcome))
        handle.reset();
    return handle;
}

// The song's score as a MIDI file at `path`.
SongOutcome writeMidi(const Options &options, const std::string &song, const std::string &path,
                      const Announce &announce)
{
    SongOutcome outcome;
    const SongHandle handle = openForOutput(options, song, path, announce, outcome);
    if (!handle)
        return outcome;
    MidiChoices choices;
    choices.title = outcome.title.empty() ? std::filesystem::path(song).stem().string() : outcome.title;
    std::string missing;
    choices.muted = mutedVoices(options.controls, handle.get(), missing);
    choices.tempo = options.controls.tempo;
    choices.transpose = options.controls.transpose;
    MidiFile midi;
    if (!songMidi(handle.get(), choices, midi, outcome.error))
        return outcome;
    if (!writeBytes(path, midiFileBytes(midi))) {
        outcome.error = "cannot write " + path;
        return outcome;
    }
    outcome.outputs.push_back(path);
    return outcome;
}

// A song's loudness, measured before it renders, and its album's (a batch).
struct LoudnessPlan {
    const SongLoudness *track = nullptr;
    std::optional<Loudness> album;
};

// The ReplayGain tags of a song as planned.
TagList replayGainTags(const LoudnessPlan &plan)
{
    TagList tags;
    if (!plan.track)
        return tags;
    tags.emplace_back("REPLAYGAIN_TRACK_GAIN", gainText(plan.track->track.gainDb));
    tags.emplace_back("REPLAYGAIN_TRACK_PEAK", peakText(plan.track->track.truePeak));
    if (plan.album) {
        tags.emplace_back("REPLAYGAIN_ALBUM_GAIN", gainText(plan.album->gainDb));
        tags.emplace_back("REPLAYGAIN_ALBUM_PEAK", peakText(plan.album->truePeak));
    }
    tags.emplace_back("REPLAYGAIN_REFERENCE_LOUDNESS", referenceText());
    return tags;
}

// --normalize: the factor that brings the song to the reference loudness,
// held so that its largest sample stays within 16 bits; what it costs goes
// to the outcome's notes.
double normalizingScale(const SongLoudness &measured, SongOutcome &outcome)
{
    if (!std::isfinite(measured.track.lufs) || measured.largestSample == 0) {
        outcome.notes.push_back("silent: written as it is");
        return 1.0;
    }
    const double wanted = std::pow(10.0, measured.track.gainDb / 20.0);
    const double most = 32767.0 / measured.largestSample;
    char note[160];
    if (wanted <= most) {
        std::snprintf(note, sizeof note, "normalized by %.2f dB to %.2f LUFS", measured.track.gainDb,
                      VELK_REFERENCE_LUFS);
        outcome.notes.push_back(note);
        return wanted;
    }
    const double held = 20.0 * std::log10(most);
    std::snprintf(note, sizeof note,
                  "normalized by %.2f dB, not %.2f: its peak would clip; it stays at %.2f LUFS, %.2f dB short",
                  held, measured.track.gainDb, measured.track.lufs + held, measured.track.gainDb - held);
    outcome.notes.push_back(note);
    return most;
}

// The whole song, through the library, as an audio file at `path`.
SongOutcome renderAudio(const Options &options, const std::string &song, const std::string &path,
                        const Announce &announce, const LoudnessPlan &plan)
{
    SongOutcome outcome;
    const SongHandle handle = openForOutput(options, song, path, announce, outcome);
    if (!handle)
        return outcome;
    if (!applyTo(options, handle.get(), outcome))
        return outcome;
    AudioTarget target{path, outputFormatOf(options, path), options.pcm, outcome.title, {}};
    if (target.format != OutputFormat::wav)
        target.tags = replayGainTags(plan);
    else if (options.normalize && plan.track)
        target.scale = normalizingScale(*plan.track, outcome);
    const bool rendered = renderToFile(handle.get(), target,
                                       progressLine(options.pcm, audioSeconds(options, outcome), "rendering"),
                                       outcome.error);
    endProgressLine();
    if (rendered)
        outcome.outputs.push_back(path);
    return outcome;
}

// A file for each voice with notes, that voice alone; `path` is where the
// whole song would go (its LRC goes beside it).
SongOutcome renderStems(const Options &options, const std::string &song, const std::string &path,
                        const Announce &announce)
{
    SongOutcome outcome;
    std::vector<Stem> stems;
    {
        const SongHandle handle = openForOutput(options, song, path, announce, outcome);
        if (!handle)
            return outcome;
        std::string missing;
        stems = stemsOf(handle.get(), mutedVoices(options.controls, handle.get(), missing), song, options.outDir,
                        extensionOf(outputFormatOf(options, path)));
    }
    if (stems.empty()) {
        outcome.error = "no voice with notes to render";
        return outcome;
    }
    for (std::size_t i = 0; i < stems.size(); ++i) {
        // Each stem from the song's start on a fresh handle: every one
        // renders exactly as the whole song does, but for the voices heard.
        SongOutcome fresh;
        const SongHandle handle = openSong(options, song, fresh);
        if (!handle || !applyTo(options, handle.get(), fresh) ||
            velk_set_muted_voices(handle.get(), allBut(handle.get(), stems[i].voice)) != VELK_OK) {
            outcome.error = !fresh.error.empty() ? fresh.error : velk_error_message(handle.get());
            return outcome;
        }
        const AudioTarget target{stems[i].path, outputFormatOf(options, path), options.pcm, outcome.title, {}};
        const std::string label = "stem " + std::to_string(i + 1) + " of " + std::to_string(stems.size()) + ":";
        const bool rendered = renderToFile(
            handle.get(), target, progressLine(options.pcm, audioSeconds(options, outcome), label), outcome.error);
        endProgressLine();
        if (!rendered)
            return outcome;
        outcome.outputs.push_back(stems[i].path);
    }
    return outcome;
}

SongOutcome renderOne(const Options &options, const std::string &song, const std::string &output,
                      const LoudnessPlan &plan, const Announce &announce)
{
    // "--regs song.txt" would name the song as its own output and empty it
    // before reading it.
    std::error_code unknown;
    if (output != "-" && std::filesystem::equivalent(song, output, unknown)) {
        SongOutcome outcome;
        outcome.error = "the output " + output + " is the song itself; choose another with -o or --out-dir";
        return outcome;
    }
    if (options.regs)
        return listRegisters(options, song, output, announce);
    if (options.lrc && output == "-")
        return lyricsOnly(options, song, announce);
    if (options.stems)
        return renderStems(options, song, output, announce);
    const OutputFormat format = outputFormatOf(options, output);
    if (format == OutputFormat::midi)
        return writeMidi(options, song, output, announce);
    if (format == OutputFormat::vgm || format == OutputFormat::vgz) {
        SongOutcome outcome;
        const SongHandle handle = openForOutput(options, song, output, announce, outcome);
        if (handle && applyTo(options, handle.get(), outcome) &&
            writeVgm(handle.get(), VgmTarget{output, format == OutputFormat::vgz, outcome.ims, outcome.title},
                     outcome.error))
            outcome.outputs.push_back(output);
        return outcome;
    }
    return renderAudio(options, song, output, announce, plan);
}

std::string outputFor(const Options &options, const std::string &song)
{
    if (!options.output.empty())
        return options.output;
    return outputPath(song, options.regs ? ".txt" : extensionOf(outputFormatOf(options, "")), options.outDir);
}

void report(const std::string &song, const std::string &text)
{
    std::fprintf(stderr, "velkrender: %s: %s\n", song.c_str(), text.c_str());
}

// Whether the song's output needs its loudness first: tags or --normalize.
bool measuresFirst(const Options &options, const std::string &output)
{
    if (options.regs || options.stems || (options.lrc && output == "-"))
        return false;
    const OutputFormat format = outputFormatOf(options, output);
    return options.normalize || format == OutputFormat::flac || format == OutputFormat::vorbis;
}

// The song rendered once, unheard, with the controls, measured; false with
// the reason reported.
bool measureSong(const Options &options, const std::string &song, SongLoudness &measured)
{
    SongOutcome outcome;
    const SongHandle handle = openSong(options, song, outcome);
    if (handle && applyTo(options, handle.get(), outcome))
        scanSong(handle.get(), measured,
                 progressLine(options.pcm, audioSeconds(options, outcome), "measuring loudness:"), outcome.error);
    endProgressLine();
    if (outcome.error.empty())
        return true;
    report(song, outcome.error);
    return false;
}

std::string decibels(double amplitude)
{
    if (amplitude <= 0.0)
        return "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", 20.0 * std::log10(amplitude));
    return text;
}

void printLoudnessRow(const Loudness &l, const std::string &name)
{
    char lufs[32];
    std::snprintf(lufs, sizeof lufs, std::isfinite(l.lufs) ? "%.2f" : "-inf", l.lufs);
    std::printf("%8s  %10s  %10s  %9.2f  %s\n", lufs, decibels(l.samplePeak).c_str(), decibels(l.truePeak).c_str(),
                l.gainDb, name.c_str());
}

// --loudness: a row for each song, and the album's for several.
int printLoudness(const Options &options, const std::vector<SongArgument> &arguments)
{
    std::printf("%8s  %10s  %10s  %9s  %s\n", "LUFS", "peak dBFS", "peak dBTP", "gain dB", "song");
    std::vector<std::unique_ptr<SongLoudness>> measured;
    std::size_t songs = 0;
    for (const SongArgument &argument : arguments) {
        if (argument.songs.empty()) {
            ++songs;
            report(argument.given, "no file matches");
        }
        for (const std::string &song : argument.songs) {
            ++songs;
            auto one = std::make_unique<SongLoudness>();
            if (!measureSong(options, song, *one))
                continue;
            printLoudnessRow(one->track, song);
            std::fflush(stdout);
            measured.push_back(std::move(one));
        }
    }
    if (songs > 1 && !measured.empty()) {
        std::vector<const SongLoudness *> all;
        for (const auto &one : measured)
            all.push_back(one.get());
        printLoudnessRow(albumLoudness(all), "(album)");
    }
    std::printf("reference %s; the peaks are the largest sample (dBFS) and the true peak (dBTP, 4x oversampled)\n",
                referenceText().c_str());
    return measured.size() == songs ? 0 : 1;
}

void reportNotes(const std::string &song, const SongOutcome &outcome)
{
    for (const std::string &note : outcome.notes)
        report(song, note);
}

// One song, told about at length: its title and length before it renders,
// the files written after.
int renderSingle(const Options &options, const std::string &song)
{
    const std::string output = outputFor(options, song);
    LoudnessPlan plan;
    SongLoudness measured;
    if (measuresFirst(options, output)) {
        if (!measureSong(options, song, measured))
            return 1;
        plan.track = &measured;
    }
    // Register lines or lyrics going to standard output keep it to themselves.
    std::FILE *info = output == "-" ? stderr : stdout;
    const SongOutcome outcome = renderOne(options, song, output, plan, [&](const SongOutcome &loaded) {
        if (loaded.ims)
            std::fprintf(info, "title: %s\n", loaded.title.c_str());
        std::fprintf(info, "length: %lu ms", loaded.lengthMs);
        if (options.controls.tempo != 1.0 && !options.regs)
            std::fprintf(info, " (%.0f ms of audio at tempo %g)", loaded.lengthMs / options.controls.tempo,
                         options.controls.tempo);
        std::fprintf(info, "\n");
        std::fflush(info);
    });
    if (!outcome.error.empty()) {
        reportNotes(song, outcome);
        report(song, outcome.error);
        return 1;
    }
    for (const std::string &written : outcome.outputs)
        std::fprintf(info, "written: %s\n", written.c_str());
    if (!outcome.lrc.empty() && outcome.lrc != "-")
        std::fprintf(info, "lyrics: %s\n", outcome.lrc.c_str());
    reportNotes(song, outcome);
    return 0;
}

std::string joined(const std::vector<std::string> &items)
{
    std::string text;
    for (const std::string &item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

// Several songs, a line for each and a summary; a failure does not stop the
// rest.
int renderSeveral(const Options &options, const std::vector<SongArgument> &arguments)
{
    std::size_t songs = 0, written = 0;
    std::set<std::string> outputs;  // two songs of one name must not share an output
    // The songs to render, with their outputs.
    std::vector<std::pair<std::string, std::string>> jobs;
    for (const SongArgument &argument : arguments) {
        if (argument.songs.empty()) {
            ++songs;
            report(argument.given, "no file matches");
            continue;
        }
        for (const std::string &song : argument.songs) {
            ++songs;
            const std::string output = outputFor(options, song);
            if (!outputs.insert(output).second) {
                report(song, output + " is the output of an earlier song");
                continue;
            }
            jobs.emplace_back(song, output);
        }
    }
    // Tags name the album's loudness too: every song is measured first.
    std::map<std::string, std::unique_ptr<SongLoudness>> measured;
    std::optional<Loudness> album;
    const bool measuring = !jobs.empty() && measuresFirst(options, jobs.front().second);
    if (measuring) {
        std::vector<const SongLoudness *> all;
        for (const auto &[song, output] : jobs) {
            auto one = std::make_unique<SongLoudness>();
            if (!measureSong(options, song, *one))
                continue;
            all.push_back(one.get());
            measured[song] = std::move(one);
        }
        if (!all.empty())
            album = albumLoudness(all);
    }
    for (const auto &[song, output] : jobs) {
        LoudnessPlan plan;
        if (measuring) {
            const auto found = measured.find(song);
            if (found == measured.end())
                continue;  // its failure is told
            plan.track = found->second.get();
            plan.album = album;
        }
        const SongOutcome outcome = renderOne(options, song, output, plan, [](const SongOutcome &) {});
        reportNotes(song, outcome);
        if (!outcome.error.empty()) {
            report(song, outcome.error);
            continue;
        }
        ++written;
        const std::string files = joined(outcome.outputs) + (outcome.lrc.empty() ? "" : ", " + outcome.lrc);
        if (outcome.ims)
            std::printf("%s: \"%s\", %lu ms -> %s\n", song.c_str(), outcome.title.c_str(), outcome.lengthMs,
                        files.c_str());
        else
            std::printf("%s: %lu ms -> %s\n", song.c_str(), outcome.lengthMs, files.c_str());
        std::fflush(stdout);
    }
    std::printf("%zu of %zu songs written", written, songs);
    if (written < songs)
        std::printf(", %zu failed", songs - written);
    std::printf("\n");
    return written == songs ? 0 : 1;
}

// A wrong command line: the error and where to read more, not the whole
// help.
int wrongUse(const std::string &error)
{
    std::fprintf(stderr, "velkrender: %s\nTry 'velkrender --help' for more information.\n", error.c_str());
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    std::string error;
    switch (parseOptions(argc, argv, options, error)) {
    case Parsed::help: std::fputs(usage, stdout); return 0;
    case Parsed::wrong: return wrongUse(error);
    case Parsed::run: break;
    }
    const std::vector<SongArgument> arguments = expandSongArguments(options.songs);
    const bool single = arguments.size() == 1 && arguments[0].songs.size() == 1;
    if (!single && !options.output.empty())
        return wrongUse("-o names the output of one song; --out-dir takes several");
    if (!options.outDir.empty() && !makeFolder(options.outDir, error)) {
        std::fprintf(stderr, "velkrender: %s\n", error.c_str());
        return 1;
    }
    if (options.loudness)
        return printLoudness(options, arguments);
    if (single)
        return renderSingle(options, arguments[0].songs[0]);
    return renderSeveral(options, arguments);
}
