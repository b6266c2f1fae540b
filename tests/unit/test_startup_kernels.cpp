// Start-up kernels on a tile built in the test: slab unpacking, the derived
// run scalars, the bathymetry check, wind scaling, nudging rates, lateral
// viscosity and the extra vertical viscosity.
#include <gtest/gtest.h>

#include <pnetcdf.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "driver/driver.hpp"
#include "driver/setup.hpp"
#include "io/io.hpp"
#include "io/readers.hpp"
#include "var/state.hpp"

using namespace hc;

namespace {

std::unique_ptr<Ctx> fresh() { return std::unique_ptr<Ctx>(make_ctx()); }

// A depth table of 100 m levels: centres at 50, 150 ... m, faces at 0, 100 ... m (cm).
void uniform_depths(Ctx& c) {
    for (int n = 1; n <= NZT; ++n) c.zfsglo.Z(n) = 5000.0 * (n - 1);
}

// A bathymetry of kb everywhere with the cell mask to match.
void flat_bottom(Ctx& c, int kb) {
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) {
            c.bathyglo.KB(i, j) = static_cast<i16>(kb);
            for (int k = 1; k <= KM; ++k) c.bathyglo.IN(i, j, k) = k <= kb ? 1 : 0;
        }
}

void set_column(Ctx& c, int i, int j, int kb) {
    c.bathyglo.KB(i, j) = static_cast<i16>(kb);
    for (int k = 1; k <= KM; ++k) c.bathyglo.IN(i, j, k) = k <= kb ? 1 : 0;
}

}  // namespace

TEST(StartupUnpack, HaloPlaneMonthlyFieldAndPlaneOrder) {
    auto c = fresh();
    std::vector<double> buf(INTERIOR * NMONTH);
    for (size_t n = 0; n < buf.size(); ++n) buf[n] = static_cast<double>(n);

    // Halo'd plane: i outermost, j inner; the halo stays as it was.
    Plane& P = c->bglo.P0;
    P.fill(-1.0);
    rvec2mtx(P.data(), buf.data(), 82, 50, 80, 48, 1, 1, 1);
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) {
            const bool halo = i == 1 || i == NX || j == 1 || j == NY;
            EXPECT_EQ(P(i, j), halo ? -1.0 : double((i - 2) * 48 + (j - 2))) << i << "," << j;
        }

    // Monthly 80 x 48 x 12 field: the month fastest in the buffer.
    IMonthly& Q = c->climatglo.QAVG;
    rvec2mtx(Q.data(), buf.data(), 80, 48, 80, 48, 12, 0, 0);
    EXPECT_EQ(Q(1, 1, 1), 0.0);
    EXPECT_EQ(Q(1, 1, 12), 11.0);
    EXPECT_EQ(Q(1, 2, 1), 12.0);
    EXPECT_EQ(Q(2, 1, 1), 48.0 * 12);
    EXPECT_EQ(Q(80, 48, 12), double(INTERIOR * NMONTH - 1));

    // Level-fastest 41-level field with halo, as the per-field reader unpacks it.
    std::vector<double> wbuf(INTERIOR * KMP1);
    for (size_t n = 0; n < wbuf.size(); ++n) wbuf[n] = static_cast<double>(n);
    FieldW& W = c->cgridglo.W;
    W.fill(-1.0);
    rvec2mtx(W.data(), wbuf.data(), 82, 50, 80, 48, KMP1, 1, 1);
    EXPECT_EQ(W(2, 2, 41), 40.0);
    EXPECT_EQ(W(2, 3, 1), 41.0);
    EXPECT_EQ(W(3, 2, 1), 41.0 * 48);
    EXPECT_EQ(W(81, 49, 41), double(INTERIOR * KMP1 - 1));
    EXPECT_EQ(W(1, 2, 1), -1.0);
    EXPECT_EQ(W(82, 49, 41), -1.0);

    // The 2-D unpacker puts the same order into the interior of a plane.
    Plane& X = c->sevp.X;
    X.fill(-1.0);
    dvec2mtx(X, buf.data());
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) EXPECT_EQ(X(i, j), P(i, j));

    // Without a halo: the value for (i, j) lands at (i - 1, j - 1).
    IPlane& T = c->climatglo.TNUDGE;
    rvec2mtx2(T.data(), buf.data(), 82, 50, 80, 48, 1, 1, 1);
    for (int j = 1; j <= NYI; ++j)
        for (int i = 1; i <= NXI; ++i) EXPECT_EQ(T(i, j), P(i + 1, j + 1));
}

