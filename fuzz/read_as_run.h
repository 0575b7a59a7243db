// The data sets of a parameter file as the run reads them: in the file's format, with the numeric
// format's recruitment rules and the echo lines, but without the warnings, which would go to
// standard error on every input.
#pragma once

#include <optional>
#include <utility>

#include "run/data_sets.h"
#include "run/named_reader.h"
#include "run/param_reader.h"
#include "run/run.h"

namespace plovanet::fuzz {

// The next data set as simulated, after readHead(run); none when the file holds no more.
inline std::optional<DataSet> readAsRun(Run& run) {
  Source& src = run.src;
  std::optional<DataSet> read = src.named.active
                                    ? readNamedDataSet(src.named, src.last)
                                    : readDataSet(src.in, src.last, run.design.nper, run.ctl.recruit);
  if (!read || src.in.error) return std::nullopt;
  src.last = *read;
  DataSet used = adjustDataSet(std::move(*read), run.ctl.recruit, run.ctl.usef1, run.design);
  echoDataSet(run.console, src.last, used, run.design, run.ctl.recruit);
  return used;
}

}  // namespace plovanet::fuzz
