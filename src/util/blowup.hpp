// Blow-up check after every step and the masked range diagnostics.
#pragma once

#include "var/state.hpp"

namespace hc {

// Stops the run (log lines, message, dump, MPI finalized, status 0) when the
// global range of the surface meridional velocity reaches 1000 cm/s, or when
// any process holds a value that is not finite in the interior of U2, V2,
// T2, S2, C2 or P0.
void check_blowup(Ctx& c);

// The first interior point of this tile, in the order U2, V2, T2, S2, C2, P0
// and then k, j, i, whose value is not finite (P0 reports k = 1). False, and
// `at` untouched, when every value is finite.
struct NonFinite {
    const char* field;
    int i, j, k;
};
bool find_nonfinite(const Ctx& c, NonFinite& at);

// Masked minimum and maximum of FLD(i1..i2, j1..j2) over the points whose mask
// is exactly 1, with their section-relative locations (first in scan order on
// ties); (0, 0) and 0 for a section without such points, and extremes beyond
// 1.0e20 (single precision, widened) reported as 0.
void rangerle(const double* FLD, const i16* IN, int nx, int ny, int i1, int j1, int i2, int j2, i32 LO[2],
              i32 HI[2], double& AMIN, double& AMAX);

// The older variant: blends with the mask as a 0/1 factor and reports tile
// locations of the last equal point.
void ranger(const double* FLD, const i16* IN, int nx, int i1, int j1, int i2, int j2, i32& ILO, i32& JLO,
            i32& IHI, i32& JHI, double& AMIN, double& AMAX);

}  // namespace hc
