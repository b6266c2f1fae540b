// Vertical eddy viscosity EV and diffusivity HV at the 39 interior interfaces:
// a Richardson-number closure with a background profile, a vertical-velocity
// term, enhanced mixing near the southern and northern edges, a stability cap
// and an equatorial enhancement. Each stored value is the coefficient (cm2/s)
// times ODZW(k+1) and the interface mask, so land interfaces hold 0.
// Everything is local to the tile.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "physics/physics.hpp"

namespace hc {

namespace {

// Single-precision constants of the closure, widened to double.
constexpr double kDecay = double(1.0e-4f);   // 1/cm: depth decay of the edge and equatorial terms
constexpr double kWScale = double(0.01f);    // scale of the vertical-velocity term
constexpr double kCapNum = double(0.4f);     // numerator of the stability cap
constexpr double kEdge = double(0.05f);      // 1/rows: decay of the edge term
constexpr double kShear = double(0.001f);    // added to the squared shear
constexpr double kRiFloor = double(-0.19f);  // floor of the Richardson number
constexpr double kWDiff = double(0.1f);      // share of the vertical-velocity term in HV
constexpr double kEquator = double(0.01f);   // 1/rows^2: width of the equatorial term

// Richardson number across interface k at (i, j) with the given gravity
// factor, and the differences it was built from.
inline double richardson(const Ctx& c, int i, int j, int k, double gfac, double o) {
    const auto& b = c.bglo;
    const double dR = b.RHO(i, j, k + 1) - b.RHO(i, j, k);
    const double dU = b.U2(i, j, k + 1) - b.U2(i, j, k);
    const double dV = b.V2(i, j, k + 1) - b.V2(i, j, k);
    return gfac * dR * o / (o * o * (dU * dU + kShear + dV * dV));
}

}  // namespace

// Called by fsglo first thing in every step with itf modulo 4 equal to 1.
void pp82glonew(Ctx& c) {
    auto& b = c.bglo;
    const auto& Z = c.zfsglo.Z;
    const auto& ODZW = c.zfsglo.ODZW;
    const auto& IW = c.bathyglo.IW;
    const auto& W = c.cgridglo.W;
    const double dt = c.controglo.dt;
    const int row0 = 48 * c.mpicomm.myidy;
    for (int k = 1; k <= KMM1; ++k) {
        const double o = ODZW(k + 1);
        const double ed = 10.0 * std::exp(-kDecay * Z(2 * k + 1));
        const double hf = kWScale * c.scaglo.orzmx / o;
        const double cap = std::min(200.0, kCapNum / (dt * (o * o)));
        for (int j = 2; j <= NY - 1; ++j) {
            // Global row 2 is the southernmost interior row, 289 the northernmost;
            // the southern term decays with depth, the northern one does not.
            const int jg = row0 + j;
            const double bnd =
                std::exp(-kEdge * double(std::abs(jg - 2))) * ed + std::exp(-kEdge * double(std::abs(289 - jg)));
            const double eb = c.windmxglo.vbk(k) + bnd;
            const double hb = c.windmxglo.hbk(k) + bnd;
            for (int i = 2; i <= NX - 1; ++i) {
                const double ri = richardson(c, i, j, k, 5.0 * 980.0, o);
                const double a = 1.0 / (1.0 + 5.0 * std::max(kRiFloor, ri));
                const double a2 = a * a, a3 = a * a * a;
                const double wt = std::fabs(W(i, j, k + 1)) * hf * a2;
                const double evr = eb + a2 + wt;
                const double hvr = a3 + hb + kWDiff * wt;
                const double mask = double(IW(i, j, k + 1));
                b.EV(i - 1, j - 1, k) = std::min(cap, evr) * mask * o;
                b.HV(i - 1, j - 1, k) = std::min(cap, hvr) * mask * o;
            }
        }
    }
    // Equatorial enhancement, after the cap and not capped: 10 cm2/s halving
    // about ten rows from the equator, decaying with depth on a 100 m scale.
    // The distance in rows is taken from the row south of the point.
    const auto& YDEG = c.metricglo.YDEG;
    for (int k = 1; k <= KMM1; ++k) {
        const double ee = std::exp(-kDecay * Z(2 * k + 1));
        for (int j = 2; j <= NY - 1; ++j) {
            const double tq = (0.0 - YDEG(j - 1)) / (YDEG(j) - YDEG(j - 1));
            const double q = ODZW(k + 1) * ee * 10.0 / (1.0 + kEquator * (tq * tq));
            for (int i = 2; i <= NX - 1; ++i) {
                const double add = double(IW(i, j, k + 1)) * q;
                b.EV(i - 1, j - 1, k) += add;
                b.HV(i - 1, j - 1, k) += add;
            }
        }
    }
}

// The older form of the closure (nothing calls it): the viscosity background
// from ADD, no edge term, no factor 5 in the Richardson number, a cap without
// the 200 ceiling and no equatorial enhancement.
void pp82glo(Ctx& c) {
    auto& b = c.bglo;
    const auto& ODZW = c.zfsglo.ODZW;
    const auto& IW = c.bathyglo.IW;
    const auto& W = c.cgridglo.W;
    const double dt = c.controglo.dt;
    for (int k = 1; k <= KMM1; ++k) {
        const double o = ODZW(k + 1);
        const double hf = c.scaglo.orzmx / o;
        const double cap = kCapNum / (dt * (o * o));
        for (int j = 2; j <= NY - 1; ++j) {
            for (int i = 2; i <= NX - 1; ++i) {
                const double ri = richardson(c, i, j, k, 980.0, o);
                const double a = 1.0 / (1.0 + 5.0 * std::max(-0.02, ri));
                const double a2 = a * a, a3 = a * a * a;
                const double wt = std::fabs(W(i, j, k + 1)) * hf * a2;
                const double evr = c.tauglo.ADD(i - 1, j - 1, k) + wt + 5.0 * a2;
                const double hvr = c.windmxglo.hbk(k) + wt + 5.0 * a3;
                const double mask = double(IW(i, j, k + 1));
                b.EV(i - 1, j - 1, k) = std::min(cap, evr) * mask * o;
                b.HV(i - 1, j - 1, k) = std::min(cap, hvr) * mask * o;
            }
        }
    }
}

}  // namespace hc
