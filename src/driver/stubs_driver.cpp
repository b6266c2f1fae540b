#include "driver/driver.hpp"

namespace hc {

void set_area(Ctx&) {}
void set_ts_nudging(Ctx&) {}
void set_lateral_mixing(Ctx&) {}
void set_extra_vertical_eddy_viscosity(Ctx&) {}
void set_seasonal_data(Ctx&) {}
void eliminate_spurious_values(Ctx&) {}
void fsglo(Ctx&) {}

}  // namespace hc
