#include "tools/bankmaker/bank_text.h"

#include <cstdlib>
#include <sstream>

#include "rol/instrument_bank.h"

namespace velk::bank {
namespace {

struct FieldSpec {
    const char *key;
    int index;  // into the operator record; -1 for the waveform
    unsigned max;
};

constexpr FieldSpec operatorFields[] = {
    {"ksl", keyScaleLevel, 3},        {"multiplier", frequencyMultiplier, 15},
    {"feedback", feedback, 7},        {"attack", attackRate, 15},
    {"sustain", sustainLevel, 15},    {"sustaining", sustainingSound, 1},
    {"decay", decayRate, 15},         {"release", releaseRate, 15},
    {"level", outputLevel, 63},       {"tremolo", amplitudeVibrato, 1},
    {"vibrato", frequencyVibrato, 1}, {"ksr", envelopeScaling, 1},
    {"fm", frequencyModulation, 1},   {"wave", -1, 3},
};

// Splits "key=value" with a decimal value no larger than `max`.
bool parseSetting(const std::string &word, std::string &key, unsigned max, unsigned &value, std::string &error)
{
    const std::size_t eq = word.find('=');
    key = word.substr(0, eq);
    if (eq == std::string::npos || eq + 1 == word.size()) {
        error = "expected key=value, got \"" + word + "\"";
        return false;
    }
    const std::string digits = word.substr(eq + 1);
    char *end = nullptr;
    const unsigned long v = std::strtoul(digits.c_str(), &end, 10);
    if (*end != '\0' || digits[0] == '-' || v > max) {
        error = "value of " + key + " must be 0 to " + std::to_string(max) + ", got " + digits;
        return false;
    }
    value = static_cast<unsigned>(v);
    return true;
}

bool parseOperator(std::istringstream &words, OperatorRecord &record, std::uint8_t &wave, std::string &error)
{
    std::string word;
    while (words >> word) {
        std::string key = word.substr(0, word.find('='));
        const FieldSpec *spec = nullptr;
        for (const FieldSpec &f : operatorFields)
            if (key == f.key)
                spec = &f;
        if (!spec) {
            error = "unknown operator field \"" + key + "\"";
            return false;
        }
        unsigned value = 0;
        if (!parseSetting(word, key, spec->max, value, error))
            return false;
        if (spec->index < 0)
            wave = static_cast<std::uint8_t>(value);
        else
            record[spec->index] = static_cast<std::uint8_t>(value);
    }
    return true;
}

bool parseInstrumentLine(std::istringstream &words, BankInstrument &instrument, std::string &error)
{
    if (!(words >> instrument.name)) {
        error = "instrument without a name";
        return false;
    }
    if (instrument.name.size() > nameSize - 1) {
        error = "instrument name \"" + instrument.name + "\" is longer than 8 characters";
        return false;
    }
    std::string word;
    while (words >> word) {
        std::string key;
        unsigned value = 0;
        if (!parseSetting(word, key, 255, value, error))
            return false;
        if (key == "mode")
            instrument.mode = static_cast<std::uint8_t>(value);
        else if (key == "voice")
            instrument.voiceNumber = static_cast<std::uint8_t>(value);
        else {
            error = "unknown instrument field \"" + key + "\"";
            return false;
        }
    }
    return true;
}

} // namespace

ParsedBank parseBankText(const std::string &text)
{
    ParsedBank bank;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    std::string error;
    while (std::getline(lines, line)) {
        ++number;
        if (const std::size_t hash = line.find('#'); hash != std::string::npos)
            line.resize(hash);
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword))
            continue;

        bool ok = true;
        if (keyword == "instrument") {
            BankInstrument instrument;
            ok = parseInstrumentLine(words, instrument, error);
            for (const BankInstrument &known : bank.instruments)
                if (ok && namesEqual(known.name, instrument.name)) {
                    error = "instrument \"" + instrument.name + "\" is defined twice";
                    ok = false;
                }
            if (ok)
                bank.instruments.push_back(instrument);
        } else if (keyword == "modulator" || keyword == "carrier") {
            if (bank.instruments.empty()) {
                error = keyword + " before any instrument";
                ok = false;
            } else {
                BankInstrument &current = bank.instruments.back();
                ok = keyword == "modulator" ? parseOperator(words, current.modulator, current.modulatorWave, error)
                                            : parseOperator(words, current.carrier, current.carrierWave, error);
            }
        } else {
            error = "unknown keyword \"" + keyword + "\"";
            ok = false;
        }
        if (!ok) {
            bank.instruments.clear();
            bank.error = "line " + std::to_string(number) + ": " + error;
            return bank;
        }
    }
    return bank;
}

} // namespace velk::bank
