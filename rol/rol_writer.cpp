#include "rol/rol_writer.h"

#include <cstddef>

namespace velk::rol {
namespace {

constexpr char signatureText[] = "\\roll\\default";

void putTime(Bytes &out, std::int16_t time) { putU16(out, static_cast<std::uint16_t>(time)); }

// One uint16 per voice slot of the reserved area, 0 for voices the song lacks.
template <typename Count>
void putPerVoice(Bytes &out, const std::vector<Voice> &voices, Count count)
{
    for (int v = 0; v < maxVoices; ++v)
        putU16(out, v < static_cast<int>(voices.size()) ? count(voices[v]) : 0u);
}

void putHeader(Bytes &out, const Song &song)
{
    putU16(out, majorVersion);
    putU16(out, minorVersion);
    putText(out, signatureText, header::signatureSize);
    putU16(out, song.ticksPerBeat);
    putU16(out, static_cast<std::uint16_t>(song.beatsPerMeasure));
    putU16(out, static_cast<std::uint16_t>(song.editScaleY));
    putU16(out, static_cast<std::uint16_t>(song.editScaleX));
    putU8(out, 0);
    putU8(out, song.mode);

    putPerVoice(out, song.voices, [](const Voice &v) { return static_cast<unsigned>(static_cast<std::uint16_t>(v.timeOfLastNote)); });
    putPerVoice(out, song.voices, [](const Voice &v) { return static_cast<unsigned>(v.timbres.size()); });
    putPerVoice(out, song.voices, [](const Voice &v) { return static_cast<unsigned>(v.volumes.size()); });
    putPerVoice(out, song.voices, [](const Voice &v) { return static_cast<unsigned>(v.pitches.size()); });
    putU16(out, static_cast<unsigned>(song.tempo.size()));
    putU8(out, 0);
    out.insert(out.end(), song.title.begin(), song.title.end());
    putZeros(out, converterArea::tempoTrackName - (converterArea::title + song.title.size()));
    putText(out, "Tempo", trackNameSize);
    putF32(out, song.basicTempo);
}

void putVoice(Bytes &out, const Voice &voice, int index)
{
    putText(out, trackName("Voix ", index), trackNameSize);
    putTime(out, voice.timeOfLastNote);
    if (voice.timeOfLastNote != 0)
        for (const NoteRecord &n : voice.notes) {
            putU16(out, static_cast<std::uint16_t>(n.note));
            putU16(out, static_cast<std::uint16_t>(n.duration));
        }

    putText(out, trackName("Timbre ", index), trackNameSize);
    putU16(out, static_cast<unsigned>(voice.timbres.size()));
    for (const TimbreEvent &e : voice.timbres) {
        putTime(out, e.time);
        out.insert(out.end(), e.name.begin(), e.name.end());
        putU8(out, 0);
        putU16(out, e.reserved);
    }

    putText(out, trackName("Volume ", index), trackNameSize);
    putU16(out, static_cast<unsigned>(voice.volumes.size()));
    for (const VolumeEvent &e : voice.volumes) {
        putTime(out, e.time);
        putF32(out, e.level);
    }

    putText(out, trackName("Pitch ", index), trackNameSize);
    putU16(out, static_cast<unsigned>(voice.pitches.size()));
    for (const PitchEvent &e : voice.pitches) {
        putTime(out, e.time);
        putF32(out, e.variation);
    }
}

} // namespace

std::string trackName(const char *word, int voice)
{
    std::string suffix = std::to_string(voice);
    if (suffix.size() < 2)
        suffix.insert(suffix.begin(), ' ');
    return word + suffix;
}

Bytes writeSong(const Song &song)
{
    Bytes out;
    std::size_t size = header::size + 2 + song.tempo.size() * tempoEventSize;
    for (const Voice &v : song.voices)
        size += 4 * (trackNameSize + 2) + v.notes.size() * noteRecordSize + v.timbres.size() * timbreEventSize +
                v.volumes.size() * volumeEventSize + v.pitches.size() * pitchEventSize;
    out.reserve(size);

    putHeader(out, song);
    putU16(out, static_cast<unsigned>(song.tempo.size()));
    for (const TempoEvent &e : song.tempo) {
        putTime(out, e.time);
        putF32(out, e.multiplier);
    }
    for (std::size_t v = 0; v < song.voices.size(); ++v)
        putVoice(out, song.voices[v], static_cast<int>(v));
    return out;
}

} // namespace velk::rol
