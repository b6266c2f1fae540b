// The elliptic solvers of the surface-pressure equation.
#pragma once

#include "var/state.hpp"

namespace hc {

// Selects the solver named by lsolver (and has its coefficients read).
void init_solver(Ctx& c);

}  // namespace hc