TEST(StartupRunScalars, StepsPerDayAndHeatFluxFactor) {
    struct Case {
        double daodt;
        int nday;
    } cases[] = {{24.0, 24}, {24.0 - 5.0e-5, 24}, {24.0 - 2.0e-4, 23}, {48.0, 48}, {1.0, 1}};
    for (auto& t : cases) EXPECT_EQ(steps_per_day(t.daodt), t.nday) << t.daodt;
    // The product dt * ODZ(1) is formed first.
    const double dt = 1800.0, odz1 = 1.0 / 1000.0;
    EXPECT_EQ(heat_flux_factor(dt, odz1), 41679.359375 / (dt * odz1));
    EXPECT_EQ(41679.359375, double(41679.36f));
}

TEST(StartupBathymetry, RefusesLevelsOutOfRangeAndMasksThatDisagree) {
    auto c = fresh();
    int where[3] = {};
    flat_bottom(*c, 40);
    set_column(*c, 5, 6, 0);  // land is fine
    EXPECT_EQ(bathymetry_faults(*c, where), 0);

    c->bathyglo.KB(7, 8) = 41;
    EXPECT_EQ(bathymetry_faults(*c, where), 1);
    EXPECT_EQ(where[0], 7);
    EXPECT_EQ(where[1], 8);
    EXPECT_EQ(where[2], 0);
    c->bathyglo.KB(7, 8) = -1;
    EXPECT_EQ(bathymetry_faults(*c, where), 1);

    flat_bottom(*c, 12);
    c->bathyglo.IN(82, 50, 13) = 1;  // water below the bottom, on the halo
    EXPECT_EQ(bathymetry_faults(*c, where), 1);
    EXPECT_EQ(where[0], 82);
    EXPECT_EQ(where[2], 13);
    flat_bottom(*c, 12);
    c->bathyglo.IN(2, 2, 1) = 0;  // a dry top over a wet column
    EXPECT_EQ(bathymetry_faults(*c, where), 1);
}

TEST(StartupWinds, TenfoldOnWaterZeroOnLandAndWetCount) {
    auto c = fresh();
    flat_bottom(*c, 3);
    set_column(*c, 2, 2, 0);    // interior land point (1, 1) of the stress arrays
    set_column(*c, 81, 49, 0);  // interior land point (80, 48)
    set_column(*c, 1, 1, 0);    // halo: not counted either way
    for (int m = 1; m <= NMONTH; ++m)
        for (int j = 1; j <= NYI; ++j)
            for (int i = 1; i <= NXI; ++i) {
                c->windsglo.TAUX(i, j, m) = 0.1 * m + i;
                c->windsglo.TAUY(i, j, m) = -0.2 * m + j;
            }
    EXPECT_EQ(scale_surface_winds(*c), INTERIOR - 2);
    for (int m : {1, 12}) {
        EXPECT_EQ(c->windsglo.TAUX(1, 1, m), 0.0);
        EXPECT_EQ(c->windsglo.TAUY(80, 48, m), 0.0);
        EXPECT_EQ(c->windsglo.TAUX(3, 4, m), (0.1 * m + 3) * 10.0);
        EXPECT_EQ(c->windsglo.TAUY(3, 4, m), (-0.2 * m + 4) * 10.0);
    }
}

TEST(StartupNudging, TaperAtExampleLatitudes) {
    struct Case {
        double y, ys, f;
    } cases[] = {
        {85.0, 84.5, 1.0},
        {83.0, 82.5, 1.0},
        {50.0, 49.5, 0.0},
        {0.0, -0.5, 0.0},
        {82.0, 81.5, std::exp(-0.275 * 1.0 / 0.5)},
        {81.0, 80.5, std::exp(-0.275 * 2.0 / 0.5)},
        {80.9, 80.4, 0.0},
        {-69.5, -70.0, 1.0},
        {-75.0, -75.5, 1.0},
        {-68.5, -69.0, std::exp(-0.275 * 1.0 / 0.5)},
        {-67.5, -68.0, std::exp(-0.275 * 2.0 / 0.5)},
        {-67.4, -67.9, 0.0},
    };
    for (auto& t : cases) EXPECT_DOUBLE_EQ(nudging_taper(t.y, t.ys), t.f) << t.y;
}

