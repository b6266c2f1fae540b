// The vertical-mixing closure on one tile: the Richardson-number regimes, the
// cap, the edge and equatorial terms and the land mask.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "physics/physics.hpp"

using namespace hc;

namespace {

// The closure's single-precision constants, as their widened values.
constexpr double kDecay = 9.999999747378752e-05;
constexpr double kEdge = 0.05000000074505806;
constexpr double kEq = 0.009999999776482582;

struct MixTile {
    std::unique_ptr<Ctx> c{make_ctx()};
    double dz = 1000.0;  // spacing of the level centres, cm
    MixTile() {
        Ctx& x = *c;
        x.controglo.dt = 1800.0;
        for (int n = 1; n <= NZT; ++n) x.zfsglo.Z(n) = 0.5 * dz * (n - 1);
        for (int k = 1; k <= KMP1; ++k) x.zfsglo.ODZW(k) = 1.0 / dz;
        for (int k = 1; k <= KMM1; ++k) {
            x.windmxglo.vbk(k) = 1.0;
            x.windmxglo.hbk(k) = 0.1;
        }
        x.bathyglo.IW.fill(1);
        // Far from the equator: latitudes 60 + j degrees, one degree apart.
        for (int j = 1; j <= NY; ++j) x.metricglo.YDEG(j) = 60.0 + j;
    }
    // The same jump of density and velocity across every interface.
    void jumps(double dR, double dU, double dV) {
        auto& b = c->bglo;
        for (int k = 1; k <= KM; ++k)
            for (int j = 1; j <= NY; ++j)
                for (int i = 1; i <= NX; ++i) {
                    b.RHO(i, j, k) = 1.0 + dR * k;
                    b.U2(i, j, k) = dU * k;
                    b.V2(i, j, k) = dV * k;
                }
    }
    // Edge term at global row jg and interface k, from its definition.
    double edge(int jg, int k) const {
        const double depth = c->zfsglo.Z(2 * k + 1);
        return std::exp(-kEdge * std::abs(jg - 2)) * 10.0 * std::exp(-kDecay * depth) +
               std::exp(-kEdge * std::abs(289 - jg));
    }
    // Equatorial term (cm2/s) at tile row j, interface k.
    double equatorial(int j, int k) const {
        const auto& Y = c->metricglo.YDEG;
        const double tq = -Y(j - 1) / (Y(j) - Y(j - 1));
        return std::exp(-kDecay * c->zfsglo.Z(2 * k + 1)) * 10.0 / (1.0 + kEq * tq * tq);
    }
    double ev(int i, int j, int k) const { return c->bglo.EV(i - 1, j - 1, k) * dz; }
    double hv(int i, int j, int k) const { return c->bglo.HV(i - 1, j - 1, k) * dz; }
};

}  // namespace

// Neutral water (A = 1), unstable water (A = 20, capped) and strongly stable
// water (A near 0, background and edge terms only), in cm2/s.
TEST(PhysMixing, RichardsonRegimes) {
    struct Case {
        const char* name;
        double dR, dU;
        double evA, hvA;  // the A-terms of the raw values: A^2 and A^3
        bool capped;
    };
    const Case cases[] = {
        {"neutral", 0.0, 0.0, 1.0, 1.0, false},
        {"unstable", -1.0e-3, 0.0, 400.0, 8000.0, true},
        {"strongly stable", 1.0, 0.0, 0.0, 0.0, false},
    };
    MixTile t;
    t.c->mpicomm.myidy = 2;
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.name);
        t.jumps(cs.dR, cs.dU, 0.0);
        pp82glonew(*t.c);
        const int i = 7, j = 20, k = 3;
        const int jg = 48 * 2 + j;
        const double cap = 200.0;  // 0.4 / (1800 * 1e-6) = 222 lies above the ceiling
        const double eq = t.equatorial(j, k);
        if (cs.capped) {
            EXPECT_NEAR(t.ev(i, j, k), cap + eq, 1e-9);
            EXPECT_NEAR(t.hv(i, j, k), cap + eq, 1e-9);
        } else {
            const double bnd = t.edge(jg, k);
            EXPECT_NEAR(t.ev(i, j, k), 1.0 + bnd + cs.evA + eq, 1e-6);
            EXPECT_NEAR(t.hv(i, j, k), 0.1 + bnd + cs.hvA + eq, 1e-6);
        }
    }
}

