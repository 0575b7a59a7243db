#include "output/blocks.h"

#include <algorithm>
#include <string_view>

#include "output/lines.h"

namespace plovanet {

namespace {

// Record blocks that may hold this many histories (2^nper) are worth the line workers.
constexpr int kLinesFrom = 16;

Sink sinkFor(const BlockTarget& t) {
  Sink s{t.out, t.captflg, t.csv, t.lead};
  s.minfreq = t.minfreq;
  s.nper = t.nper;
  return s;
}

bool writesFailed(const Sink& s) {
  return writeFailed(*s.out) || (s.csv != nullptr && writeFailed(*s.csv));
}

// A walk's records of a one-group block written through the sink; refused is set to the history
// CAPTURE could not write, which stops the walk.
auto recordsTo(Sink& sink, int& refused) {
  return [&sink, &refused](int h, const char* digits, const double* cols) {
    if (putRecord(sink, h, std::string_view(digits, static_cast<std::size_t>(sink.nper)), cols[0]))
      return !writesFailed(sink);
    refused = h;
    return false;
  };
}

// A walk's records as lines of the group table.
auto groupLinesTo(Sink& sink) {
  return [&sink](int, const char* digits, const double* cols) {
    putGroupLine(sink, std::string_view(digits, static_cast<std::size_t>(sink.nper)), cols, sink.groups);
    return !writesFailed(sink);
  };
}

// A group's closed-form data sets, as one column of the history walk.
std::vector<const Cohorts*> sourcesOf(const Column& col) {
  std::vector<const Cohorts*> v;
  v.reserve(col.sources.size());
  for (const Cohorts& c : col.sources) v.push_back(&c);
  return v;
}

// Adds a column's closed-form sources into its table row, so it can be written with the rows.
void materialise(Column& col) {
  if (col.sources.empty()) return;
  double* row = col.row.get();
  walkHistories({sourcesOf(col)}, 0.0, [row](int h, const char*, const double* cols) {
    row[h] += cols[0];
    return true;
  });
  col.sources.clear();
}

// A group's robust-design data sets, as one column of the history walk.
std::vector<const RobustCohorts*> robustOf(const Column& col) {
  std::vector<const RobustCohorts*> v;
  v.reserve(col.robust.size());
  for (const RobustCohorts& c : col.robust) v.push_back(&c);
  return v;
}

void clearColumn(Column& col, int nper) {
  col.sources.clear();
  col.robust.clear();
  tallyClear(col.tally);
  if (col.row) std::fill_n(col.row.get(), std::size_t{1} << nper, 0.0);
}

BlockResult captured(const Sink& sink) {
  BlockResult r;
  r.outCaptures = sink.outCaptures;
  r.csvCaptures = sink.csvCaptures;
  return r;
}

}  // namespace

BlockStop ensureRow(Column& col, int nper, std::size_t limit) {
  if (col.row) return BlockStop::None;
  const std::size_t dim = std::size_t{1} << nper;
  if (dim * sizeof(double) > limit) return BlockStop::RowTooLarge;
  col.row = allocArray(dim);
  return col.row ? BlockStop::None : BlockStop::RowOutOfMemory;
}

BlockResult writeBlock(const BlockTarget& t, Column& col) {
  Sink sink = sinkFor(t);
  int refused = 0;
  if (t.stochastic) {
    walkTallies({&col.tally}, t.nper, sinkThreshold(sink), recordsTo(sink, refused));
  } else if (t.robust) {
    walkRobust({robustOf(col)}, sinkThreshold(sink), recordsTo(sink, refused));
  } else if (col.row) {
    materialise(col);
    refused = writeRecordBlock(sink, col.row.get(), t.nper);
  } else {
    const std::vector<std::vector<const Cohorts*>> one{sourcesOf(col)};
    // Large plain blocks are formatted on two more threads; CAPTURE lines and CSV rows are not.
    RecordLines lines;
    if (t.nper >= kLinesFrom && !sink.captflg && sink.csv == nullptr) lines = startLines(*t.out, t.nper);
    if (lines.workers) {
      walkHistories(one, kThreshold,
                    [&lines](int h, const char*, const double* cols) { return addLine(lines, h, cols[0]); });
      finishLines(lines);
      sink.outCaptures = lines.captures;
      if (lines.outOfMemory) {
        clearColumn(col, t.nper);
        return {BlockStop::LinesOutOfMemory, 0, 0, 0};
      }
    } else {
      walkHistories(one, sinkThreshold(sink), recordsTo(sink, refused));
    }
  }
  clearColumn(col, t.nper);
  BlockResult r = captured(sink);
  if (refused != 0) {
    r.stop = BlockStop::CaptureTooLarge;
    r.refused = refused;
  }
  return r;
}

BlockResult writeTable(const BlockTarget& t, std::vector<Column>& cols, int groups, std::size_t limit) {
  Sink sink = sinkFor(t);
  sink.groups = groups;
  const auto ngroups = static_cast<std::size_t>(groups);
  if (t.stochastic) {
    Tally none;  // groups never met
    std::vector<Tally*> tallies(ngroups, &none);
    for (std::size_t g = 0; g < cols.size(); ++g) tallies[g] = &cols[g].tally;
    walkTallies(tallies, t.nper, sinkThreshold(sink), groupLinesTo(sink));
  } else if (t.robust) {
    std::vector<std::vector<const RobustCohorts*>> columns(ngroups);
    for (std::size_t g = 0; g < cols.size(); ++g) columns[g] = robustOf(cols[g]);
    walkRobust(columns, sinkThreshold(sink), groupLinesTo(sink));
  } else if (std::any_of(cols.begin(), cols.end(), [](const Column& c) { return c.row != nullptr; })) {
    // Some group needs a table row: every group is written from one.
    std::vector<const double*> rows(ngroups, nullptr);
    for (std::size_t g = 0; g < cols.size(); ++g) {
      if (const BlockStop s = ensureRow(cols[g], t.nper, limit); s != BlockStop::None) return {s, 0, 0, 0};
      materialise(cols[g]);
      rows[g] = cols[g].row.get();
    }
    writeGroupTable(sink, rows);
  } else {
    std::vector<std::vector<const Cohorts*>> columns(ngroups);
    for (std::size_t g = 0; g < cols.size(); ++g) columns[g] = sourcesOf(cols[g]);
    walkHistories(columns, sinkThreshold(sink), groupLinesTo(sink));
  }
  return captured(sink);
}

}  // namespace plovanet
