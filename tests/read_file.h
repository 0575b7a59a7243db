// A parameter file's text read as the run reads it: its design and every data set, or the
// message of the fault that stopped the reading.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "run/data_sets.h"
#include "support.h"

namespace plovanet::test {

struct ReadFile {
  Design d;
  std::vector<DataSet> sets;
  std::string fault;  // empty when the head was read
};

inline ReadFile readFile(std::string text) {
  Control ctl;
  MemFile echo;
  const Console con{echo.fp};
  FileDataSets files(ctl, fmemopen(text.data(), text.size(), "r"), con);
  ReadFile r;
  if (const auto fault = files.readHead(r.d)) {
    r.fault = message(*fault);
    return r;
  }
  const RunConfig cfg(ctl, r.d, 1);
  files.start(cfg, false);
  while (auto ds = files.readOne()) r.sets.push_back(std::move(*ds));
  return r;
}

}  // namespace plovanet::test
