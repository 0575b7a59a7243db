#include "run/named_states.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace plovanet::named {

std::optional<Fault> readStates(NamedFile& nf, const Line& ln) {
  const std::size_t count = ln.words.size() - 1;
  if (count == 0 || count > kMaxStates) {
    return Fault::namedCount(nf.file, ln.number, "states", count,
                             "1 to " + std::to_string(kMaxStates) + " (one capital letter per state)");
  }
  for (std::size_t i = 1; i < ln.words.size(); ++i) {
    const std::string_view w = ln.words[i];
    // U stays free for a caught animal whose state is not recorded.
    if (w.size() != 1 || w[0] < 'A' || w[0] > 'Z' || w[0] == 'U')
      return Fault::namedStateLetter(nf.file, ln.number, shown(w), false);
    if (nf.states.find(w[0]) != std::string::npos)
      return Fault::namedStateLetter(nf.file, ln.number, shown(w), true);
    nf.states += w[0];
  }
  nf.statesAt = ln.number;
  return std::nullopt;
}

namespace {

// A state's vector that a per-state setting sets (to: the state a move enters).
std::vector<double>& stateVector(StateRates& r, int slot, std::size_t to) {
  switch (slot) {
    case kEntrants:
      return r.n;
    case kSurvival:
      return r.sa;
    case kRetention:
      return r.th;
    case kP:
      return r.pa;
    case kC:
      return r.p2;
    case kObserve:
      return r.obs;
    default:
      return r.move[to];
  }
}

// The words of a line before word `end`, as a message names the setting ("survival B").
std::string nameOf(const Line& ln, std::size_t end) {
  std::string name(ln.words[0]);
  for (std::size_t i = 1; i < end; ++i) name.append(" ").append(ln.words[i]);
  return name;
}

// The values of a setting become state t's (to: the state a move goes to).
void give(NamedFile& nf, std::size_t t, int slot, std::size_t to, const std::vector<double>& vals) {
  std::vector<double>& v = stateVector(nf.st[t], slot, to);
  std::copy(vals.begin(), vals.end(), v.begin());
  if (slot < kVectors) nf.stateGiven[t][static_cast<std::size_t>(slot)] = true;
}

bool isLetter(std::string_view w) {
  return w.size() == 1 && ((w[0] >= 'A' && w[0] <= 'Z') || (w[0] >= 'a' && w[0] <= 'z'));
}

}  // namespace

std::optional<Fault> readStateLine(NamedFile& nf, const Line& ln, const Setting& s, int set,
                                   StateLines& lines, std::vector<double>& vals) {
  // A letter, lower case too, names a state; a move names two.
  const std::size_t letters = s.slot == kMove ? 2 : ln.words.size() > 1 && isLetter(ln.words[1]) ? 1 : 0;
  std::size_t state[2] = {};
  for (std::size_t i = 0; i < letters; ++i) {
    const std::string_view w = i + 1 < ln.words.size() ? ln.words[i + 1] : std::string_view();
    state[i] = w.size() == 1 ? nf.states.find(w[0]) : std::string::npos;
    if (state[i] == std::string::npos)
      return Fault::namedNotState(nf.file, ln.number, nameOf(ln, i + 1), shown(w), nf.states);
  }
  if (s.slot == kMove && state[0] == state[1])
    return Fault::namedMoveSelf(nf.file, ln.number, nf.states[state[0]]);
  // No letter: every state that no line of the data set names; a line naming a state holds
  // wherever it stands, so "survival 0.8" and "survival O 0.7" say what they read as.
  const std::size_t first = letters == 0 ? 0 : state[0];
  const std::size_t end = letters == 0 ? nf.states.size() : state[0] + 1;
  long& seen = s.slot == kMove ? lines.moveAt[state[0]][state[1]]
               : letters == 0  ? lines.allAt[s.slot]
                               : lines.at[s.slot][state[0]];
  if (seen != 0) return Fault::namedTwice(nf.file, ln.number, nameOf(ln, letters + 1), set, seen);
  seen = ln.number;
  if (auto f = values(nf, ln, s, vals, letters + 1)) return f;
  if (s.slot == kMove) lines.lastMove[state[0]] = ln.number;
  std::size_t given = 0;
  for (std::size_t t = first; t < end; ++t) {
    if (letters == 0 && lines.at[s.slot][t] != 0) continue;
    give(nf, t, s.slot, state[1], vals);
    ++given;
  }
  noteSpread(nf, ln, s, letters + 1, given);
  return std::nullopt;
}

namespace {

// The first data set gives every state's survival and p.
std::optional<Fault> missingState(const NamedFile& nf, long start) {
  for (const NamedVector slot : {kSurvival, kP}) {
    if (slot == kSurvival && nf.nper < 2) continue;
    for (std::size_t t = 0; t < nf.states.size(); ++t) {
      if (nf.stateGiven[t][slot]) continue;
      const std::string name = std::string(slot == kP ? "p" : "survival") + " for state " + nf.states[t];
      return Fault::namedMissing(nf.file, start, name, 1, "");
    }
  }
  return std::nullopt;
}

// The moves out of a state share what survives in it, so they take at most all of it. A sum a
// rounding over 1 (0.34 + 0.56 + 0.1 in doubles) is let through.
std::optional<Fault> movesOver(const NamedFile& nf, int set, const StateLines& lines, long start) {
  for (std::size_t from = 0; from < nf.st.size(); ++from) {
    const auto& move = nf.st[from].move;
    for (int k = 0; k + 1 < nf.K; ++k) {
      double sum = 0;
      for (std::size_t to = 0; to < move.size(); ++to)
        sum += to == from ? 0 : move[to][static_cast<std::size_t>(k)];
      if (sum <= 1 + 1e-12) continue;
      const long line = lines.lastMove[from] != 0 ? lines.lastMove[from] : start;
      return Fault::namedMovesOver(nf.file, line, set, nf.states[from], k + 1, sum);
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<Fault> finishStates(NamedFile& nf, int set, const StateLines& lines, long start) {
  bool entrants = false;
  long entrantsAt = 0;  // the last entrants line
  for (std::size_t t = 0; t < nf.st.size(); ++t) {
    StateRates& r = nf.st[t];
    if (!nf.stateGiven[t][kC]) r.p2 = r.pa;
    for (std::size_t k = 0; k < r.obs.size(); ++k) {
      if (r.obs[k] < 1 && (r.pa[k] > 0 || r.p2[k] > 0)) nf.uncertain = true;
    }
    entrants = entrants || std::any_of(r.n.begin(), r.n.end(), [](double x) { return x != 0; });
    entrantsAt = std::max({entrantsAt, lines.at[kEntrants][t], lines.allAt[kEntrants]});
  }
  if (set == 1) {
    if (auto f = missingState(nf, start)) return f;
  }
  if (!entrants) return Fault::namedNoEntrants(nf.file, entrantsAt != 0 ? entrantsAt : start, set);
  return movesOver(nf, set, lines, start);
}

DataSet statesDataSet(const NamedFile& nf) {
  DataSet d = blankDataSet(nf.K);
  d.st = nf.st;
  for (const StateRates& r : d.st) {
    for (std::size_t k = 0; k < d.n.size(); ++k) d.n[k] += r.n[k];
  }
  return d;
}

}  // namespace plovanet::named
