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

}  // namespace hc
