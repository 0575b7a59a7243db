// The trailer lines that make the output file a complete command input: CAPTURE's task lines
// and MARK's estimation block, which depend on nper and the layout flags only.
#pragma once

#include "output/records.h"
#include "output/writer.h"

namespace plovanet {

void writeTrailers(Writer& w, const Layouts& lay, int nper);

}  // namespace plovanet
