#include "solver/solver.hpp"

namespace hc {

void init_solver(Ctx&) {}

}  // namespace hc