TEST(StartupNudging, RatesOnTileWithShallowColumns) {
    auto c = fresh();
    c->controglo.daodt = 24.0;
    const double r = 1.0 / (90.0 * 24.0);
    flat_bottom(*c, 10);
    for (int j = 1; j <= NY; ++j) c->metricglo.YDEG(j) = 60.0 + 0.5 * j;  // row 44 at 82 N, row 46 at 83 N
    set_column(*c, 10, 44, 1);
    c->nudging.HMEAN_NUDGE.fill(-1.0);
    set_ts_nudging(*c);
    auto& n = c->nudging;
    // The shallow column and its four neighbours: no salinity or interior relaxation.
    const int pts[5][2] = {{10, 44}, {9, 44}, {11, 44}, {10, 43}, {10, 45}};
    for (auto& p : pts) {
        EXPECT_EQ(n.T_NUDGE(p[0], p[1]), r);
        EXPECT_EQ(n.S_NUDGE(p[0], p[1]), 0.0);
        for (int k : {1, 41}) EXPECT_EQ(n.HMEAN_NUDGE(p[0], p[1], k), 0.0);
    }
    EXPECT_EQ(n.S_NUDGE(12, 44), r);
    for (int k : {1, 20, 41}) {
        EXPECT_DOUBLE_EQ(n.HMEAN_NUDGE(30, 44, k), r * std::exp(-0.275 * 1.0 / 0.5));
        EXPECT_EQ(n.HMEAN_NUDGE(30, 46, k), r);
        EXPECT_EQ(n.HMEAN_NUDGE(30, 20, k), 0.0);
    }
    // Halo rows and columns keep their zeros (HMEAN_NUDGE its fill).
    for (int j = 1; j <= NY; ++j) {
        EXPECT_EQ(n.T_NUDGE(1, j), 0.0);
        EXPECT_EQ(n.S_NUDGE(82, j), 0.0);
        EXPECT_EQ(n.HMEAN_NUDGE(1, j, 1), -1.0);
    }
    for (int i = 1; i <= NX; ++i) EXPECT_EQ(n.T_NUDGE(i, 50), 0.0);
}

TEST(StartupLateralMixing, EquatorSpotAndWalls) {
    // At the equator, far from spots and walls: the equatorial 2.0e6 alone.
    EXPECT_NEAR(lateral_enhancement(145, 0.0, 0.0), 2.0e6, 0.01);
    // At the centre of spot 1 it adds its weight 5.0e5 (spot 2 and the equator
    // subtracted; spot 10 still adds about 1).
    const double q = std::exp(-(0.0010000000474974513 * 15.5) * 15.5);
    const double g2 = std::exp(-0.009999999776482582 * (5.0 * 5.0 + 25.0 * 25.0));
    EXPECT_NEAR(lateral_enhancement(145, 109.5, 15.5) - 2.0e6 * q - 5.0e5 * g2, 5.0e5, 2.0);
    // At spot 3 the 2.0e6 weight; spot 4 lies near it, so compare with 3 degrees west of it.
    EXPECT_GT(lateral_enhancement(145, 300.8999938964844, 45.11000061035156) -
                  lateral_enhancement(145, 297.9, 45.11000061035156),
              0.0);
    // The walls: 1.0e6 at the southernmost and northernmost interior rows,
    // e-folding over about 32 rows, in single precision.
    for (int jg : {2, 289}) {
        const double y = jg == 2 ? -80.0 : 80.0;
        const double eq = 2.0e6 * std::exp(-(0.0010000000474974513 * y) * y);
        EXPECT_NEAR(lateral_enhancement(jg, 0.0, y) - eq, 1.0e6, 1.0e-3) << jg;
    }
    const double w34 = lateral_enhancement(34, 0.0, -90.0) - 2.0e6 * std::exp(-(0.0010000000474974513 * 90.0) * 90.0);
    EXPECT_EQ(w34, double(1.0e6f * (std::exp(-0.001f * 1024.0f) + std::exp(-0.001f * float(255 * 255)))));
}

