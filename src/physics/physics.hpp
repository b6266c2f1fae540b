// Physical parametrizations: vertical mixing, Smagorinsky viscosity, wind
// stress and surface heating, the CFC air-sea flux.
#pragma once

#include "var/state.hpp"

namespace hc {

void pp82glonew(Ctx& c);
void smagglo(Ctx& c);
void windglo(Ctx& c, Field& U2, Field& V2, double& days, double& dt, double& odz1);
void cfcsurf(Ctx& c, Field& C2, Field& T2, Field& S2, double& days, double& dt, double& odz1);

}  // namespace hc
