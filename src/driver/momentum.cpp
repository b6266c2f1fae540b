// Momentum sources of the new level and the open northern boundary: stages 9,
// 12 and 13 of the time step. None of them communicates; the halo exchange of
// U2 and V2 that follows the rotation brings the halos up to date.
#include <algorithm>
#include <cmath>

#include "driver/driver.hpp"

namespace hc {

// Stage 9. The caller runs this only when lopen is set and only on the
// northern process row (myidy = 5). Each of U, V, S, T, C at the last
// interior row 49 loses the outgoing amount at its filtered value where the
// face flow leaves the domain (v > 0) and gains the value of the outer halo
// row 50 where it enters (v < 0). Row 50 is never exchanged on this process
// row: it keeps what the start-up put there.
void open_northern_boundary(Ctx& c) {
    auto& b = c.bglo;
    auto& m = c.metricglo;
    const auto& V = c.cgridglo.V;
    const auto& IN = c.bathyglo.IN;
    const double dt = c.controglo.dt;
    Field* X2[5] = {&b.U2, &b.V2, &b.S2, &b.T2, &b.C2};
    const Field* XLF[5] = {&b.ULF, &b.VLF, &b.SLF, &b.TLF, &b.CLF};
    for (int k = 1; k <= KM; ++k) {
        for (int i = 2; i <= NX - 1; ++i) {
            const double a = 0.5 * dt * m.ODY(49) * m.CSV(49) * m.OCS(49) * double(IN(i, 49, k));
            const double v = V(i, 49, k);
            const double b1 = (v + std::fabs(v)) * a;
            const double b2 = (std::fabs(v) - v) * a;
            for (int f = 0; f < 5; ++f) {
                Field& x = *X2[f];
                x(i, 49, k) = (x(i, 49, k) - b1 * (*XLF[f])(i, 49, k)) + b2 * x(i, 50, k);
            }
        }
    }
}

// Stage 12, every step: quadratic drag on the velocity of each column's
// bottom level, the factor capped at 0.2 so one step never removes more than
// a fifth of the older-level velocity. The start-up accepts bottom levels
// 0..40 at every point of the tile (0 on land) and refuses any other; a land
// column has no bottom level and is skipped.
void bottom_drag(Ctx& c) {
    auto& b = c.bglo;
    const auto& KB = c.bathyglo.KB;
    const auto& IN = c.bathyglo.IN;
    const auto& ODZ = c.zfsglo.ODZ;
    const double dtdrag = c.controglo.dt * c.controglo.drag;
    for (int j = 2; j <= NY - 1; ++j) {
        for (int i = 2; i <= NX - 1; ++i) {
            const int k = KB(i, j);
            if (k < 1 || k > KM) continue;
            const double u1 = b.U1(i, j, k), v1 = b.V1(i, j, k);
            const double s = std::sqrt(u1 * u1 + v1 * v1);
            const double r = std::min(0.2, ((dtdrag * ODZ(k)) * double(IN(i, j, k))) * s);
            b.U2(i, j, k) = b.U2(i, j, k) - r * u1;
            b.V2(i, j, k) = b.V2(i, j, k) - r * v1;
        }
    }
}

// Stage 13, every step: the Coriolis and metric rotation taken trapezoidally
// over the step, at the rate F + TANPHI * u of the filtered level. Solves
// u_new = A + alpha v_new, v_new = B - alpha u_new exactly. Not masked.
void coriolis_rotation(Ctx& c) {
    auto& b = c.bglo;
    const double hdt = 0.5 * c.controglo.dt;
    for (int k = 1; k <= KM; ++k) {
        for (int j = 2; j <= NY - 1; ++j) {
            const double f = b.F(j - 1), tanphi = b.TANPHI(j - 1);
            for (int i = 2; i <= NX - 1; ++i) {
                const double alpha = hdt * (tanphi * b.ULF(i, j, k) + f);
                const double beta = 1.0 / (alpha * alpha + 1.0);
                const double A = alpha * b.V1(i, j, k) + b.U2(i, j, k);
                const double B = b.V2(i, j, k) - alpha * b.U1(i, j, k);
                b.U2(i, j, k) = (alpha * B + A) * beta;
                b.V2(i, j, k) = beta * (B - alpha * A);
            }
        }
    }
}

}  // namespace hc
