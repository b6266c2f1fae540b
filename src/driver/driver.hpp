// Set-up of the coefficient fields and the starting state, and the time step.
#pragma once

#include "var/state.hpp"

namespace hc {

// Set-up.
void set_area(Ctx& c);
void set_ts_nudging(Ctx& c);
void set_lateral_mixing(Ctx& c);
void set_extra_vertical_eddy_viscosity(Ctx& c);
void set_seasonal_data(Ctx& c);
void eliminate_spurious_values(Ctx& c);

// One time step: the 22 stages.
void fsglo(Ctx& c);

// Stages of the step, in their order within fsglo.
void ts_nudging_for_watermass(Ctx& c);          // stage 3
void solve_hydrostatic_equation(Ctx& c);        // stage 4
void open_northern_boundary(Ctx& c);            // stage 9 (northern process row, lopen set)
void surface_flux_correction(Ctx& c);           // stage 10
void monthly_flux_update(Ctx& c);               // stage 11 (last step of a month)
void bottom_drag(Ctx& c);                       // stage 12
void coriolis_rotation(Ctx& c);                 // stage 13
void face_velocities(Ctx& c);                   // stage 15
void surface_pressure_correction(Ctx& c);       // stages 16 to 18
void rebuild_vertical_velocity(Ctx& c);         // stage 19, first half
void cell_velocities(Ctx& c);                   // stage 19, second half
void incompressibility_and_mean_pressure(Ctx& c);  // stage 20

}  // namespace hc
