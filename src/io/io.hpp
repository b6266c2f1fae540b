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
// Solver coefficients and preconditioner factors from "prepglo/data/evp.nc".
void rdnc_evp(Ctx& c);
// Reports a failed netCDF call (status nonzero) and returns.
void pnetcdferrck(Ctx& c, int& status);

// Model-state readers.
void read_rerun(Ctx& c);
void read_initnc(Ctx& c, Field& S, Field& T);
void read_gas(Ctx& c, IMonthly& FICE, IMonthly& XKW, IMonthly& PATM);
// Fills FLD(2..81, 2..49, 1..nk) (FLD is 82 x 50 x nk) from variable name of "data/" + tag + ".nc".
void readnc(Ctx& c, const char* tag, const char* name, double* FLD, int nk);

// Writers.
// Completes or undoes what an interrupted restart save left in data/ (see
// src/io/files.cpp), saying which; false on every process when it cannot.
// Collective; run at start-up and before every save.
bool settle_restart_files(Ctx& c);
void write_rerun(Ctx& c);
void write_init2nc(Ctx& c, Field& STM, Field& TTM);
// Topography file "../output/topo.nc".
void write_topo(Ctx& c);
// Running means and the 30-day history files.
void write_hist(Ctx& c);
// Save control, the 30-year backup and the end of the run.
void restart(Ctx& c);
// Bred-vector mode.
// Reads the optional bred-vector switch "lbred" of "prepglo/data/rundata.nc" (absent: 0).
void read_bred_switch(Ctx& c);
void rescbred(Ctx& c);
void initbred(Ctx& c);
void finalize_io(Ctx& c);

}  // namespace hc
