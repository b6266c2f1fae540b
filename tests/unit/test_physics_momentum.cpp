// Momentum sources of the new level on one tile: bottom drag, the Coriolis
// rotation and the open northern boundary.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "driver/driver.hpp"

using namespace hc;

namespace {

std::unique_ptr<Ctx> tile() {
    std::unique_ptr<Ctx> c{make_ctx()};
    c->controglo.dt = 1000.0;
    c->controglo.drag = 1.0e-3;
    for (int k = 1; k <= KM; ++k) c->zfsglo.ODZ(k) = 1.0e-4;  // 100 m layers
    c->bathyglo.IN.fill(1);
    c->bathyglo.KB.fill(KM);
    return c;
}

}  // namespace

// r = min(0.2, dt drag / dz * |u1|): below the cap and capped, at rest, on
// land, above the bottom and where the bottom level lies outside 1..40.
TEST(PhysMomentum, BottomDrag) {
    auto c = tile();
    auto& b = c->bglo;
    auto& KB = c->bathyglo.KB;
    struct Case {
        int i, kb;
        double u1, v1;
        bool land;
        double r;  // expected drag factor at the bottom level
    };
    const Case cases[] = {
        {2, 10, 30.0, 40.0, false, 1000.0 * 1e-3 * 1e-4 * 50.0},  // 0.005
        {3, 10, 3000.0, 4000.0, false, 0.2},                      // uncapped 0.5
        {4, 10, 0.0, 0.0, false, 0.0},
        {5, 10, 3000.0, 4000.0, true, 0.0},
        {6, 1, 3000.0, 4000.0, false, 0.2},
    };
    const int j = 7;
    for (const Case& cs : cases) {
        KB(cs.i, j) = cs.kb;
        if (cs.land) c->bathyglo.IN(cs.i, j, cs.kb) = 0;
        for (int k = 1; k <= KM; ++k) {
            b.U1(cs.i, j, k) = cs.u1;
            b.V1(cs.i, j, k) = cs.v1;
            b.U2(cs.i, j, k) = 1.0;
            b.V2(cs.i, j, k) = 2.0;
        }
    }
    KB(8, j) = 0;
    KB(9, j) = 41;
    b.U1.fill(5.0);  // the out-of-range columns: nothing may be touched
    for (const Case& cs : cases)
        for (int k = 1; k <= KM; ++k) b.U1(cs.i, j, k) = cs.u1;
    bottom_drag(*c);
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.i);
        EXPECT_NEAR(b.U2(cs.i, j, cs.kb), 1.0 - cs.r * cs.u1, 1e-9);
        EXPECT_NEAR(b.V2(cs.i, j, cs.kb), 2.0 - cs.r * cs.v1, 1e-9);
        if (cs.kb > 1) { EXPECT_EQ(b.U2(cs.i, j, cs.kb - 1), 1.0); }
    }
    for (int k = 1; k <= KM; ++k) {
        EXPECT_EQ(b.U2(8, j, k), 0.0);
        EXPECT_EQ(b.U2(9, j, k), 0.0);
    }
}

// With U1 = U2 = 0 and V1 = V2 = V0 the rotation gives U2 = 2 a V0 / (1 + a^2)
// and V2 = V0 (1 - a^2) / (1 + a^2), a = dt/2 (F + TANPHI ULF); with a = 0
// nothing changes, on land as well as on water.
TEST(PhysMomentum, CoriolisRotation) {
    auto c = tile();
    auto& b = c->bglo;
    const double v0 = 7.0;
    b.V1.fill(v0);
    b.V2.fill(v0);
    b.F(5) = 1.0e-4;        // tile row 6
    b.TANPHI(8) = 2.0e-6;   // tile row 9, with ULF = 50: rate 1.0e-4
    b.ULF.fill(50.0);
    c->bathyglo.IN(4, 6, 1) = 0;
    coriolis_rotation(*c);
    const double a = 0.5 * 1000.0 * 1.0e-4;
    for (int j : {6, 9}) {
        for (int i : {4, 40}) {
            EXPECT_NEAR(b.U2(i, j, 1), 2 * a * v0 / (1 + a * a), 1e-12);
            EXPECT_NEAR(b.V2(i, j, 3), v0 * (1 - a * a) / (1 + a * a), 1e-12);
        }
    }
    EXPECT_EQ(b.U2(40, 20, 1), 0.0);
    EXPECT_EQ(b.V2(40, 20, 1), v0);
    EXPECT_EQ(b.V2(1, 6, 1), v0);  // halo untouched
}

// Outflow (v > 0) removes the filtered value and ignores row 50; inflow
// (v < 0) brings in row 50 and ignores the filtered value; no flow or a land
// cell leaves row 49 as it was; other rows are untouched.
TEST(PhysMomentum, OpenNorthernBoundary) {
    auto c = tile();
    auto& b = c->bglo;
    auto& m = c->metricglo;
    m.ODY(49) = 1.0e-6;
    m.CSV(49) = 0.5;
    m.OCS(49) = 2.0;
    Field* X2[5] = {&b.U2, &b.V2, &b.S2, &b.T2, &b.C2};
    Field* XLF[5] = {&b.ULF, &b.VLF, &b.SLF, &b.TLF, &b.CLF};
    for (int f = 0; f < 5; ++f) {
        for (int k = 1; k <= KM; ++k)
            for (int i = 1; i <= NX; ++i) {
                (*X2[f])(i, 48, k) = 1.0 + f;
                (*X2[f])(i, 49, k) = 10.0 + f;
                (*XLF[f])(i, 49, k) = 20.0 + f;
                (*X2[f])(i, 50, k) = 30.0 + f;
            }
    }
    auto& V = c->cgridglo.V;
    V(10, 49, 2) = 4.0;
    V(11, 49, 2) = -4.0;
    V(12, 49, 2) = 0.0;
    V(13, 49, 2) = 4.0;
    c->bathyglo.IN(13, 49, 2) = 0;
    open_northern_boundary(*c);
    const double a = 0.5 * 1000.0 * 1.0e-6 * 0.5 * 2.0;  // 5e-4
    for (int f = 0; f < 5; ++f) {
        SCOPED_TRACE(f);
        const Field& x = *X2[f];
        EXPECT_NEAR(x(10, 49, 2), (10.0 + f) - 8.0 * a * (20.0 + f), 1e-12);
        EXPECT_NEAR(x(11, 49, 2), (10.0 + f) + 8.0 * a * (30.0 + f), 1e-12);
        EXPECT_EQ(x(12, 49, 2), 10.0 + f);
        EXPECT_EQ(x(13, 49, 2), 10.0 + f);
        EXPECT_EQ(x(10, 48, 2), 1.0 + f);
        EXPECT_EQ(x(10, 50, 2), 30.0 + f);
    }
}
