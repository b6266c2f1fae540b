#include "io/io.hpp"

namespace hc {

void set_windmix(Ctx&) {}
void set_rundata(Ctx&) {}
void set_zkb(Ctx&) {}
void set_surfwinds(Ctx&) {}
void write_topo(Ctx&) {}
void write_hist(Ctx&) {}
void restart(Ctx&) {}

}  // namespace hc
