#include "physics/physics.hpp"

namespace hc {

void pp82glonew(Ctx&) {}
void smagglo(Ctx&) {}
void windglo(Ctx&, Field&, Field&, double&, double&, double&) {}
void cfcsurf(Ctx&, Field&, Field&, Field&, double&, double&, double&) {}

}  // namespace hc
