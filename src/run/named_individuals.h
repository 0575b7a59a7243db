// Individual animals in the named format: the covariates each animal draws when it enters, their
// effects on its rates, its logit-normal random effect and the quadrature's nodes:
//
//   covariate mass normal 20 3       # or: uniform LOW HIGH, categories P1 P2 ...
//   effect p mass 0.1                # logit(p) + 0.1 * mass; also c, survival, retention, move A B
//   heterogeneity p 1                # logit(p) and logit(c) + 1 * z, z ~ N(0, 1) per animal
//   nodes 24
//
// They hold for the whole file, so they stand before the first dataset line; the reader
// (named_reader.cpp) hands their lines here while it checks the file, into NamedFile::indiv.
#pragma once

#include <optional>

#include "run/failure.h"
#include "run/named_reader.h"
#include "run/named_settings.h"

namespace plovanet::named {

// Whether s is one of the individual settings.
bool isIndividual(const Setting& s);

// The name of every covariate line of the file, so that an effect may name a covariate whose
// line stands after it.
void findCovariates(NamedFile& nf);

// One individual setting's line, in data set number set (from 1), into nf.indiv: the fault that
// refuses it, if any. Only while the file is checked; otherwise nothing is done.
std::optional<Fault> readIndividualLine(NamedFile& nf, const Line& ln, const Setting& s, int set);

// The file checked: c takes the heterogeneity of p unless it has a line of its own.
void finishIndividuals(NamedFile& nf);

}  // namespace plovanet::named
