// The elliptic solvers of the surface-pressure equation.
#pragma once

#include "var/state.hpp"

namespace hc {

// Selects the solver named by lsolver (and has its coefficients read).
void init_solver(Ctx& c);

// The five-point surface-pressure operator of one tile, from the tile's masks
// (KB, IU, IV, IU0, IV0, IN), metrics (ODX, OCS, ODY, CSV, ODYV), depths (ODZ)
// and run parameters (lfsrf, dt, g, odt, daodt) as the context holds them:
// writes AL, AB, AC, AR (80 x 48) and AT (80 x 49) of block sevp.
// land_sheet: treat land as a sheet one surface layer deep, so that AT is
// nonzero at every marched point (the marching solver's variant); otherwise
// land rows are identity rows (the BiCGStab variant written to evp.nc).
void build_surface_pressure_operator(Ctx& c, bool land_sheet);
// Factors cl, cb, cc, cr, ct of the block SIP preconditioner of the tile,
// from AL, AB, AC, AR, AT of block sevp (Stone's parameter alpha).
void build_sip_factors(Ctx& c, double alpha);

}  // namespace hc
