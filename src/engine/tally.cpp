#include "engine/tally.h"

namespace plovanet {

bool walkTallies(const std::vector<Tally*>& columns, int nper, double threshold, EmitFn emit) {
  const auto spell = [nper](int h, char* digits) {
    for (int k = 0; k < nper; ++k) digits[k] = (h >> (nper - 1 - k) & 1) != 0 ? '1' : '0';
    return h;
  };
  return walkTalliesOf(columns, threshold, spell, emit);
}

}  // namespace plovanet
