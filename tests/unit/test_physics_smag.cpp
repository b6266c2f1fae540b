// The Smagorinsky viscosity on one tile, on either side of its exchange: the
// deformation of a flow along and across the rows with metrics that differ
// from row to row, and the faces between water and land.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "physics/physics.hpp"

using namespace hc;

namespace {

constexpr double kCs = 0.11999999731779099;  // 0.12 in single precision, widened
constexpr double kDm0 = 5.0e5;

// Rows 9..12 with their own CSV, OCS and ODY (powers of two); u grows by 4
// per column (D1 = 4 ODX), v by row and doubled in even columns.
std::unique_ptr<Ctx> sheared_tile() {
    std::unique_ptr<Ctx> c{make_ctx()};
    auto& m = c->metricglo;
    for (int j = 1; j <= NY; ++j) {
        m.DX(j) = 0x1p20;
        m.DY(j) = 1.0e7;
        m.ODX(j) = 0x1p-20;
        m.ODY(j) = 0x1p-20;
        m.OCS(j) = 1.0;
        if (j < NY) m.CSV(j) = 1.0;
    }
    const double csv[4] = {0.125, 0.25, 0.5, 1.0}, ocs[4] = {16.0, 4.0, 2.0, 8.0},
                 ody[4] = {0x1p-17, 0x1p-19, 0x1p-20, 0x1p-18}, vrow[4] = {8.0, 1.0, 2.0, 16.0};
    for (int n = 0; n < 4; ++n) {
        m.CSV(9 + n) = csv[n];
        m.OCS(9 + n) = ocs[n];
        m.ODY(9 + n) = ody[n];
    }
    c->bathyglo.IN.fill(1);
    c->controglo.dm0 = kDm0;
    c->mpicomm.jend = 49;
    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                c->cgridglo.U(i, j, k) = 4.0 * i;
                c->cgridglo.V(i, j, k) = (j >= 9 && j <= 12 ? vrow[j - 9] : 0.0) * (i % 2 ? 1.0 : 2.0);
            }
    return c;
}

}  // namespace

// At cell (20, 11): D1 = 4 2^-20 and D2 = (CSV(11) V(20,11) - CSV(10) V(20,10))
// OCS(11) ODY(11) = (0.5 4 - 0.25 2) 2 2^-20 = 3 2^-20, so the deformation is
// 5 2^-20 and the viscosity 0.12 DX DY 5 2^-20 = 0.12 5e7.
TEST(PhysSmag, DeformationAcrossRows) {
    auto c = sheared_tile();
    smag_cell_viscosity(*c);
    const auto& SCR = c->scratchglo.SCR;
    for (int k : {1, 40}) EXPECT_NEAR(SCR(20, 11, k), kCs * 5.0e7, 1e-8) << k;
    // Odd column 21: V(21,11) = 2, V(21,10) = 1, D2 = (1 - 0.25) 2 2^-20 = 1.5 2^-20.
    EXPECT_NEAR(SCR(21, 11, 3), kCs * 1.0e7 * std::sqrt(16.0 + 2.25), 1e-8);
    // Row 12 in column 20: D2 = (1 32 - 0.5 4) 8 2^-18 = 960 2^-20.
    EXPECT_NEAR(SCR(20, 12, 3), kCs * 1.0e7 * std::sqrt(16.0 + 960.0 * 960.0), 1e-6);
}

// A land cell has no Smagorinsky viscosity, whatever the flow; a face between
// it and a water cell takes half the water cell's value plus dm0, in both
// directions; the halo is not computed here.
TEST(PhysSmag, WaterLandFaces) {
    auto c = sheared_tile();
    auto& SCR = c->scratchglo.SCR;
    const int k = 7;
    c->bathyglo.IN(21, 11, k) = 0;
    SCR.fill(-1.0);
    smag_cell_viscosity(*c);
    EXPECT_EQ(SCR(21, 11, k), 0.0);
    EXPECT_EQ(SCR(1, 11, k), -1.0);
    EXPECT_EQ(SCR(20, 50, k), -1.0);
    const double water = kCs * 5.0e7;
    smag_face_viscosity(*c);
    const auto& DMX = c->filterglo.DMX;
    const auto& DMY = c->filterglo.DMY;
    EXPECT_NEAR(DMX(20, 11, k), 0.5 * water + kDm0, 1e-8);
    EXPECT_EQ(DMX(21, 11, k), 0.5 * SCR(22, 11, k) + kDm0);
    EXPECT_EQ(DMY(21, 10, k), 0.5 * SCR(21, 10, k) + kDm0);
    EXPECT_EQ(DMY(21, 11, k), 0.5 * SCR(21, 12, k) + kDm0);
    EXPECT_GT(SCR(21, 12, k), 0.0);
    EXPECT_EQ(DMX(21, 11, k + 1), 0.5 * (SCR(21, 11, k + 1) + SCR(22, 11, k + 1)) + kDm0);
    EXPECT_GT(SCR(21, 11, k + 1), 0.0);
}
