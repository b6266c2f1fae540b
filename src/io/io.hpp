// netCDF readers (prepared inputs, model state) and writers (restart set,
// history, topography), save control and the bred-vector mode.
#pragma once

#include "var/state.hpp"

namespace hc {

// Prepared-input readers and the run configuration.
void set_windmix(Ctx& c);
void set_rundata(Ctx& c);
void set_zkb(Ctx& c);
void set_surfwinds(Ctx& c);

// Topography file "../output/topo.nc".
void write_topo(Ctx& c);
// Running means and the 30-day history files.
void write_hist(Ctx& c);
// Save control, the 30-year backup and the end of the run.
void restart(Ctx& c);

}  // namespace hc