// Near the surface the southern edge adds about 10 cm2/s and the northern one
// 1 cm2/s; twenty rows in, the southern term has fallen by e^-1.
TEST(PhysMixing, EdgeTermsAtBothEdgesOfTheGrid) {
    struct Case {
        int myidy, j;
    };
    MixTile t;
    for (Case cs : {Case{0, 2}, Case{5, 49}, Case{0, 22}}) {
        t.c->mpicomm.myidy = cs.myidy;
        t.jumps(0.0, 0.0, 0.0);
        pp82glonew(*t.c);
        const int jg = 48 * cs.myidy + cs.j, k = 1;
        const double want = 1.0 + t.edge(jg, k) + 1.0 + t.equatorial(cs.j, k);
        EXPECT_NEAR(t.ev(5, cs.j, k), want, 1e-9) << "global row " << jg;
    }
    // The last case left the southernmost process row in place.
    const double south = t.ev(5, 2, 1) - 2.0 - t.equatorial(2, 1);
    EXPECT_NEAR(south, 10.0 * std::exp(-kDecay * 1000.0), 2e-6);
    const double in20 = t.ev(5, 22, 1) - 2.0 - t.equatorial(22, 1);
    EXPECT_NEAR(in20 / south, std::exp(-1.0), 1e-6);
}

// A thin layer lowers the cap below 200; the equatorial term comes after the
// cap, so at the equator the stored value exceeds the cap by 10 cm2/s near
// the surface; a land interface holds exactly 0, equatorial pass included.
TEST(PhysMixing, CapEquatorAndLand) {
    MixTile t;
    t.dz = 100.0;
    for (int k = 1; k <= KMP1; ++k) t.c->zfsglo.ODZW(k) = 1.0 / t.dz;
    for (int n = 1; n <= NZT; ++n) t.c->zfsglo.Z(n) = 0.0;  // no depth decay
    // Tile row 9 holds the equator: its southern neighbour row 8 lies at 0 degrees.
    for (int j = 1; j <= NY; ++j) t.c->metricglo.YDEG(j) = (j - 8) * 0.5;
    t.c->mpicomm.myidy = 2;
    t.jumps(-1.0e-3, 0.0, 0.0);
    t.c->bathyglo.IW(30, 9, 2) = 0;
    pp82glonew(*t.c);
    const double cap = 0.4000000059604645 / (1800.0 * 1e-4);
    EXPECT_LT(cap, 200.0);
    EXPECT_NEAR(t.ev(10, 9, 1), cap + 10.0, 1e-9);
    EXPECT_NEAR(t.hv(10, 9, 1), cap + 10.0, 1e-9);
    // One row north the distance is one row: 10 / (1 + 0.01).
    EXPECT_NEAR(t.ev(10, 10, 1), cap + 10.0 / (1.0 + kEq), 1e-9);
    EXPECT_EQ(t.c->bglo.EV(29, 8, 1), 0.0);
    EXPECT_EQ(t.c->bglo.HV(29, 8, 1), 0.0);
}

