#include "run/records_sink.h"

#include <string>
#include <vector>

#include "output/records.h"
#include "output/trailers.h"

namespace plovanet {

std::string RecordsSink::truthHeader() const {
  // A multistate study's rows are per occasion and state.
  std::string header = cfg_.design().states.empty() ? "rep,dataset,group,class,occasion,seed,"
                                                    : "rep,dataset,group,class,occasion,state,seed,";
  header += "entrants,alive,marked,captured,newly_marked,tags_lost";
  for (const TruthColumn& c : cfg_.model->truthColumns()) header.append(",").append(c.name);
  return header + "\n";
}

bool AnimalRows::write(std::string_view lines) {
  put(*w_, lines);
  return !writeFailed(*w_);
}

std::string RecordsSink::csvHeader() const {
  std::string header = "rep,dataset,group,ch,freq";
  const Design& d = cfg_.design();
  if (d.indiv.rows && !d.determ) {
    for (const std::string& name : cfg_.model->mark().icovariates) header.append(",").append(name);
  }
  return header + "\n";
}

std::string RecordsSink::animalsHeader() const {
  const Design& d = cfg_.design();
  std::string header = "rep,dataset,group,id,entered";
  for (const Covariate& c : d.indiv.covariates) header.append(",").append(c.name);
  if (d.indiv.heterogeneity) header += ",effect";
  header += ",died";
  for (int k = 1; k <= d.nper && !d.states.empty(); ++k) header.append(",state").append(std::to_string(k));
  return header + ",ch\n";
}

AnimalLog* RecordsSink::animals(const Replicate& r) {
  if (animals_.w == nullptr) return nullptr;
  animalRows_.start(animals_.w, std::to_string(r.rep) + "," + std::to_string(r.dataset) + "," +
                                    std::to_string(r.grp + 1) + ",");
  return &animalRows_;
}

FileForm RecordsSink::form() const {
  const Design& d = cfg_.design();
  return {cfg_.ctl.lay, d.nper, d.dim, cfg_.ctl.mxgrps, cfg_.model->mark()};
}

std::optional<Fault> RecordsSink::begin(const Replicate&) {
  Writer& w = *out_.w;
  const FileForm f = form();
  countAt_ = writeHeaders(w, f);
  // The line count of a multistate or INDIVIDUAL MARK header, which could not be filled in (a
  // robust design writes its bound instead).
  if (f.lay.markflg && f.mark.countLines && (!f.mark.strata.empty() || f.mark.perAnimal) && countAt_ < 0)
    w.fail();
  flush(w);
  if (writeFailed(w)) return Fault::writeOutput(out_.name);
  outCaptures_ = csvCaptures_ = 0;
  outLines_ = 0;
  return std::nullopt;
}

// A side file (TRUTH=, CSV=, ANIMALS=) whose write failed stops the run at once, as the output file does.
std::optional<Fault> RecordsSink::sideFailure() const {
  for (const Target* side : {&truth_, &csv_, &animals_}) {
    if (side->w != nullptr && writeFailed(*side->w)) return Fault::writeOutput(side->name);
  }
  return std::nullopt;
}

std::optional<Fault> RecordsSink::truth(const Replicate& r, const Totals& tot) {
  if (Writer* w = truth_.w) {
    // The seed that repeats the replicate; none when the run draws no random number.
    const std::string seed =
        cfg_.draws() ? std::to_string(static_cast<std::int32_t>(cfg_.seed)) : std::string();
    const std::string lead = std::to_string(r.rep) + "," + std::to_string(r.dataset) + "," +
                             std::to_string(r.grp + 1) + "," + std::to_string(r.cls + 1) + ",";
    const auto extra = cfg_.model->truthColumns();
    const std::string& states = cfg_.design().states;
    const auto row = [&](const std::string& head, const Totals& t, std::size_t i) {
      put(*w, head);
      for (const double v : {t.n[i], t.talive[i], t.tmark[i], t.tcap[i], t.tnew[i], t.tlost[i]}) {
        put(*w, ",");
        putNumber(*w, v);
      }
      for (const TruthColumn& c : extra) {
        put(*w, ",");
        putNumber(*w, (t.*c.values)[i]);
      }
      put(*w, "\n");
    };
    for (int j = 0; j < cfg_.model->periods(); ++j) {
      const auto i = static_cast<std::size_t>(j);
      const std::string occasion = lead + std::to_string(j + 1) + ",";
      if (states.empty()) row(occasion + seed, tot, i);
      for (std::size_t s = 0; s < states.size(); ++s) {
        std::string head = occasion;
        head.append(1, states[s]).append(",").append(seed);
        row(head, tot.states[s], i);
      }
    }
  }
  return sideFailure();
}

BlockTarget RecordsSink::target(const Replicate& r) const {
  BlockTarget t;
  t.out = out_.w;
  t.csv = csv_.w;
  if (t.csv != nullptr) t.lead = std::to_string(r.rep) + "," + std::to_string(r.blocks) + ",";
  t.captflg = cfg_.ctl.lay.captflg;
  t.minfreq = cfg_.ctl.minfreq;
  // Whole counts of a stochastic run lose nothing below the threshold, and keep their decimals.
  t.outfreq = cfg_.design().determ ? cfg_.ctl.outfreq : kThreshold;
  t.nper = cfg_.design().nper;
  const Design& d = cfg_.design();
  t.individual = d.indiv.rows && !d.determ;
  if (t.individual) {
    t.rows.indiv = &d.indiv;
    t.rows.states = d.states;
    t.rows.encounters = d.encounters != Encounters::none;
    t.rows.mark = cfg_.ctl.lay.markflg && !cfg_.model->mark().icovariates.empty();
  }
  return t;
}

// What a block's records hold, for the share the output file leaves out; then its faults.
std::optional<Fault> RecordsSink::written(const BlockResult& b) {
  outCaptures_ += b.outCaptures;
  csvCaptures_ += b.csvCaptures;
  outLines_ += b.outLines;
  switch (b.stop) {
    case BlockStop::None:
      break;
    case BlockStop::CaptureTooLarge:
      return Fault::captureTooLarge(historyDigits(static_cast<std::uint32_t>(b.refused), cfg_.design().nper));
    case BlockStop::LinesOutOfMemory:
      return Fault::alloc("the record lines");
    case BlockStop::RowTooLarge:
      return Fault::alloc("nx");
    case BlockStop::RowOutOfMemory:
      return Fault::alloc("nx[" + std::to_string(cfg_.design().dim) + "]");
  }
  if (writeFailed(*out_.w)) return Fault::writeOutput(out_.name);
  return sideFailure();
}

std::optional<Fault> RecordsSink::block(const Replicate& r, Column& col) {
  return written(writeBlock(target(r), col));
}

std::optional<Fault> RecordsSink::table(const Replicate& r, std::vector<Column>& cols) {
  return written(writeTable(target(r), cols, cfg_.ctl.mxgrps, cfg_.memoryAvailable()));
}

// In expected-value mode, warns of each file whose records leave out more than kLeftOutShare of
// the expected captures; files of one threshold in one warning.
std::optional<Fault> RecordsSink::checkLeftOut(const Replicate& r) const {
  if (!cfg_.design().determ || !(r.tcapTotal > 0)) return std::nullopt;
  const Control& ctl = cfg_.ctl;
  const double out = 1 - outCaptures_ / r.tcapTotal;
  const bool csv = csv_.w != nullptr;
  // Without MINFREQ= both files have the output file's threshold: the warning of old.
  if (ctl.minfreq == kThreshold) {
    if (!(out > kLeftOutShare)) return std::nullopt;
    return warn(ctl, Fault::leftOut(out));
  }
  if (csv && ctl.minfreq == ctl.outfreq) {
    if (!(out > kLeftOutShare)) return std::nullopt;
    return warn(ctl, Fault::leftOutOf(out, "the output file and the CSV= file", ctl.outfreq));
  }
  if (out > kLeftOutShare) {
    if (auto f = warn(ctl, Fault::leftOutOf(out, "the output file", ctl.outfreq))) return f;
  }
  const double left = 1 - csvCaptures_ / r.tcapTotal;
  if (csv && left > kLeftOutShare) return warn(ctl, Fault::leftOutOf(left, "the CSV= file", ctl.minfreq));
  return std::nullopt;
}

std::optional<Fault> RecordsSink::end(const Replicate&) {
  Writer& w = *out_.w;
  writeTrailers(w, form());
  if (countAt_ < 0) return std::nullopt;
  flush(w);
  if (!writeFailed(w) && !fillLineCount(w.stream(), countAt_, outLines_)) w.fail();
  if (writeFailed(w)) return Fault::writeOutput(out_.name);
  return std::nullopt;
}

}  // namespace plovanet
