// The parameter file: the number of occasions, then data sets of white-space-separated numbers.
// Values are read the way scanf's "%d" and "%lf" read decimal numbers, in bounded memory
// whatever the length of a token, and a value that cannot be read leaves the character that
// stopped it unread, so every later read fails as well.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "engine/state.h"
#include "run/control.h"

namespace plovanet {

struct ParamReader {
  std::FILE* infp = nullptr;
  char buf[4096];
  std::size_t pos = 0, len = 0;
  bool error = false;  // a read failed for another reason than the end of the file
  // Where reading first failed: the character that stopped it (EOF at the end of the file) and
  // its line. Every later read fails there too, except after a sign or point, which the failed
  // read takes (as scanf does).
  bool failed = false;
  int stopChar = EOF;
  long stopLine = 0;
  int tokenChar = EOF;      // first character of the value being read (a stray '-' or '.')
  std::string decimal;      // a decimal comma stopped reading: its value with a point (0,8: 0.8)
  long line = 1;            // line of the next character
  std::uint64_t reads = 0;  // values read so far
  // Values read on each line since the data set began, in order (lines without values skipped).
  struct LineRun {
    long line;
    int values;
  };
  std::vector<LineRun> runs;
};

// The vectors of a data set in reading order, named as echoed.
inline constexpr int kMaxVectors = 7;
inline constexpr const char* kVectorNames[kMaxVectors] = {"n", "srv", "theta", "p", "c", "f", "se(f)"};
// Values each vector takes; returns how many vectors a data set has.
int vectorCounts(int nper, Recruit recruit, int (&counts)[kMaxVectors]);

// A data set laid out one vector per line but for one line: that line, its vector, the values it
// holds and the line that follows it (0 when none was reached). A line holds every value on it,
// also those read as the next data set's. Empty for any other layout, or when reading failed.
struct Miscount {
  long line;
  int vector;
  int holds;
  long nextLine;
};
std::optional<Miscount> findMiscount(ParamReader& in, int nper, Recruit recruit);

// Next value as "%d" would read it; empty on a failed read, or when it does not fit in an int.
std::optional<int> readInt(ParamReader& in);
// Next value as "%lf" would read a decimal real; empty on a failed read.
std::optional<double> readReal(ParamReader& in);

// Reads the next data set of nper occasions, as read: a value that fails to read keeps what the
// data set before held (previous). Empty when the file holds no further data set (or in.error is
// set).
std::optional<DataSet> readDataSet(ParamReader& in, const DataSet& previous, int nper, Recruit recruit);

// Skips white space and returns the next character, left unread (EOF at the end of the file).
int peekToken(ParamReader& in);

// What an editor may put before the text: a UTF-8 byte-order mark, which is skipped, or that of
// UTF-16 text, which is left. in has read white space only.
enum class TextMark { none, utf8, utf16 };
TextMark skipMark(ParamReader& in);

}  // namespace plovanet
