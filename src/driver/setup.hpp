// Pieces of the coefficient set-up that depend only on their arguments.
#pragma once

#include <string>

#include "var/state.hpp"

namespace hc {

// Fraction of the full relaxation rate below the surface at latitude y (row
// south of it at y_south): 1 poleward of 83N and 69.5S, decaying by e^-0.275
// per row from there to 81N and 67.5S, 0 elsewhere.
double nudging_taper(double y, double y_south);

// Lateral-viscosity enhancement (cm^2/s) at global row Jg (1..290, halo
// included), longitude x and latitude y in degrees.
double lateral_enhancement(int Jg, double x, double y);

// The tile's wet area of level k (no communication).
double tile_wet_area(const Ctx& c, int k);

// The depth table entry for a bottom level index 2 * KB or 2 * KB + 1; a
// land column (KB = 0) has its floor at the surface entry Z(1).
double floor_depth(const Ctx& c, int kb);
double centre_depth(const Ctx& c, int kb);

// The starting state of a restart: the restart set and the annual means of
// "data/initial.nc" read back, the step count and the flux correction
// adjusted when the time step has changed, the sample counts reset in the
// first 3600 days.
void set_restart_state(Ctx& c);
// Its second half, on the restored itf, days, QAVG and NSOMBO: the step count
// and QAVG adjusted to a changed time step, the counts reset up to day 3600,
// and the progress lines; a set saved at days <= 0 stops the run.
void adjust_restart_step(Ctx& c);

// The climatology build after month m has been read into SCLIM, TCLIM: the
// annual sums in S2, T2 (surface salinity before its floor of 33), the month
// into SCLIS, TCLIS, and in January the older level S1, T1. Then the annual
// means into SCLIM, TCLIM and S2, T2 back to zero.
void add_climatology_month(Ctx& c, int m);
void finish_climatology(Ctx& c);

// The cold start's state (the three levels of T and S from T1, S1, no CFC)
// and its first guess of the flux correction (counts 2, QAVG of month m the
// surface climatology's change per step to the next month, 0 on land).
void cold_start_state(Ctx& c);
void first_guess_flux_correction(Ctx& c);

// The outer halo row of the southern and northern process rows: the annual
// means at all three time levels of T and S.
void set_boundary_rows(Ctx& c);

// The land points of level k of T1 and S1 take the mean of their four
// neighbours (values before the fill); returns the report line with the
// tile's extremes of the fills.
std::string fill_land_level(Ctx& c, int k);

// The restart's time-step check: steps at the restored days with the new
// steps per day.
i32 restart_step(double days, double daodt);

}  // namespace hc