TEST(StartupLateralMixing, TileFieldsEqualAtEveryLevel) {
    auto c = fresh();
    c->controglo.dm0 = 2.0e7;
    c->mpicomm.myidy = 5;
    for (int i = 1; i <= NX; ++i) c->metricglo.XDEG(i) = 100.0 + i;
    for (int j = 1; j <= NY; ++j) c->metricglo.YDEG(j) = 30.0 + j;
    set_lateral_mixing(*c);
    auto& f = c->filterglo;
    for (int j : {1, 25, 50})
        for (int i : {1, 10, 82}) {
            const double want = 2.0e7 + lateral_enhancement(240 + j, 100.0 + i, 30.0 + j);
            for (int k : {1, 17, 40}) {
                EXPECT_EQ(f.DMX(i, j, k), want);
                EXPECT_EQ(f.DMY(i, j, k), want);
            }
        }
}

TEST(StartupEddyViscosity, FlatBottomAndLandInTheStencil) {
    auto c = fresh();
    uniform_depths(*c);
    for (int k = 1; k <= KMM1; ++k) c->windmxglo.vbk(k) = 0.1 * k;
    for (int j = 1; j <= NY; ++j) {
        c->metricglo.YDEG(j) = -10.0 + 0.5 * j;
        c->metricglo.ODX(j) = 1.0e-7;
        c->metricglo.ODY(j) = 1.0e-7;
    }
    flat_bottom(*c, 20);
    set_extra_vertical_eddy_viscosity(*c);
    // No slope: ADD is the shallow-water term plus vbk.
    const double H = 5000.0 * 40;
    const double q = 10.0 / 0.5;  // row 40 at 10 N, rows 0.5 degrees apart
    for (int k : {1, 39})
        EXPECT_EQ(c->tauglo.ADD(39, 39, k),
                  0.5 * std::exp(-std::min(10.0, 0.00019999999494757503 * H) - (0.009999999776482582 * q) * q) +
                      0.1 * k);

    // Land (KB = 0) next to a wet column and at the clamped corner of the
    // tile: its floor and centre are the surface, the values stay finite.
    set_column(*c, 11, 20, 0);
    set_column(*c, 3, 3, 0);
    set_column(*c, 2, 3, 0);
    set_extra_vertical_eddy_viscosity(*c);
    for (int k = 1; k <= KMM1; ++k) {
        EXPECT_TRUE(std::isfinite(c->tauglo.ADD(9, 19, k)));
        EXPECT_TRUE(std::isfinite(c->tauglo.ADD(1, 1, k)));
    }
    // The wet column west of the land one sees a slope of its whole centre
    // depth: level 20's centre Z(40) against the surface Z(1) = 0.
    const double sx = (0.0 - c->zfsglo.Z(40)) * 1.0e-7;
    const double s = 5.0 * std::sqrt(sx * sx);
    const double dk = H - c->zfsglo.Z(2 * 19 + 1);
    const double q19 = c->metricglo.YDEG(20) / (c->metricglo.YDEG(21) - c->metricglo.YDEG(20));
    EXPECT_EQ(c->tauglo.ADD(9, 19, 19),
              (0.5 * std::exp(-std::min(10.0, 0.00019999999494757503 * H) - (0.009999999776482582 * q19) * q19) +
               c->windmxglo.vbk(19)) +
                  std::min(5.0, s * std::exp(-(9.99999993922529e-09 * dk) * dk)));
}

TEST(StartupRestartStep, StepsAtRestoredDays) {
    EXPECT_EQ(restart_step(10.0, 24.0), 240);
    EXPECT_EQ(restart_step(10.0, 48.0), 480);
    EXPECT_EQ(restart_step(3600.0, 24.0), 86400);
    EXPECT_EQ(restart_step(1.0 / 3.0, 24.0), 8);
}

TEST(StartupNetcdfReport, SilentOnSuccessTwoLinesOnFailure) {
    auto c = fresh();
    int ok = NC_NOERR, bad = NC_ENOTVAR;
    testing::internal::CaptureStdout();
    pnetcdferrck(*c, ok);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    testing::internal::CaptureStdout();
    pnetcdferrck(*c, bad);
    const std::string out = testing::internal::GetCapturedStdout();
    std::string text = ncmpi_strerror(NC_ENOTVAR);
    text.resize(80, ' ');
    EXPECT_EQ(out, "\npnetcdf error: " + text + "\n");
}

