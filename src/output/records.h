// The output file's header lines for the JOLLY, CAPTURE and MARK layouts and its history
// records: a record block per data set of a one-group run, or one table over all groups.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/state.h"
#include "output/writer.h"

namespace plovanet {

struct Layouts {
  int jollyflg = 0, captflg = 0, markflg = 0;
};

// Only frequencies strictly above this are written.
inline constexpr double kThreshold = 5e-05;

// groups (at least 1) is the number of MARK groups: one glabel line each.
void writeHeaders(Writer& w, const Layouts& lay, int nper, int dim, int groups);
// Where records go: the output file and, when asked for, the CSV file (one row per group and
// history: the lead columns, group, ch, freq).
struct Sink {
  Writer* out = nullptr;
  int captflg = 0;  // CAPTURE identifiers and replicate lines in one-group records
  Writer* csv = nullptr;
  std::string lead;  // CSV columns before the group number, each followed by its comma
  int nper = 0;      // digits of a history
  int groups = 1;    // frequency columns of the group table
};

// One record of a one-group run, x above the threshold. digits.data() must have kDigitsRoom
// readable bytes (the buffers of the engines' walks and of the table writers have). False when CAPTURE would need 2^31 - 1
// or more replicate lines (nothing is written then).
bool putRecord(Sink& s, int h, std::string_view digits, double x);

// Digits of the history number in a CAPTURE identifier: 4, or what 2^nper - 1 needs.
int captureHistoryDigits(int nper);
// One line of the group table: x holds one frequency per group.
void putGroupLine(Sink& s, std::string_view digits, const double* x, int groups);

// Records of a table row of 2^nper frequencies. Returns 0, or the history whose replicate count
// CAPTURE cannot write (the block then stops there).
int writeRecordBlock(Sink& s, const double* row, int nper);
// One line per history over all groups, a frequency column per group: rows[g] holds group g's
// 2^nper frequencies, or is null for a group with none.
void writeGroupTable(Sink& s, const std::vector<const double*>& rows);

// The history's digits, most significant bit (occasion 1) first.
std::string historyDigits(int h, int nper);

}  // namespace plovanet
