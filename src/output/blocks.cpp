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
  s.outfreq = t.outfreq;
  s.decimals = frequencyDecimals(t.outfreq);
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

// A group's data sets, as one column of a closed-form walk.
template <class Source>
std::vector<const Source*> sourcesOf(const std::vector<Source>& sources) {
  std::vector<const Source*> v;
  v.reserve(sources.size());
  for (const Source& c : sources) v.push_back(&c);
  return v;
}

// Adds the closed-form sources into the table row, so they can be written with the rows.
void materialise(OrdinaryRecords& rec) {
  if (rec.sources.empty()) return;
  double* row = rec.row.get();
  walkHistories({sourcesOf(rec.sources)}, 0.0, [row](int h, const char*, const double* cols) {
    row[h] += cols[0];
    return true;
  });
  rec.sources.clear();
}

BlockResult captured(const Sink& sink) {
  BlockResult r;
  r.outCaptures = sink.outCaptures;
  r.csvCaptures = sink.csvCaptures;
  r.outLines = sink.outLines;
  return r;
}

BlockStop stopOf(Shortfall s) {
  switch (s) {
    case Shortfall::none:
      return BlockStop::None;
    case Shortfall::rowTooLarge:
      return BlockStop::RowTooLarge;
    case Shortfall::rowOutOfMemory:
      return BlockStop::RowOutOfMemory;
  }
  return BlockStop::None;
}

// One block from each form of records; each leaves them empty for the next block. refused is set
// to the history CAPTURE could not write; false when a line worker ran out of memory.
bool block(const BlockTarget& t, Sink& sink, Tally& tally, int& refused) {
  walkTallies({&tally}, t.nper, sinkThreshold(sink), recordsTo(sink, refused));
  tallyClear(tally);
  return true;
}

bool block(const BlockTarget&, Sink& sink, RobustRecords& rec, int& refused) {
  walkRobust({sourcesOf(rec.sources)}, sinkThreshold(sink), recordsTo(sink, refused));
  rec.sources.clear();
  return true;
}

bool block(const BlockTarget& t, Sink& sink, MultistateTally& rec, int& refused) {
  walkStateTallies({&rec.tally}, t.nper, rec.sym, sinkThreshold(sink), recordsTo(sink, refused));
  tallyClear(rec.tally);
  return true;
}

bool block(const BlockTarget&, Sink& sink, MultistateRecords& rec, int& refused) {
  walkMultistate({sourcesOf(rec.sources)}, rec.sym, sinkThreshold(sink), recordsTo(sink, refused));
  rec.sources.clear();
  return true;
}

// A live-dead record spells two characters per occasion.
bool block(const BlockTarget& t, Sink& sink, LiveDeadRecords& rec, int& refused) {
  sink.nper = 2 * t.nper;
  if (!rec.sources.empty()) {
    walkLiveDead({sourcesOf(rec.sources)}, sinkThreshold(sink), recordsTo(sink, refused));
    rec.sources.clear();
    return true;
  }
  walkEncounterTallies({&rec.tally}, t.nper, sinkThreshold(sink), recordsTo(sink, refused));
  tallyClear(rec.tally);
  return true;
}

bool block(const BlockTarget& t, Sink& sink, IndividualRecords& rec, int&) {
  writeRows(sink, t.rows, rec);
  return true;
}

bool block(const BlockTarget& t, Sink& sink, OrdinaryRecords& rec, int& refused) {
  bool ok = true;
  if (rec.row) {
    materialise(rec);
    refused = writeRecordBlock(sink, rec.row.get(), t.nper);
    std::fill_n(rec.row.get(), std::size_t{1} << t.nper, 0.0);
    return ok;
  }
  const std::vector<std::vector<const Cohorts*>> one{sourcesOf(rec.sources)};
  // Large plain blocks are formatted on two more threads; CAPTURE lines, CSV rows and the longer
  // frequencies below a lowered threshold are not.
  RecordLines lines;
  if (t.nper >= kLinesFrom && !sink.captflg && sink.csv == nullptr && sink.decimals == 4)
    lines = startLines(*t.out, t.nper);
  if (lines.workers) {
    std::uint64_t count = 0;
    walkHistories(one, t.outfreq, [&lines, &count](int h, const char*, const double* cols) {
      ++count;
      return addLine(lines, h, cols[0]);
    });
    finishLines(lines);
    sink.outLines = count;
    sink.outCaptures = lines.captures;
    ok = !lines.outOfMemory;
  } else {
    walkHistories(one, sinkThreshold(sink), recordsTo(sink, refused));
  }
  rec.sources.clear();
  return ok;
}

// The group table from each form of records: cols all hold the form of first.
BlockStop table(Sink& sink, std::vector<Column>& cols, Tally&, int groups, std::size_t) {
  Tally none;  // groups never met
  std::vector<Tally*> tallies(static_cast<std::size_t>(groups), &none);
  for (std::size_t g = 0; g < cols.size(); ++g) tallies[g] = &std::get<Tally>(cols[g]);
  walkTallies(tallies, sink.nper, sinkThreshold(sink), groupLinesTo(sink));
  return BlockStop::None;
}

