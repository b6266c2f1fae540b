// Set-up of the coefficient fields and the starting state, and the time step.
#pragma once

#include "var/state.hpp"

namespace hc {

void set_area(Ctx& c);
void set_ts_nudging(Ctx& c);
void set_lateral_mixing(Ctx& c);
void set_extra_vertical_eddy_viscosity(Ctx& c);
void set_seasonal_data(Ctx& c);
void eliminate_spurious_values(Ctx& c);

// One time step: the 22 stages.
void fsglo(Ctx& c);

}  // namespace hc