// Twelve months through the climatology build: a surface salinity of 32
// becomes 33 in every month of the climatology and in the January state, but
// enters the annual mean as 32 (12 times 32 times 1/12 in single precision:
// 32.000000953674316; with the floor first it would be 33.000001); deeper
// salinities and the halo are kept, resp. floored, alike.
TEST(StartupClimatology, SurfaceSalinityFloorAndAnnualMeans) {
    auto c = fresh();
    auto& cl = c->climatglo;
    auto& b = c->bglo;
    for (int m = 1; m <= NMONTH; ++m) {
        cl.SCLIM.fill(35.0);
        cl.TCLIM.fill(double(m));
        cl.SCLIM(10, 10, 1) = 32.0;
        cl.SCLIM(10, 10, 2) = 32.0;
        cl.SCLIM(1, 5, 1) = 31.0;  // halo points are built too
        add_climatology_month(*c, m);
    }
    finish_climatology(*c);
    for (int m = 1; m <= NMONTH; ++m) {
        EXPECT_EQ(cl.SCLIS(10, 10, 1, m), 33.0) << m;
        EXPECT_EQ(cl.SCLIS(10, 10, 2, m), 32.0) << m;
        EXPECT_EQ(cl.SCLIS(1, 5, 1, m), 33.0) << m;
        EXPECT_EQ(cl.TCLIS(5, 5, 5, m), double(m)) << m;
    }
    EXPECT_EQ(cl.SCLIM(10, 10, 1), 32.000000953674316);
    EXPECT_EQ(cl.SCLIM(10, 10, 2), 32.000000953674316);
    EXPECT_NEAR(cl.SCLIM(20, 20, 1), 35.0, 2e-6);
    EXPECT_NEAR(cl.TCLIM(5, 5, 5), 6.5000001937150955, 1e-14);  // (1 + ... + 12) / 12
    EXPECT_EQ(b.S1(10, 10, 1), 33.0);  // January after the floor
    EXPECT_EQ(b.S1(10, 10, 2), 32.0);
    EXPECT_EQ(b.T1(5, 5, 5), 1.0);
    for (Field* f : {&b.S2, &b.T2}) {
        EXPECT_EQ((*f)(10, 10, 1), 0.0);
        EXPECT_EQ((*f)(1, 1, 40), 0.0);
    }
}

// The cold start: the three levels of T and S from the January state, no
// CFC, counts of 2, and the first guess of the correction with December
// taking January as its next month and the steps of a month truncated.
TEST(StartupColdStart, StateAndFirstGuessOfTheCorrection) {
    auto c = fresh();
    auto& cl = c->climatglo;
    auto& b = c->bglo;
    flat_bottom(*c, 40);
    c->bathyglo.IN(30, 20, 1) = 0;
    b.S1.fill(34.0);
    b.T1.fill(4.0);
    for (Field* f : {&b.S2, &b.T2, &b.SLF, &b.TLF, &b.C1, &b.C2, &b.CLF}) f->fill(9.0);
    for (int m = 1; m <= NMONTH; ++m)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) cl.TCLIS(i, j, 1, m) = 0.5 * m;
    cl.NSOMBO.fill(7);
    cold_start_state(*c);
    for (Field* f : {&b.S2, &b.SLF}) EXPECT_EQ((*f)(40, 20, 3), 34.0);
    for (Field* f : {&b.T2, &b.TLF}) EXPECT_EQ((*f)(1, 50, 40), 4.0);
    for (Field* f : {&b.C1, &b.C2, &b.CLF}) EXPECT_EQ((*f)(40, 20, 1), 0.0);

    struct Case {
        double daodt, steps;
    } cases[] = {{48.0, 1440.0}, {47.99, 1439.0}};
    for (const auto& e : cases) {
        c->controglo.daodt = e.daodt;
        first_guess_flux_correction(*c);
        for (int m = 1; m <= 11; ++m) EXPECT_EQ(cl.QAVG(40, 20, m), 0.5 / e.steps) << m;
        EXPECT_EQ(cl.QAVG(40, 20, 12), (0.5 - 6.0) / e.steps);  // January follows December
        EXPECT_EQ(cl.QAVG(1, 1, 12), (0.5 - 6.0) / e.steps);
        EXPECT_EQ(cl.QAVG(80, 48, 1), 0.5 / e.steps);
        for (int m = 1; m <= NMONTH; ++m) {
            EXPECT_EQ(cl.QAVG(29, 19, m), 0.0) << m;  // land
            EXPECT_EQ(cl.NSOMBO(m), 2);
        }
    }
}

