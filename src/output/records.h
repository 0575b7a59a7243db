// The output file's header lines for the JOLLY, CAPTURE and MARK layouts and its history
// records: a record block per data set of a one-group run, or one table over all groups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model.h"
#include "engine/state.h"
#include "output/writer.h"

namespace plovanet {

struct Layouts {
  bool jollyflg = false, captflg = false, markflg = false;
};

// Only frequencies strictly above this are written to the output file, unless MINFREQ= lowers it.
inline constexpr double kThreshold = 5e-05;

// What the output file's header and trailer lines depend on.
struct FileForm {
  Layouts lay;
  int nper = 0;    // history digits
  int dim = 0;     // 2^nper
  int groups = 1;  // MARK groups (at least 1): one glabel line each, Phi and p parameters each
  MarkForm mark;   // how MARK's header describes the design, and whether estimates follow
};

// The header lines. A robust or multistate MARK header counts its record lines, which are known
// only at the end: it holds a field of kCountField blanks for fillLineCount, whose place in w's
// stream is returned (asked of the stream, so that a text-mode stream's line ends count); -1
// when there is none or the stream cannot tell.
long writeHeaders(Writer& w, const FileForm& f);
inline constexpr int kCountField = 21;
// Writes "N;" padded with blanks to kCountField bytes at offset at of fp, then returns to the
// end of the file; false when fp cannot seek or write there.
bool fillLineCount(std::FILE* fp, long at, std::uint64_t lines);
// Where records go: the output file (histories above outfreq) and, when asked for, the CSV
// file (histories above minfreq; one row per group and history: the lead columns, group, ch,
// freq). The captures the records written hold are counted, so a run can tell what the output
// file leaves out.
struct Sink {
  Writer* out = nullptr;
  bool captflg = false;  // CAPTURE identifiers and replicate lines in one-group records
  Writer* csv = nullptr;
  std::string lead;  // CSV columns before the group number, each followed by its comma
  int nper = 0;      // digits of a history
  int groups = 1;    // frequency columns of the group table
  double minfreq = kThreshold;
  double outfreq = kThreshold;              // the output file holds the histories above this
  int decimals = 4;                         // of its frequencies: frequencyDecimals(outfreq)
  double outCaptures = 0, csvCaptures = 0;  // sum of frequency times captures of the records written
  std::uint64_t outLines = 0;               // record lines written to the output file
};

// Decimals of the output file's frequencies: the layouts' four, or below a lowered threshold
// enough for two digits of it, so that what the file holds reaches the analysis (at most 15).
inline int frequencyDecimals(double outfreq) {
  if (outfreq >= kThreshold) return 4;
  int d = 5;
  for (double v = kThreshold; v > outfreq && d < 15; v /= 10) ++d;
  return d;
}

// Occasions at which history h was caught. Inline bit counting: std::popcount is a library call
// on the baseline x86-64 target, and this runs once per record.
inline int timesCaught(std::uint32_t h) {
  h = h - ((h >> 1) & 0x55555555U);
  h = (h & 0x33333333U) + ((h >> 2) & 0x33333333U);
  return static_cast<int>((((h + (h >> 4)) & 0x0F0F0F0FU) * 0x01010101U) >> 24);
}

// Histories with a frequency above this go to the output file or, with csv, the CSV file: the
// threshold a walk over the histories must reach.
inline double sinkThreshold(const Sink& s) {
  return s.csv != nullptr && s.minfreq < s.outfreq ? s.minfreq : s.outfreq;
}

// One record of a one-group run, x above sinkThreshold. digits.data() must have kDigitsRoom
// readable bytes (the buffers of the engines' walks and of the table writers have). False when
// CAPTURE would need 2^31 - 1 or more replicate lines (nothing is written then).
bool putRecord(Sink& s, int h, std::string_view digits, double x);

// Digits of the history number in a CAPTURE identifier: 4, or what 2^nper - 1 needs.
int captureHistoryDigits(int nper);
// One line of the group table: x holds one frequency per group, their sum above sinkThreshold.
void putGroupLine(Sink& s, std::string_view digits, const double* x, int groups);

// Records of a table row of 2^nper frequencies. Returns 0, or the history whose replicate count
// CAPTURE cannot write (the block then stops there).
int writeRecordBlock(Sink& s, const double* row, int nper);
// One line per history over all groups, a frequency column per group: rows[g] holds group g's
// 2^nper frequencies, or is null for a group with none.
void writeGroupTable(Sink& s, const std::vector<const double*>& rows);

// The history's digits, most significant bit (occasion 1) first.
std::string historyDigits(std::uint32_t h, int nper);

}  // namespace plovanet
