// Parts of the learned surface flux correction that work on the tile alone,
// apart from the collective steps of the monthly update.
#pragma once

#include "var/state.hpp"

namespace hc {

// The monthly update up to its global sum: the sample count, the update of the
// ending month's correction, the reset of the nudging sum and the year-one
// carry-over. Leaves this tile's area-weighted sum of the next month's
// correction in qsum.
void monthly_flux_update_tile(Ctx& c);

}  // namespace hc
