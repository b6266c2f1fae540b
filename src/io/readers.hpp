// Readers of the prepared input files and unpackers of model-state slabs,
// called within src/io and by the set-up of the starting state.
#pragma once

#include "var/state.hpp"

namespace hc {

// "prepglo/data/rundata.nc": the run configuration.
void rdnc_rundata(Ctx& c);
// Whole steps per day from daodt; the heat-flux factor from dt and ODZ(1).
i32 steps_per_day(double daodt);
double heat_flux_factor(double dt, double odz1);

// "prepglo/data/zkb.nc": depth table, bottom levels and masks; "rmets" into plane 1 of SCR.
void rdnc_zkb(Ctx& c);
void rdnc_zkb2(Ctx& c);
// "prepglo/data/windmix.nc", "prepglo/data/winds.nc".
void rdnc_windmix(Ctx& c);
void rdnc_winds(Ctx& c);
// Multiplies the wind stress by 10 on water and zeroes it on land; returns
// the tile's wet interior surface points (no communication).
int scale_surface_winds(Ctx& c);
// Month m of "prepglo/data/annualevitus.nc" into SCLIM (salinity) and TCLIM (temperature).
void rdnc_levitus(Ctx& c, int& m);

// Refuses (on every process, run stopped) bottom levels outside 0..40 and
// cell masks that disagree with them; each tile with a bad point prints the
// first of them.
void check_bathymetry(Ctx& c);
// The tile's bad points (no communication): KB outside 0..40, or IN(i, j, k)
// not 1 exactly for k <= KB(i, j). Writes the first one into where (i, j, k).
int bathymetry_faults(const Ctx& c, int where[3]);

// Unpack a file slab (level, month or latitude fastest, longitude slowest).
// FD(i, j, k), i = oi+1..oi+ni (outer), j = oj+1..oj+nj, k = 1..nk (inner),
// FD declared ei x ej x nk.
void rvec2mtx(double* FD, const double* RBF, int ei, int ej, int ni, int nj, int nk, int oi, int oj);
// The same into a target declared ni x nj x nk without a halo: the value for
// (i, j, k) goes to (i - oi, j - oj, k).
void rvec2mtx2(double* FD, const double* RBF, int ei, int ej, int ni, int nj, int nk, int oi, int oj);
// FD(i, j), i = 2..81 (outer), j = 2..49 (inner), of an 82 x 50 plane.
void dvec2mtx(Plane& FD, const double* DBF);

}  // namespace hc
