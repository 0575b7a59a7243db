// Plain record lines (history digits, the frequency, ";") formatted on two worker threads and
// written in order, for the large record blocks of expected-value runs. Formatting a line costs
// more than the kernel's copy of it into the file, so one core alone cannot keep up with the
// disk; here the records arrive in ascending order as (history, frequency), workers turn chunks
// of them into text, and the finished chunks are handed to the writer in the order they came.
#pragma once

#include <cstddef>
#include <memory>

#include "output/writer.h"

namespace plovanet {

struct LineWorkers;

struct LineRecord {
  int h;
  double x;
};
inline constexpr std::size_t kLineChunk = std::size_t{1} << 15;  // records a worker takes at a time

struct RecordLines {
  std::unique_ptr<LineWorkers> workers;  // null: no workers
  LineRecord* next = nullptr;            // the chunk being filled, from the walk's thread
  LineRecord* end = nullptr;
  double captures = 0;       // after finishLines: sum of frequency times captures of the records written
  bool outOfMemory = false;  // after finishLines: a worker could not allocate
  RecordLines();
  RecordLines(RecordLines&&) noexcept;
  RecordLines& operator=(RecordLines&&) noexcept;
  ~RecordLines();  // stops the workers, dropping what is not written
};

// Starts the workers for records of nper digits written through out (whose buffer is flushed
// first). Null when threads cannot be had: the caller then writes the records itself.
RecordLines startLines(Writer& out, int nper);
// Hands the filled chunk on and starts the next; false once a write has failed.
bool nextLineChunk(RecordLines& lines);
// One record, frequency above the threshold; false once a write has failed.
inline bool addLine(RecordLines& lines, int h, double x) {
  if (lines.next == lines.end && !nextLineChunk(lines)) return false;
  *lines.next++ = {h, x};
  return true;
}
// Writes what is left, stops the workers; false when a write failed (out has then failed).
// A worker that runs out of memory stops the lines the same way and sets outOfMemory.
bool finishLines(RecordLines& lines);

// The bytes of one record line, as the record writers write it: digits (kDigitsRoom bytes are
// read, nper kept), a blank, "%12.4f" of x, ";\n". Returns the end; room for kDigitsRoom +
// kMaxFixed + 16 bytes is needed.
char* formatLine(char* out, const char* digits, int nper, double x);

}  // namespace plovanet
