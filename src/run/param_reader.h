// The parameter file: the number of occasions, then data sets of white-space-separated numbers.
// Values are read the way scanf's "%d" and "%lf" read decimal numbers, in bounded memory
// whatever the length of a token, and a value that cannot be read leaves the character that
// stopped it unread, so every later read fails as well.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "engine/state.h"
#include "run/control.h"

namespace plovanet {

struct ParamReader {
  std::FILE* infp = nullptr;
  char buf[4096];
  std::size_t pos = 0, len = 0;
  bool error = false;  // a read failed for another reason than the end of the file
  // Where reading first failed (every later read fails there too): the character that stopped
  // it (EOF at the end of the file) and its line.
  bool failed = false;
  int stopChar = EOF;
  long stopLine = 0;
  long line = 1;            // line of the next character
  std::uint64_t reads = 0;  // values read so far
};

// Next value as "%d" would read it; empty on a failed read, or when it does not fit in an int.
std::optional<int> readInt(ParamReader& in);
// Next value as "%lf" would read a decimal real; empty on a failed read.
std::optional<double> readReal(ParamReader& in);

// Prints label, then " %f" of each value, then a line end.
void echoLine(std::FILE* con, const char* label, const double* v, int count);

// Reads the next data set into the Run state and n, f, sef, printing its echo lines on con.
// False when the file holds no further data set (or in.error is set).
bool readDataSet(ParamReader& in, RunState& rs, Control& ctl, std::FILE* con);

// Skips white space and returns the next character, left unread (EOF at the end of the file).
int peekToken(ParamReader& in);

}  // namespace plovanet