BlockStop table(Sink& sink, std::vector<Column>& cols, RobustRecords&, int groups, std::size_t) {
  std::vector<std::vector<const RobustCohorts*>> columns(static_cast<std::size_t>(groups));
  for (std::size_t g = 0; g < cols.size(); ++g)
    columns[g] = sourcesOf(std::get<RobustRecords>(cols[g]).sources);
  walkRobust(columns, sinkThreshold(sink), groupLinesTo(sink));
  return BlockStop::None;
}

BlockStop table(Sink& sink, std::vector<Column>& cols, MultistateTally& first, int groups, std::size_t) {
  StateTally none;  // groups never met
  std::vector<StateTally*> tallies(static_cast<std::size_t>(groups), &none);
  for (std::size_t g = 0; g < cols.size(); ++g) tallies[g] = &std::get<MultistateTally>(cols[g]).tally;
  walkStateTallies(tallies, sink.nper, first.sym, sinkThreshold(sink), groupLinesTo(sink));
  return BlockStop::None;
}

BlockStop table(Sink& sink, std::vector<Column>& cols, MultistateRecords& first, int groups, std::size_t) {
  std::vector<std::vector<const MultiCohorts*>> columns(static_cast<std::size_t>(groups));
  for (std::size_t g = 0; g < cols.size(); ++g)
    columns[g] = sourcesOf(std::get<MultistateRecords>(cols[g]).sources);
  walkMultistate(columns, first.sym, sinkThreshold(sink), groupLinesTo(sink));
  return BlockStop::None;
}

BlockStop table(Sink& sink, std::vector<Column>& cols, LiveDeadRecords&, int groups, std::size_t) {
  const int K = sink.nper;
  sink.nper = 2 * K;
  const auto expected = [](const Column& c) { return !std::get<LiveDeadRecords>(c).sources.empty(); };
  if (std::any_of(cols.begin(), cols.end(), expected)) {
    std::vector<std::vector<const LiveDeadCohorts*>> columns(static_cast<std::size_t>(groups));
    for (std::size_t g = 0; g < cols.size(); ++g)
      columns[g] = sourcesOf(std::get<LiveDeadRecords>(cols[g]).sources);
    walkLiveDead(columns, sinkThreshold(sink), groupLinesTo(sink));
    return BlockStop::None;
  }
  StateTally none;  // groups never met
  std::vector<StateTally*> tallies(static_cast<std::size_t>(groups), &none);
  for (std::size_t g = 0; g < cols.size(); ++g) tallies[g] = &std::get<LiveDeadRecords>(cols[g]).tally;
  walkEncounterTallies(tallies, K, sinkThreshold(sink), groupLinesTo(sink));
  return BlockStop::None;
}

// INDIVIDUAL's careers come only with its rows, which writeTable writes in their form.
BlockStop table(Sink&, std::vector<Column>&, IndividualRecords&, int, std::size_t) {
  return BlockStop::None;
}

BlockStop table(Sink& sink, std::vector<Column>& cols, OrdinaryRecords&, int groups, std::size_t limit) {
  const auto ngroups = static_cast<std::size_t>(groups);
  const bool rows = std::any_of(cols.begin(), cols.end(),
                                [](const Column& c) { return std::get<OrdinaryRecords>(c).row != nullptr; });
  if (!rows) {
    std::vector<std::vector<const Cohorts*>> columns(ngroups);
    for (std::size_t g = 0; g < cols.size(); ++g)
      columns[g] = sourcesOf(std::get<OrdinaryRecords>(cols[g]).sources);
    walkHistories(columns, sinkThreshold(sink), groupLinesTo(sink));
    return BlockStop::None;
  }
  // Some group needs a table row: every group is written from one.
  std::vector<const double*> table(ngroups, nullptr);
  for (std::size_t g = 0; g < cols.size(); ++g) {
    auto& rec = std::get<OrdinaryRecords>(cols[g]);
    if (const BlockStop s = stopOf(ensureRow(rec, sink.nper, limit)); s != BlockStop::None) return s;
    materialise(rec);
    table[g] = rec.row.get();
  }
  writeGroupTable(sink, table);
  return BlockStop::None;
}

}  // namespace

BlockResult writeBlock(const BlockTarget& t, Column& col) {
  Sink sink = sinkFor(t);
  if (t.individual) {
    std::visit(
        [&](auto& rec) {
          if constexpr (requires { writeRows(sink, t.rows, rec); }) writeRows(sink, t.rows, rec);
        },
        col);
    return captured(sink);
  }
  int refused = 0;
  if (!std::visit([&](auto& rec) { return block(t, sink, rec, refused); }, col))
    return {BlockStop::LinesOutOfMemory, 0, 0, 0, 0};
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
  if (cols.empty()) return captured(sink);  // no data set: no record
  if (t.individual) {
    writeRowTable(sink, t.rows, cols);
    return captured(sink);
  }
  const BlockStop stop =
      std::visit([&](auto& first) { return table(sink, cols, first, groups, limit); }, cols[0]);
  if (stop != BlockStop::None) return {stop, 0, 0, 0, 0};
  return captured(sink);
}

}  // namespace plovanet
