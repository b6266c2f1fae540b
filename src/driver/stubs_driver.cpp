#include "driver/driver.hpp"

namespace hc {

void set_area(Ctx&) {}
void set_ts_nudging(Ctx&) {}
void set_lateral_mixing(Ctx&) {}
void set_extra_vertical_eddy_viscosity(Ctx&) {}
void set_seasonal_data(Ctx&) {}
void eliminate_spurious_values(Ctx&) {}
void fsglo(Ctx&) {}
void ts_nudging_for_watermass(Ctx&) {}
void solve_hydrostatic_equation(Ctx&) {}
void open_northern_boundary(Ctx&) {}
void surface_flux_correction(Ctx&) {}
void monthly_flux_update(Ctx&) {}
void bottom_drag(Ctx&) {}
void coriolis_rotation(Ctx&) {}
void face_velocities(Ctx&) {}
void surface_pressure_correction(Ctx&) {}
void rebuild_vertical_velocity(Ctx&) {}
void cell_velocities(Ctx&) {}
void incompressibility_and_mean_pressure(Ctx&) {}

}  // namespace hc
