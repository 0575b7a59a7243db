// A multistate study in the named format: the states line, the per-state settings ("p B 0.2",
// "move A B 0.1", or "p 0.3" for every state), and the checks of a data set's states. The reader
// (named_reader.cpp) calls these when the file names states.
#pragma once

#include <optional>
#include <vector>

#include "engine/state.h"
#include "run/failure.h"
#include "run/named_reader.h"
#include "run/named_settings.h"

namespace plovanet::named {

// Where a data set gives each state's settings; 0: not in this data set.
struct StateLines {
  long at[kSlots][kMaxStates] = {};          // a line naming the state
  long allAt[kSlots] = {};                   // a line for every state
  long moveAt[kMaxStates][kMaxStates] = {};  // [from][to]
  long lastMove[kMaxStates] = {};            // the last move line out of each state
};

// The states line: nf.states and nf.statesAt.
std::optional<Fault> readStates(NamedFile& nf, const Line& ln);

// A per-state setting's line of data set number set (from 1) into nf.st.
std::optional<Fault> readStateLine(NamedFile& nf, const Line& ln, const Setting& s, int set,
                                   StateLines& lines, std::vector<double>& vals);

// A data set read: c where it is still p, and nf.uncertain. Then its faults: in the first data
// set a state without survival or p, no entrants in any state, moves out of a state adding up to
// more than 1. start: the line where the data set begins.
std::optional<Fault> finishStates(NamedFile& nf, int set, const StateLines& lines, long start);

// The data set the run is given: the states' rates, n the entrants of all states, the rest blank.
DataSet statesDataSet(const NamedFile& nf);

}  // namespace plovanet::named
