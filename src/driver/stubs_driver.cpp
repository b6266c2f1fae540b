#include "driver/driver.hpp"

namespace hc {

void fsglo(Ctx&) {}
void solve_hydrostatic_equation(Ctx&) {}
void face_velocities(Ctx&) {}
void surface_pressure_correction(Ctx&) {}
void rebuild_vertical_velocity(Ctx&) {}
void cell_velocities(Ctx&) {}
void incompressibility_and_mean_pressure(Ctx&) {}

}  // namespace hc
