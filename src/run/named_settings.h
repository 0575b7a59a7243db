// The named format's settings: every name with the count and range of its values, and the
// reading of one line of the file into words and checked values. The reader (named_reader.cpp)
// walks the file with these.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/failure.h"
#include "run/named_reader.h"

namespace plovanet::named {

// How many values a setting takes. deaths: the intervals over which deaths count, K − 1, and K in
// a live-dead study, where deaths over the interval after the last occasion are still reported.
enum class Len { none, one, occasions, intervals, secondaries, deaths };
// What its values may be.
enum class Range { none, rate, animals, nonnegative, recruitment, occasions, ordinal, positive, nodes };

// Quadrature nodes per normal or uniform dimension that nodes takes.
inline constexpr int kMinNodes = 2, kMaxNodes = 1000;

// Settings besides the vectors.
inline constexpr int kOccasions = kVectors, kDataset = kVectors + 1, kGroup = kVectors + 2,
                     kClass = kVectors + 3, kSecondaries = kVectors + 4, kStates = kVectors + 5,
                     kObserve = kVectors + 6, kMove = kVectors + 7, kInterval = kVectors + 8,
                     kCovariate = kVectors + 9, kEffect = kVectors + 10, kHeterogeneity = kVectors + 11,
                     kNodes = kVectors + 12, kEncounters = kVectors + 13, kSlots = kVectors + 14;

struct Setting {
  const char* name;
  const char* alias;  // the short name of the model and the echo lines
  int slot;
  Len len;
  Range range;
  bool perState;  // in a multistate study, given for one state by its letter, or for all
};

// Every name of the format; a later setting is one more row with its own count and range.
inline constexpr Setting kSettings[] = {
    {"occasions", nullptr, kOccasions, Len::one, Range::occasions, false},
    {"entrants", "n", kEntrants, Len::occasions, Range::animals, true},
    {"survival", "s", kSurvival, Len::deaths, Range::rate, true},
    {"retention", "theta", kRetention, Len::intervals, Range::rate, true},
    {"p", nullptr, kP, Len::secondaries, Range::rate, true},
    {"c", nullptr, kC, Len::secondaries, Range::rate, true},
    {"f", nullptr, kF, Len::intervals, Range::recruitment, false},
    {"sef", nullptr, kSef, Len::intervals, Range::nonnegative, false},
    {"dataset", nullptr, kDataset, Len::none, Range::none, false},
    {"group", nullptr, kGroup, Len::one, Range::ordinal, false},
    {"class", nullptr, kClass, Len::one, Range::ordinal, false},
    {"secondaries", nullptr, kSecondaries, Len::occasions, Range::ordinal, false},
    {"emigrate", nullptr, kEmigrate, Len::intervals, Range::rate, false},
    {"remain_out", nullptr, kRemainOut, Len::intervals, Range::rate, false},
    {"states", nullptr, kStates, Len::none, Range::none, false},  // letters, read by the reader itself
    {"observe", nullptr, kObserve, Len::secondaries, Range::rate, true},
    {"move", nullptr, kMove, Len::intervals, Range::rate, true},  // from one state to another
    // the time between occasions (primaries), for MARK; read with the lines after occasions
    {"interval", nullptr, kInterval, Len::intervals, Range::positive, false},
    // individual animals, for the whole file: read by named_individuals.cpp, all but nodes
    {"covariate", nullptr, kCovariate, Len::none, Range::none, false},
    {"effect", nullptr, kEffect, Len::none, Range::none, false},
    {"heterogeneity", nullptr, kHeterogeneity, Len::none, Range::none, false},
    {"nodes", nullptr, kNodes, Len::one, Range::nodes, false},
    // a live-dead study: the kind, read with the lines after occasions, then its rates
    {"encounters", nullptr, kEncounters, Len::none, Range::none, false},
    {"report", nullptr, kReport, Len::deaths, Range::rate, false},
    {"fidelity", nullptr, kFidelity, Len::intervals, Range::rate, false},
    {"resight", nullptr, kResight, Len::deaths, Range::rate, false},
    {"resight_dead", nullptr, kResightDead, Len::deaths, Range::rate, false},
    {"return", nullptr, kReturn, Len::intervals, Range::rate, false},
};

struct Line {
  long number = 0;
  std::vector<std::string_view> words;
};

// The next line that holds a word, comments left out; false at the end of the text.
bool nextLine(NamedFile& nf, Line& out);

// A word as a message shows it: a long one cut short, control characters as '?'.
std::string shown(std::string_view w);

// A decimal number as the numeric format writes one (no hex, no inf or nan); empty otherwise.
std::optional<double> number(std::string_view w);

// The setting of a name or short name; null when the format has none.
const Setting* find(std::string_view w);

// A known name close to an unknown one; empty when none is close.
std::string suggest(std::string_view word);

// Entries a setting of this length takes in nf's design.
std::size_t needed(const NamedFile& nf, Len len);

// The values of a setting's line, from word first on (after the name and any state letters, which
// messages show as its name): numbers in its range, as many as it takes, or one that stands for
// every entry of a vector.
std::optional<Fault> values(const NamedFile& nf, const Line& ln, const Setting& s, std::vector<double>& out,
                            std::size_t first = 1);

// An entrants line of one value, which stands for every occasion, warned of once: it may be
// meant for the first occasion only. first: the word of the value; states: how many states it
// is given to (1 outside a multistate study).
void noteSpread(NamedFile& nf, const Line& ln, const Setting& s, std::size_t first, std::size_t states);

}  // namespace plovanet::named
