#include "driver/driver.hpp"

namespace hc {

void surface_pressure_correction(Ctx&) {}
void rebuild_vertical_velocity(Ctx&) {}
void incompressibility_and_mean_pressure(Ctx&) {}

}  // namespace hc