// The closed edges hold the annual means in their outer halo row at all three
// time levels; inner process rows and every other row keep their values.
TEST(StartupBoundaryRows, OuterHaloRowsTakeTheAnnualMeans) {
    for (int py : {0, 2, LASTROW}) {
        auto c = fresh();
        auto& b = c->bglo;
        auto& cl = c->climatglo;
        c->mpicomm.myidy = py;
        Field* t[] = {&b.T1, &b.T2, &b.TLF};
        Field* s[] = {&b.S1, &b.S2, &b.SLF};
        for (int n = 0; n < 3; ++n) t[n]->fill(1.0 + n), s[n]->fill(30.0 + n);
        for (int k = 1; k <= KM; ++k)
            for (int j = 1; j <= NY; ++j)
                for (int i = 1; i <= NX; ++i) {
                    cl.TCLIM(i, j, k) = 10.0 + 0.01 * i + j + 0.1 * k;
                    cl.SCLIM(i, j, k) = 40.0 + 0.01 * i + j + 0.1 * k;
                }
        set_boundary_rows(*c);
        for (int n = 0; n < 3; ++n) {
            for (int j : {1, 2, 49, 50}) {
                const bool edge = (py == 0 && j == 1) || (py == LASTROW && j == NY);
                for (int i : {1, 40, 82})
                    for (int k : {1, 40}) {
                        EXPECT_EQ((*t[n])(i, j, k), edge ? cl.TCLIM(i, j, k) : 1.0 + n) << py << " " << j;
                        EXPECT_EQ((*s[n])(i, j, k), edge ? cl.SCLIM(i, j, k) : 30.0 + n) << py << " " << j;
                    }
            }
        }
    }
}

// The land fill of the cold start: a land point (holding 0) takes the mean
// of its four neighbours as they were before the fill (a land neighbour
// counting 0); the line reports the tile's extremes of the fills; a level
// without land reports the starting extremes, too wide for their fields:
// asterisks. On a restart nothing changes.
TEST(StartupLandFill, NeighbourMeansAndTheReportLine) {
    auto c = fresh();
    auto& b = c->bglo;
    flat_bottom(*c, 40);
    auto& IN = c->bathyglo.IN;
    IN(10, 10, 1) = IN(11, 10, 1) = IN(10, 10, 2) = 0;
    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                const bool land = IN(i, j, k) == 0;
                b.S1(i, j, k) = land ? 0.0 : 34.0 + 0.004 * i + 0.04 * j + k;
                b.T1(i, j, k) = land ? 0.0 : 10.0 - 0.004 * i - 0.04 * j + k;
            }
    c->controglo.lrstrt = 1;
    eliminate_spurious_values(*c);
    EXPECT_EQ(b.S1(10, 10, 1), 0.0);
    EXPECT_EQ(b.T1(11, 10, 1), 0.0);

    // (35.436 + 35.4 + 35.48) / 4 and (35.448 + 35.404 + 35.484) / 4; in T
    // (10.564 + 10.6 + 10.52) / 4 and (10.552 + 10.596 + 10.516) / 4.
    EXPECT_EQ(fill_land_level(*c, 1), "n,k,tmin,tmax,smin,smax:    1  1  7.916  7.921 26.579 26.584");
    EXPECT_NEAR(b.S1(10, 10, 1), 26.579, 1e-12);
    EXPECT_NEAR(b.S1(11, 10, 1), 26.584, 1e-12);
    EXPECT_NEAR(b.T1(10, 10, 1), 7.921, 1e-12);
    EXPECT_NEAR(b.T1(11, 10, 1), 7.916, 1e-12);
    EXPECT_EQ(b.S1(12, 10, 1), 34.0 + 0.004 * 12 + 0.04 * 10 + 1);
    EXPECT_EQ(fill_land_level(*c, 2), "n,k,tmin,tmax,smin,smax:    1  2 11.560 11.560 36.440 36.440");
    EXPECT_EQ(fill_land_level(*c, 3), "n,k,tmin,tmax,smin,smax:    1  3" + std::string(28, '*'));
    EXPECT_EQ(b.S1(10, 10, 3), 34.0 + 0.04 + 0.4 + 3.0);
}