// The vertical-velocity term grows with |W| and enters the diffusivity at a
// tenth; the older closure has no edge term, takes ADD as its background and
// no factor 5 in its Richardson number.
TEST(PhysMixing, VerticalVelocityTermAndTheOlderClosure) {
    MixTile t;
    t.c->mpicomm.myidy = 2;
    t.c->scaglo.orzmx = 2.0;
    t.jumps(0.0, 0.0, 0.0);
    t.c->cgridglo.W.fill(-0.01);
    pp82glonew(*t.c);
    const int i = 7, j = 20, k = 3, jg = 48 * 2 + j;
    const double wt = 0.01 * 0.009999999776482582 * 2.0 * 1000.0;  // |W| * 0.01 orzmx dz * A^2
    const double base = t.edge(jg, k) + t.equatorial(j, k);
    EXPECT_NEAR(t.ev(i, j, k), 1.0 + 1.0 + wt + base, 1e-9);
    EXPECT_NEAR(t.hv(i, j, k), 0.1 + 1.0 + 0.10000000149011612 * wt + base, 1e-9);

    MixTile& o = t;
    o.c->cgridglo.W.fill(0.0);
    o.c->tauglo.ADD.fill(3.0);
    // Ri = 980 dR dz / (dU^2 + 0.001), about 0.98 with dR = 1e-6 and dU = 1 per level.
    o.jumps(1.0e-6, 1.0, 0.0);
    pp82glo(*o.c);
    const double ri = 980.0 * 1e-6 * 1000.0 / (1.0 + 0.0010000000474974513);
    const double a = 1.0 / (1.0 + 5.0 * ri);
    EXPECT_NEAR(o.ev(i, j, k), 3.0 + 5.0 * a * a, 1e-9);
    EXPECT_NEAR(o.hv(i, j, k), 0.1 + 5.0 * a * a * a, 1e-9);
}

// Interface k takes ODZW(k + 1), W(k + 1) and IW(k + 1), the face below level
// k: with level spacings and vertical velocities that differ from level to
// level, the neutral value (A = 1) at each interface is the background, the
// edge term, A^2, the vertical-velocity term |W| 0.01 orzmx / o and the
// equatorial term, all times o = ODZW(k + 1).
TEST(PhysMixing, InterfaceTakesTheFaceBelowItsLevel) {
    MixTile t;
    auto& x = *t.c;
    x.mpicomm.myidy = 2;
    x.scaglo.orzmx = 2.0;
    for (int k = 1; k <= KMP1; ++k) x.zfsglo.ODZW(k) = 1.0 / (500.0 * k);
    for (int k = 1; k <= KMP1; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) x.cgridglo.W(i, j, k) = -0.002 * k;
    t.jumps(0.0, 0.0, 0.0);
    x.bathyglo.IW(9, 20, 6) = 0;  // the face below level 5 of column 9 only
    pp82glonew(x);
    const int i = 7, j = 20, jg = 48 * 2 + j;
    for (int k : {1, 4, 5, 6, 30}) {
        const double dzw = 500.0 * (k + 1), o = 1.0 / dzw;
        const double wt = 0.002 * (k + 1) * 0.009999999776482582 * 2.0 * dzw;
        const double cap = std::min(200.0, 0.4000000059604645 * dzw * dzw / 1800.0);
        const double ev = std::min(cap, 1.0 + t.edge(jg, k) + 1.0 + wt) + t.equatorial(j, k);
        const double hv = std::min(cap, 0.1 + t.edge(jg, k) + 1.0 + 0.10000000149011612 * wt) + t.equatorial(j, k);
        EXPECT_NEAR(x.bglo.EV(i - 1, j - 1, k), ev * o, 1e-13 * ev * o) << k;
        EXPECT_NEAR(x.bglo.HV(i - 1, j - 1, k), hv * o, 1e-13 * hv * o) << k;
    }
    EXPECT_EQ(x.bglo.EV(8, j - 1, 5), 0.0);
    EXPECT_EQ(x.bglo.HV(8, j - 1, 5), 0.0);
    EXPECT_NEAR(x.bglo.EV(8, j - 1, 4), x.bglo.EV(i - 1, j - 1, 4), 1e-15);
    EXPECT_GT(x.bglo.EV(8, j - 1, 4), 0.0);
}
