#include "output/rows.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

namespace plovanet {

namespace {

// A value as every file writes it: a category's as a whole number, the others with six decimals.
void putValue(Writer& w, const RowForm& f, std::size_t i, double v, const char* sep) {
  put(w, sep);
  const auto& covs = f.indiv->covariates;
  if (i < covs.size() && covs[i].law == Law::categories) {
    putPadded(w, std::llround(v), 1, ' ');
    return;
  }
  // to_chars rounds as printf's "%.6f" does, with the same bytes from every C library.
  char text[kMaxFixed + 16];
  const char* end = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 6).ptr;
  put(w, std::string_view(text, static_cast<std::size_t>(end - text)));
}

// One career's line in the output file and its row in the CSV= file; group from 0.
void putRow(Sink& s, const RowForm& f, std::string_view digits, int group, std::span<const double> values) {
  Writer& w = *s.out;
  put(w, digits);
  for (int g = 0; g < s.groups; ++g) {
    if (f.mark) {
      put(w, g == group ? " 1" : " 0");
    } else {
      put(w, " ");
      putFrequency(w, g == group ? 1.0 : 0.0, s.decimals);
    }
  }
  for (std::size_t i = 0; i < values.size(); ++i) putValue(w, f, i, values[i], " ");
  put(w, ";\n");
  // Every character but '0' is a capture: '1', or a state's letter or 'U'.
  const auto caught =
      static_cast<double>(digits.size()) - static_cast<double>(std::count(digits.begin(), digits.end(), '0'));
  s.outCaptures += caught;
  ++s.outLines;
  if (s.csv == nullptr) return;
  Writer& c = *s.csv;
  put(c, s.lead);
  putPadded(c, group + 1, 1, ' ');
  put(c, ",");
  put(c, digits);
  put(c, ",1");
  for (std::size_t i = 0; i < values.size(); ++i) putValue(c, f, i, values[i], ",");
  put(c, "\n");
  s.csvCaptures += caught;
}

bool failed(const Sink& s) {
  return writeFailed(*s.out) || (s.csv != nullptr && writeFailed(*s.csv));
}

// A tally's histories, each once per animal: cols[g] animals of group g.
auto animalsTo(Sink& s, const RowForm& f) {
  return [&s, &f](int, const char* digits, const double* cols) {
    const std::string_view d(digits, static_cast<std::size_t>(s.nper));
    for (int g = 0; g < s.groups; ++g) {
      for (double n = cols[g]; n > 0.5 && !failed(s); n -= 1) putRow(s, f, d, g, {});
    }
    return !failed(s);
  };
}

// A career's history key spelt: an ordinary history's bits as 0 and 1, occasion 1 first, or a
// multistate key in its design's characters.
struct Speller {
  Speller(const RowForm& f, int nper) : K(nper), encounters(f.encounters) {
    if (!f.states.empty()) sym.emplace(f.states);
  }
  std::string_view operator()(HistoryKey key) {
    if (encounters) {
      spellEncounters(key, K, digits);
      return {digits, 2 * static_cast<std::size_t>(K)};
    }
    if (sym) {
      spellKey(key, K, *sym, digits);
    } else {
      for (int k = 0; k < K; ++k) digits[k] = ((key >> (K - 1 - k)) & 1U) != 0 ? '1' : '0';
    }
    return {digits, static_cast<std::size_t>(K)};
  }
  int K;
  bool encounters;
  std::optional<Symbols> sym;
  char digits[kDigitsRoom] = {};
};

// Every group's careers in history order: an index over all of them (group by group, each in the
// order drawn) sorted stably by key, so that sorting costs a word per career beside the records.
void writeCareers(Sink& s, const RowForm& f, const std::vector<IndividualRecords*>& groups) {
  std::vector<std::size_t> first;  // [g]: the index of group g's first career
  std::size_t total = 0;
  for (const IndividualRecords* rec : groups) {
    first.push_back(total);
    total += rec->keys.size();
  }
  const auto place = [&first](std::size_t i) {
    const auto g =
        static_cast<std::size_t>(std::upper_bound(first.begin(), first.end(), i) - first.begin()) - 1;
    return std::pair{g, i - first[g]};
  };
  const auto key = [&](std::size_t i) {
    const auto [g, at] = place(i);
    return groups[g]->keys[at];
  };
  std::vector<std::size_t> order(total);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&key](std::size_t a, std::size_t b) { return key(a) < key(b); });
  Speller spell(f, s.nper);
  for (const std::size_t i : order) {
    const auto [g, at] = place(i);
    const IndividualRecords& rec = *groups[g];
    const std::span<const double> values(rec.values.data() + at * rec.width, rec.width);
    putRow(s, f, spell(rec.keys[at]), static_cast<int>(g), values);
    if (failed(s)) break;  // the caller reports it
  }
  for (IndividualRecords* rec : groups) {
    rec->keys.clear();
    rec->values.clear();
  }
}

}  // namespace

void writeRows(Sink& s, const RowForm& f, IndividualRecords& rec) {
  writeCareers(s, f, {&rec});
}

void writeRows(Sink& s, const RowForm& f, Tally& tally) {
  walkTallies({&tally}, s.nper, sinkThreshold(s), animalsTo(s, f));
  tallyClear(tally);
}

void writeRows(Sink& s, const RowForm& f, MultistateTally& tally) {
  walkStateTallies({&tally.tally}, s.nper, tally.sym, sinkThreshold(s), animalsTo(s, f));
  tallyClear(tally.tally);
}

// A live-dead history spells two characters per occasion.
void writeRows(Sink& s, const RowForm& f, LiveDeadRecords& rec) {
  const int K = s.nper;
  s.nper = 2 * K;
  walkEncounterTallies({&rec.tally}, K, sinkThreshold(s), animalsTo(s, f));
  s.nper = K;
  tallyClear(rec.tally);
}

void writeRowTable(Sink& s, const RowForm& f, std::vector<Column>& cols) {
  if (cols.empty()) return;
  const auto groups = static_cast<std::size_t>(s.groups);
  if (std::holds_alternative<IndividualRecords>(cols[0])) {
    std::vector<IndividualRecords*> recs(cols.size());
    for (std::size_t g = 0; g < cols.size(); ++g) recs[g] = &std::get<IndividualRecords>(cols[g]);
    writeCareers(s, f, recs);
  } else if (std::holds_alternative<Tally>(cols[0])) {
    Tally none;  // groups never met
    std::vector<Tally*> tallies(groups, &none);
    for (std::size_t g = 0; g < cols.size(); ++g) tallies[g] = &std::get<Tally>(cols[g]);
    walkTallies(tallies, s.nper, sinkThreshold(s), animalsTo(s, f));
  } else if (std::holds_alternative<MultistateTally>(cols[0])) {
    StateTally none;
    std::vector<StateTally*> tallies(groups, &none);
    for (std::size_t g = 0; g < cols.size(); ++g) tallies[g] = &std::get<MultistateTally>(cols[g]).tally;
    walkStateTallies(tallies, s.nper, std::get<MultistateTally>(cols[0]).sym, sinkThreshold(s),
                     animalsTo(s, f));
  } else if (std::holds_alternative<LiveDeadRecords>(cols[0])) {
    StateTally none;
    std::vector<StateTally*> tallies(groups, &none);
    for (std::size_t g = 0; g < cols.size(); ++g) tallies[g] = &std::get<LiveDeadRecords>(cols[g]).tally;
    const int K = s.nper;
    s.nper = 2 * K;
    walkEncounterTallies(tallies, K, sinkThreshold(s), animalsTo(s, f));
    s.nper = K;
  }
}

}  // namespace plovanet
