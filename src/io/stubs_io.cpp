#include "io/io.hpp"

namespace hc {

void set_windmix(Ctx&) {}
void set_rundata(Ctx&) {}
void set_zkb(Ctx&) {}
void set_surfwinds(Ctx&) {}
void rdnc_evp(Ctx&) {}
void pnetcdferrck(Ctx&, int&) {}
void read_rerun(Ctx&) {}
void read_initnc(Ctx&, Field&, Field&) {}
void read_gas(Ctx&, IMonthly&, IMonthly&, IMonthly&) {}
void readnc(Ctx&, const char*, const char*, double*, int) {}
void write_rerun(Ctx&) {}
void write_init2nc(Ctx&, Field&, Field&) {}
void write_topo(Ctx&) {}
void write_hist(Ctx&) {}
void restart(Ctx&) {}
void read_bred_switch(Ctx&) {}
void rescbred(Ctx&) {}
void initbred(Ctx&) {}
void finalize_io(Ctx&) {}

}  // namespace hc
