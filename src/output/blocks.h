// The record blocks of a run: the output strategies that write a group's records, kept in the
// form its model's engine gives them (a Column, engine/model.h): one block per data set of a
// one-group run (straight from the walk, through the line workers, or from a table row), or one
// table over all groups. The caller turns what they report into its own faults.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/model.h"
#include "output/records.h"
#include "output/rows.h"
#include "output/writer.h"

namespace plovanet {

// Where and how a block is written.
struct BlockTarget {
  Writer* out = nullptr;
  Writer* csv = nullptr;  // CSV= file, when asked for
  std::string lead;       // CSV columns before the group number, each followed by its comma
  bool captflg = false;   // CAPTURE layout
  double minfreq = kThreshold;
  int nper = 0;
  double outfreq = kThreshold;  // the output file's threshold
  // INDIVIDUAL: one line per career of a caught animal, a stochastic tally's histories once per
  // animal.
  bool individual = false;
  RowForm rows;
};

// Why a block stopped short of its records.
enum class BlockStop {
  None,
  CaptureTooLarge,   // CAPTURE cannot write history refused's replicate lines
  LinesOutOfMemory,  // a line worker could not allocate
  RowTooLarge,       // a table row would exceed the memory the process may use
  RowOutOfMemory,    // a table row could not be allocated
};

struct BlockResult {
  BlockStop stop = BlockStop::None;
  int refused = 0;                          // with CaptureTooLarge: the history
  double outCaptures = 0, csvCaptures = 0;  // sum of frequency times captures of the records written
  std::uint64_t outLines = 0;               // record lines written to the output file
};

// The record block of a one-group run, from whichever form the column holds; the column is
// emptied for the next block. Stops at a refused CAPTURE history or a failed write.
BlockResult writeBlock(const BlockTarget& t, Column& col);

// The group table over groups columns, from whichever forms cols (the groups met, fewer or as
// many) hold; groups never met show 0. When one column needs a table row every column is given
// one, within limit bytes each.
BlockResult writeTable(const BlockTarget& t, std::vector<Column>& cols, int groups, std::size_t limit);

}  // namespace plovanet
