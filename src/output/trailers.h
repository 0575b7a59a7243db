// The trailer lines that make the output file a complete command input: CAPTURE's task lines
// and MARK's estimation block, which depend on nper, the number of groups and the layout flags.
#pragma once

#include "output/records.h"
#include "output/writer.h"

namespace plovanet {

// Each group gets its own Phi and p parameters, all Phi before all p. Without estimates (a model
// chosen in MARK) the MARK block is just proc stop.
void writeTrailers(Writer& w, const FileForm& f);

}  // namespace plovanet
