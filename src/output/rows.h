// The records of INDIVIDUAL: one line per career of a caught animal, of frequency 1, in the
// ordinary file's history order (the animals of one history in the order drawn), each followed by
// the animal's values: its covariates, then its random effect. The careers come drawn animal by
// animal (IndividualRecords) or, when no setting gives an animal values, as the batch engines'
// tally, each history once per animal.
#pragma once

#include <string>
#include <vector>

#include "engine/model.h"
#include "output/records.h"

namespace plovanet {

// How the rows are spelt.
struct RowForm {
  const Individuals* indiv = nullptr;  // which values are categories (written as integers)
  std::string states;                  // a multistate design's letters, which spell its keys
  bool mark = false;                   // MARK's individual form: "h 1 v1 v2;", groups as 1 and 0
  bool encounters = false;             // a live-dead study: two characters per occasion
};

// A one-group run's block from each form of records, which is left empty.
void writeRows(Sink& s, const RowForm& f, IndividualRecords& rec);
void writeRows(Sink& s, const RowForm& f, Tally& tally);
void writeRows(Sink& s, const RowForm& f, MultistateTally& tally);
void writeRows(Sink& s, const RowForm& f, LiveDeadRecords& rec);

// The group table: every group's rows in one history order, the frequency 1 in the career's own
// group's column and 0 in the others. cols all hold the form of their first.
void writeRowTable(Sink& s, const RowForm& f, std::vector<Column>& cols);

}  // namespace plovanet
