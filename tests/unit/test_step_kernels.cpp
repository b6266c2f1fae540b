// The time step's kernels on one tile: equation of state and hydrostatic
// pressure, month weights, the time filter, the surface land fill, the
// pressure gradient, the face fluxes and the flux-form update, and the
// C-grid face interpolation and cell reconstruction. The lines that the
// neighbours would send are written into the work arrays by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "driver/driver.hpp"
#include "driver/step.hpp"
#include "filter/filter.hpp"
#include "test_step_basin.hpp"

using namespace hc;

namespace {

std::unique_ptr<Ctx> basin(int myidy = 2) {
    std::unique_ptr<Ctx> c{make_ctx()};
    test::make_step_basin(*c, myidy);
    return c;
}

void fill3(Field& f, double (*v)(int, int, int)) {
    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) f(i, j, k) = v(i, j, k);
}

}  // namespace

// Reference densities of sea water (g/cm^3) at the surface and at 4000 m,
// and the exact double values that the widened coefficients give in the
// order of the parentheses (worked out apart from the model).
TEST(StepDensity, SeaWaterValuesAndOrdering) {
    struct Case {
        double t, s, z, rho, tol, exact;
    } cases[] = {
        {10.0, 35.0, 0.0, 1.02697, 2e-4, 0x1.06e67764b9c62p+0},
        {0.0, 35.0, 0.0, 1.02811, 2e-4, 0x1.073189794991fp+0},
        {20.0, 35.0, 0.0, 1.02476, 2e-4, 0x1.06572c8777691p+0},
        {2.0, 35.0, 4.0e5, 1.0462, 1e-3, 0x1.0bc3a4fc10e01p+0},
        {-2.5, 45.0, 2500.0, 1.0332, 1e-3, 0x1.087e305d60226p+0},  // both limits
        {28.0, -3.0, 1.0e5, 1.0007, 1e-3, 0x1.002af59543a99p+0},
        {9.84, 34.84, 2500.0, 1.02697, 2e-4, 0x1.06e770af45d57p+0},  // the order of the sums shows
        {29.85, 36.51, 152500.0, 1.0292, 1e-3, 0x1.07790013acd04p+0},
    };
    for (const auto& e : cases) {
        EXPECT_NEAR(insitu_density(e.t, e.s, e.z), e.rho, e.tol) << e.t << " " << e.s;
        EXPECT_EQ(insitu_density(e.t, e.s, e.z), e.exact) << e.t << " " << e.s << " " << e.z;
    }
    EXPECT_GT(insitu_density(5.0, 35.0, 0.0), insitu_density(15.0, 35.0, 0.0));
    EXPECT_GT(insitu_density(10.0, 36.0, 0.0), insitu_density(10.0, 34.0, 0.0));
    EXPECT_GT(insitu_density(10.0, 35.0, 1.0e5), insitu_density(10.0, 35.0, 0.0));
}

// Temperatures below -1.8 and salinities outside 0..41 give the density of
// the limit; T2 and S2 keep their values.
TEST(StepDensity, LimitsApplyToTheFormulaOnly) {
    auto c = basin();
    auto& b = c->bglo;
    b.T2.fill(10.0);
    b.S2.fill(35.0);
    struct Case {
        int i;
        double t, s, tl, sl;
    } cases[] = {
        {5, -2.5, 35.0, -1.7999999523162842, 35.0},
        {6, 10.0, 45.0, 10.0, 41.0},
        {7, 10.0, -3.0, 10.0, 0.0},
        {8, -1.7999999523162842, 41.0, -1.7999999523162842, 41.0},
    };
    const int j = 9, k = 17;
    for (const auto& e : cases) b.T2(e.i, j, k) = e.t, b.S2(e.i, j, k) = e.s;
    solve_hydrostatic_equation(*c);
    for (const auto& e : cases) {
        EXPECT_EQ(b.RHO(e.i, j, k), insitu_density(e.tl, e.sl, c->zfsglo.Z(2 * k))) << e.i;
        EXPECT_EQ(b.T2(e.i, j, k), e.t);
        EXPECT_EQ(b.S2(e.i, j, k), e.s);
    }
}

// P at level 1 is the surface pressure plus rho g z of the first centre; each
// level adds the mean density of the pair over the distance of the centres;
// land points are integrated alike; the halo is not written.
TEST(StepHydrostatic, PressureIntegratesDownward) {
    auto c = basin();
    auto& b = c->bglo;
    fill3(b.T2, [](int, int, int k) { return 20.0 - 0.45 * k; });
    b.S2.fill(34.5);
    b.P0.fill(250.0);
    c->bathyglo.IN(30, 20, 1) = 0;  // a land point
    solve_hydrostatic_equation(*c);
    const double g = c->controglo.g, dz = 5000.0;
    EXPECT_EQ(b.P(30, 20, 1), b.RHO(30, 20, 1) * (g * 2500.0) + 250.0);
    double sum = b.P(30, 20, 1);
    for (int k = 1; k < KM; ++k) sum += 0.5 * (b.RHO(30, 20, k) + b.RHO(30, 20, k + 1)) * g * dz;
    EXPECT_NEAR(b.P(30, 20, KM), sum, 1e-7 * sum);
    // About 200 bar (2e8 dyn/cm^2) at 1975 m.
    EXPECT_NEAR(b.P(30, 20, KM), 1.03 * g * 197500.0, 0.01 * b.P(30, 20, KM));
    for (int k = 1; k <= KM; ++k) {
        EXPECT_EQ(b.P(30, 20, k), b.P(2, 2, k));
        EXPECT_EQ(b.P(30, 20, k), b.P(81, 49, k));
        EXPECT_EQ(b.P(1, 20, k), 0.0);
        EXPECT_EQ(b.RHO(30, 50, k), 0.0);
    }
}

TEST(StepStageTests, MixingAndMonthlyUpdateSteps) {
    for (i32 itf = 1; itf <= 13; ++itf) EXPECT_EQ(mixing_step(itf), itf == 1 || itf == 5 || itf == 9 || itf == 13) << itf;
    struct Case {
        i32 itf, nday;
        bool runs;
    } cases[] = {{1439, 48, true}, {1440, 48, false}, {2879, 48, true}, {1438, 48, false},
                 {29, 1, true},    {30, 1, false},    {59, 1, true},     {5, 0, false}};
    for (const auto& e : cases) EXPECT_EQ(monthly_update_step(e.itf, e.nday), e.runs) << e.itf << " " << e.nday;
}

TEST(StepMonthWeights, DaysOfTheYear) {
    struct Case {
        double days, wnext;
        int mthis, mnext;
    } cases[] = {
        {0.0, 0.0, 1, 2},  {15.0, 0.5, 1, 2},  {345.0, 0.5, 12, 1},
        {360.0, 0.0, 1, 2}, {375.0, 0.5, 1, 2}, {359.25, 359.25 / 30.0 - 11.0, 12, 1},
    };
    auto c = std::unique_ptr<Ctx>(make_ctx());
    for (const auto& e : cases) {
        c->scaglo.days = e.days;
        month_weights(*c);
        EXPECT_EQ(c->klimatglo.wnext, e.wnext) << e.days;
        EXPECT_EQ(c->klimatglo.wthis, 1.0 - e.wnext) << e.days;
        EXPECT_EQ(c->klimatglo.mthis, e.mthis) << e.days;
        EXPECT_EQ(c->klimatglo.mnext, e.mnext) << e.days;
    }
}

// rawf = 1 leaves XLF equal to X2; fltw = 0 copies XLF into X1 and X2 into
// XLF. Halo points are not touched; X2 never changes.
TEST(StepFilter, ClassicalAndUnfilteredCases) {
    struct Case {
        double fltw, rawf;
    } cases[] = {{0.1, 1.0}, {0.0, 0.53}, {0.2, 0.53}};
    auto c = basin();
    for (const auto& e : cases) {
        auto& b = c->bglo;
        c->controglo.fltw = e.fltw;
        c->controglo.rawf = e.rawf;
        Field* f1[] = {&b.U1, &b.V1, &b.T1, &b.S1, &b.C1};
        Field* f2[] = {&b.U2, &b.V2, &b.T2, &b.S2, &b.C2};
        Field* fl[] = {&b.ULF, &b.VLF, &b.TLF, &b.SLF, &b.CLF};
        for (int n = 0; n < 5; ++n) {
            fill3(*f1[n], [](int i, int j, int k) { return 1.0 + 0.01 * i - 0.002 * k; });
            fill3(*f2[n], [](int i, int j, int k) { return 2.0 + 0.02 * j + 0.001 * i; });
            fill3(*fl[n], [](int i, int j, int k) { return 1.5 + 0.003 * k * j; });
        }
        modified_filter(*c);
        for (int n = 0; n < 5; ++n) {
            for (int k = 1; k <= KM; k += 13) {
                const double x1 = 1.0 + 0.01 * 40 - 0.002 * k, x2 = 2.0 + 0.02 * 7 + 0.001 * 40, xl = 1.5 + 0.003 * k * 7;
                const double d = e.fltw * (0.5 * (x1 + x2) - xl);
                EXPECT_EQ((*f2[n])(40, 7, k), x2);
                EXPECT_DOUBLE_EQ((*f1[n])(40, 7, k), xl + e.rawf * d);
                if (e.rawf == 1.0) {
                    EXPECT_EQ((*fl[n])(40, 7, k), x2);
                }
                if (e.fltw == 0.0) {
                    EXPECT_EQ((*f1[n])(40, 7, k), xl);
                    EXPECT_EQ((*fl[n])(40, 7, k), x2);
                }
                // Halo untouched.
                EXPECT_EQ((*f1[n])(1, 7, k), 1.0 + 0.01 - 0.002 * k);
                EXPECT_EQ((*fl[n])(40, 50, k), 1.5 + 0.003 * k * 50);
            }
        }
    }
}

// The Williams step with both coefficients away from their special values,
// on numbers exact in binary: d = fltw (0.5 (X1 + X2) - XLF), X1 := XLF +
// rawf d, XLF := X2 + (rawf - 1) d, for d of either sign, in every field.
TEST(StepFilter, WilliamsStepExactValues) {
    struct Case {
        double fltw, rawf, x1, x2, xlf, new_x1, new_xlf;
    } cases[] = {
        {0.25, 0.5, 1.0, 3.0, 1.5, 1.5625, 2.9375},   // d = 0.125
        {0.5, 0.75, 4.0, 0.0, 1.0, 1.375, -0.125},    // d = 0.5
        {0.25, 0.5, 1.0, 1.0, 2.0, 1.875, 1.125},     // d = -0.25
    };
    auto c = basin();
    auto& b = c->bglo;
    Field* f1[] = {&b.U1, &b.V1, &b.T1, &b.S1, &b.C1};
    Field* f2[] = {&b.U2, &b.V2, &b.T2, &b.S2, &b.C2};
    Field* fl[] = {&b.ULF, &b.VLF, &b.TLF, &b.SLF, &b.CLF};
    for (const auto& e : cases) {
        c->controglo.fltw = e.fltw;
        c->controglo.rawf = e.rawf;
        for (int n = 0; n < 5; ++n) {
            f1[n]->fill(e.x1);
            f2[n]->fill(e.x2);
            fl[n]->fill(e.xlf);
        }
        modified_filter(*c);
        for (int n = 0; n < 5; ++n) {
            for (int k : {1, 40}) {
                EXPECT_EQ((*f1[n])(2, 49, k), e.new_x1) << n << " " << e.fltw << " " << e.rawf;
                EXPECT_EQ((*fl[n])(81, 2, k), e.new_xlf) << n << " " << e.fltw << " " << e.rawf;
                EXPECT_EQ((*f2[n])(40, 20, k), e.x2);
            }
        }
    }
}

// A land point at level 1 takes the mean of its four neighbours as they were
// before the fill (a land neighbour included); water, deeper levels and the
// current level are unchanged.
TEST(StepLandFill, SurfaceLandTakesTheNeighbourMean) {
    auto c = basin();
    auto& b = c->bglo;
    auto& IN = c->bathyglo.IN;
    Field* f[] = {&b.T1, &b.S1, &b.C1};
    for (Field* x : f) fill3(*x, [](int i, int j, int k) { return 1.0 * i + 100.0 * j + 1.0e4 * k; });
    fill3(b.T2, [](int i, int, int) { return 3.0 * i; });
    IN(10, 10, 1) = 0;
    IN(11, 10, 1) = 0;  // land next to land
    IN(2, 2, 1) = 0;    // corner of the tile: neighbours in the halo
    IN(10, 10, 2) = 0;  // land below the surface: not filled
    surface_land_fill(*c);
    auto v = [](int i, int j, int k) { return 1.0 * i + 100.0 * j + 1.0e4 * k; };
    for (Field* x : f) {
        EXPECT_EQ((*x)(10, 10, 1), 0.25 * (((v(9, 10, 1) + v(11, 10, 1)) + v(10, 11, 1)) + v(10, 9, 1)));
        EXPECT_EQ((*x)(11, 10, 1), 0.25 * (((v(10, 10, 1) + v(12, 10, 1)) + v(11, 11, 1)) + v(11, 9, 1)));
        EXPECT_EQ((*x)(2, 2, 1), 0.25 * (((v(1, 2, 1) + v(3, 2, 1)) + v(2, 3, 1)) + v(2, 1, 1)));
        EXPECT_EQ((*x)(12, 10, 1), v(12, 10, 1));
        EXPECT_EQ((*x)(10, 10, 2), v(10, 10, 2));
        EXPECT_EQ((*x)(1, 10, 1), v(1, 10, 1));
    }
    EXPECT_EQ(b.T2(10, 10, 1), 30.0);
}

// With linear pressure (exact in binary) the gradient is 12 c12 times the
// face difference; a closed face drops the correction of its two cells (the
// plain mean, a closed face counting zero); at level 1 the surface masks
// close faces; next to the walls the outer face counts zero.
TEST(StepPressureGradient, ClosedFacesSurfaceMasksAndWalls) {
    const double a = 0.5, bb = 0.25;
    auto run = [&](Ctx& c, int K) {
        fill3(c.bglo.P, [](int i, int j, int) { return 0.5 * i + 0.25 * j; });
        pressure_x_differences(c, K);
        pressure_y_differences(c, K);
        auto& XP = c.blank.XP;
        auto& YP = c.blank.YP;
        for (int j = 2; j <= 49; ++j) XP(0, j) = XP(82, j) = a;  // from the west and east neighbours
        for (int i = 2; i <= 81; ++i) {
            if (c.mpicomm.myidy != 0) YP(i, 0) = bb;
            if (c.mpicomm.myidy != LASTROW) YP(i, 50) = bb;
        }
        pressure_gradient_terms(c, K);
    };
    {
        auto c = basin(2);
        for (int j = 1; j <= NY; ++j) c->bathyglo.IU(10, j, 5) = 0;
        run(*c, 5);
        auto& PX = c->bglo.PX;
        auto& PY = c->bglo.PY;
        for (int j = 2; j <= 49; j += 47) {
            EXPECT_EQ(PX(2, j), (12.0 * a) * c12);
            EXPECT_EQ(PX(81, j), (12.0 * a) * c12);
            EXPECT_EQ(PX(9, j), (13.0 * a) * c12);
            EXPECT_EQ(PX(10, j), (6.0 * a) * c12);
            EXPECT_EQ(PX(11, j), (6.0 * a) * c12);
            EXPECT_EQ(PX(12, j), (13.0 * a) * c12);
            EXPECT_EQ(PX(40, j), (12.0 * a) * c12);
        }
        for (int j = 2; j <= 49; ++j) EXPECT_EQ(PY(30, j), (12.0 * bb) * c12) << j;
    }
    {
        // Level 1: a face closed only in IU0 contributes zero; the correction
        // keeps the level's face mask.
        auto c = basin(2);
        for (int j = 1; j <= NY; ++j) c->bathyglo.IU0(20, j) = 0;
        run(*c, 1);
        EXPECT_EQ(c->bglo.PX(20, 30), (5.0 * a) * c12);
        EXPECT_EQ(c->bglo.PX(21, 30), (5.0 * a) * c12);
        EXPECT_EQ(c->bglo.PX(22, 30), (13.0 * a) * c12);
        EXPECT_EQ(c->bglo.PX(23, 30), (12.0 * a) * c12);
    }
    {
        auto c = basin(0);
        run(*c, 3);
        EXPECT_EQ(c->bglo.PY(30, 2), (6.0 * bb) * c12);
        EXPECT_EQ(c->bglo.PY(30, 3), (13.0 * bb) * c12);
        EXPECT_EQ(c->bglo.PY(30, 4), (12.0 * bb) * c12);
        EXPECT_EQ(c->bglo.PY(30, 49), (12.0 * bb) * c12);
    }
    {
        auto c = basin(LASTROW);
        run(*c, 3);
        EXPECT_EQ(c->bglo.PY(30, 49), (6.0 * bb) * c12);
        EXPECT_EQ(c->bglo.PY(30, 48), (13.0 * bb) * c12);
        EXPECT_EQ(c->bglo.PY(30, 2), (12.0 * bb) * c12);
    }
}

namespace {

// Every field (all three levels) set to v, the second-halo planes included.
void set_all(Ctx& c, double (*v)(int, int, int)) {
    auto& b = c.bglo;
    Field* f[] = {&b.U1, &b.U2, &b.ULF, &b.V1, &b.V2, &b.VLF, &b.S1, &b.S2,
                  &b.SLF, &b.T1, &b.T2, &b.TLF, &b.C1, &b.C2, &b.CLF};
    for (Field* x : f) fill3(*x, v);
}

}  // namespace

// A field constant in space gives the face value 12 c12 c and no diffusive
// flux; where a neighbouring face is closed the face value is the plain mean;
// the southern wall face is never written.
TEST(StepFluxes, FaceValuesClosedFacesAndWalls) {
    auto c = basin(0);
    auto& SCR = c->scratchglo.SCR;
    c->cgridglo.U.fill(1.0);
    c->cgridglo.V.fill(1.0);
    c->filterglo.DMX.fill(3.0e7);
    c->filterglo.DMY.fill(3.0e7);
    i32 K = 6;
    copy_level_viscosity(*c, K);
    const double cst = 7.25;
    set_all(*c, [](int, int, int) { return 7.25; });
    SCR.fill(7.25);
    auto& f = c->flxglo;
    f.T.XY.fill(99.0);
    compute_longitudinal_fluxes(*c, K);
    compute_latitudinal_fluxes(*c, K);
    FluxSet* all[] = {&f.U, &f.V, &f.S, &f.T, &f.C};
    for (FluxSet* x : all) {
        EXPECT_EQ(x->XX(1, 1), (12.0 * cst) * c12);
        EXPECT_EQ(x->XX(81, 48), (12.0 * cst) * c12);
        EXPECT_EQ(x->XY(40, 2), (12.0 * cst) * c12 * c->metricglo.CSV(2));
        EXPECT_EQ(x->XY(40, 49), (12.0 * cst) * c12 * c->metricglo.CSV(49));
    }
    EXPECT_EQ(f.T.XY(40, 1), 99.0);  // the southern wall

    // A quadratic T2 shows the fourth-order correction and its fallback.
    fill3(c->bglo.T2, [](int i, int, int) { return double(i * i); });
    for (int j = 1; j <= NY; ++j) c->bathyglo.IU(9, j, K) = 0;
    compute_longitudinal_fluxes(*c, K);
    const auto& TX = f.T.XX;
    EXPECT_EQ(TX(9, 5), 0.0);                                              // closed
    EXPECT_EQ(TX(10, 5), ((100.0 + 121.0) * 6.0) * c12);                    // plain mean
    EXPECT_EQ(TX(8, 5), ((64.0 + 81.0) * 6.0) * c12);                       // plain mean
    EXPECT_EQ(TX(11, 5), ((((121.0 - 100.0) + 144.0) - 169.0) + (121.0 + 144.0) * 6.0) * c12);  // fourth order
    // Diffusion of the older level: (X1(i+1) - X1(i)) ODX times the viscosity
    // of face i (DMX for momentum, its copy DHX of level K for the tracers).
    fill3(c->bglo.T1, [](int i, int, int) { return 0.5 * i; });
    fill3(c->bglo.U1, [](int i, int, int) { return 0.5 * i; });
    fill3(c->filterglo.DMX, [](int i, int, int) { return 1.0e6 * i; });
    copy_level_viscosity(*c, K);
    c->cgridglo.U.fill(0.0);
    compute_longitudinal_fluxes(*c, K);
    EXPECT_DOUBLE_EQ(TX(30, 5), -0.5 * c->metricglo.ODX(6) * 3.0e7);
    EXPECT_DOUBLE_EQ(f.U.XX(30, 5), -0.5 * c->metricglo.ODX(6) * 3.0e7);
}

// Surface flux by lfsrf, no flux through the bottom, one tenth of HV for
// salinity, the filtered level above in the fourth-order vertical value.
TEST(StepFluxes, VerticalFluxes) {
    auto c = basin(2);
    auto& b = c->bglo;
    auto& f = c->flxglo;
    set_all(*c, [](int, int, int k) { return 2.0 * k; });
    auto& W = c->cgridglo.W;
    W.fill(0.0);
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) W(i, j, 1) = 0.001 * i;
    b.EV.fill(0.2);
    b.HV.fill(0.4);
    c->controglo.lfsrf = 1;
    surface_vertical_flux(*c);
    EXPECT_EQ(f.T.XZ(10, 5, 1), W(11, 6, 1) * b.T2(11, 6, 1));
    c->controglo.lfsrf = 0;
    surface_vertical_flux(*c);
    EXPECT_EQ(f.T.XZ(10, 5, 1), 0.0);

    vertical_fluxes_of_level(*c, KM, 2);
    EXPECT_EQ(f.S.XZ(10, 5, 2), 0.0);
    EXPECT_EQ(f.U.XZ(80, 48, 2), 0.0);

    // At rest: only diffusion, X1 differs by 2 between levels.
    vertical_fluxes_of_level(*c, 10, 1);
    EXPECT_EQ(f.T.XZ(10, 5, 1), -(2.0 * 0.4));
    EXPECT_EQ(f.S.XZ(10, 5, 1), -(2.0 * (0.4 * 0.10000000149011612)));
    EXPECT_EQ(f.U.XZ(10, 5, 1), -(2.0 * 0.2));
    c->bathyglo.IW(11, 6, 11) = 0;
    vertical_fluxes_of_level(*c, 10, 1);
    EXPECT_EQ(f.T.XZ(10, 5, 1), 0.0);

    // Moving down with W = 1 through a quadratic profile: fourth order at
    // levels 2..38 with XLF above, plain mean at 1 and 39.
    W.fill(1.0);
    c->bathyglo.IW.fill(1);
    fill3(b.T2, [](int, int, int k) { return double(k * k); });
    fill3(b.T1, [](int, int, int) { return 0.0; });
    fill3(b.TLF, [](int, int, int k) { return k * k + 0.5; });
    for (int k : {1, 2, 38, 39}) {
        vertical_fluxes_of_level(*c, k, 1);
        const double q0 = k * k, q1 = (k + 1) * (k + 1);
        double s = (q0 + q1) * 6.0;
        if (k >= 2 && k <= 38) s = (((q0 - ((k - 1) * (k - 1) + 0.5)) + q1) - (k + 2) * (k + 2)) + s;
        EXPECT_EQ(f.T.XZ(10, 5, 1), s * c12) << k;
    }
}

// A land cell keeps X2 = X1; a wet cell advances by -dt times the divergence,
// with the pressure term inside the x term of U.
TEST(StepFluxes, FluxFormUpdate) {
    auto c = basin(2);
    auto& b = c->bglo;
    auto& f = c->flxglo;
    set_all(*c, [](int i, int, int) { return 1.0 + i; });
    FluxSet* all[] = {&f.U, &f.V, &f.S, &f.T, &f.C};
    for (FluxSet* x : all) {
        x->XX.fill(0.0);
        x->XY.fill(0.0);
        x->XZ.fill(0.0);
        x->XX(20, 10) = 2.0e-3;  // out through the east face of cell (20, 11)
        x->XZ(19, 10, 2) = 1.0e-4;  // out through its bottom
    }
    b.PX.fill(0.0);
    b.PY.fill(0.0);
    b.PX(20, 11) = 5.0;
    c->bathyglo.IN(20, 11, 3) = 0;
    flux_form_update(*c, 4, 2, 1);
    flux_form_update(*c, 3, 2, 1);
    const double dt = c->controglo.dt, odx = c->metricglo.ODX(11), odz = c->zfsglo.ODZ(4);
    EXPECT_EQ(b.T2(20, 11, 4), 21.0 - (((2.0e-3 * odx) + 0.0) + 1.0e-4 * odz) * dt);
    EXPECT_EQ(b.U2(20, 11, 4), 21.0 - ((((2.0e-3 + 5.0) * odx) + 0.0) + 1.0e-4 * odz) * dt);
    EXPECT_EQ(b.V2(20, 11, 4), b.T2(20, 11, 4));  // PY is zero there
    EXPECT_EQ(b.T2(20, 11, 3), 21.0);             // land
    EXPECT_EQ(b.U2(20, 11, 3), 21.0);
    EXPECT_EQ(b.T2(30, 11, 4), 31.0);             // no divergence
}

// The latitudinal terms: the y-flux divergence scaled by OCS(j) ODY(j) of the
// cell's own row, and ODY(j) PY in V only. Metrics, fluxes and dt are powers
// of two, so the hand-worked results are exact; the neighbouring rows hold
// other metrics and the neighbouring faces other fluxes.
TEST(StepFluxes, FluxFormUpdateLatitudinalTerms) {
    auto c = basin(2);
    auto& b = c->bglo;
    auto& f = c->flxglo;
    auto& mt = c->metricglo;
    set_all(*c, [](int i, int, int) { return 1.0 + i; });
    FluxSet* all[] = {&f.U, &f.V, &f.S, &f.T, &f.C};
    for (FluxSet* x : all) {
        x->XX.fill(0.0);
        x->XY.fill(1.0);
        x->XZ.fill(0.0);
        x->XY(19, 11) = 0x1p-6;  // north face of cell (20, 11)
        x->XY(19, 10) = 0x1p-8;  // its south face
    }
    b.PX.fill(0.0);
    b.PY.fill(1.0);
    b.PY(20, 11) = 3.0;
    c->controglo.dt = 4096.0;
    const double odx[3] = {0x1p-21, 0x1p-20, 0x1p-22}, ody[3] = {0x1p-17, 0x1p-19, 0x1p-16},
                 ocs[3] = {4.0, 2.0, 8.0};
    for (int n = 0; n < 3; ++n) {
        mt.ODX(10 + n) = odx[n];
        mt.ODY(10 + n) = ody[n];
        mt.OCS(10 + n) = ocs[n];
        mt.ODYV(10 + n) = 0x1p-15;
        mt.CSV(10 + n) = 0.25;
    }
    flux_form_update(*c, 4, 2, 1);
    // (2^-6 - 2^-8) 2 2^-19 = 3 2^-26 from the y-faces, 2^-19 3 from PY; times 4096.
    const double tracer = 21.0 - 0.00018310546875, v = 21.0 - (0.00018310546875 + 0.0234375);
    EXPECT_EQ(b.T2(20, 11, 4), tracer);
    EXPECT_EQ(b.S2(20, 11, 4), tracer);
    EXPECT_EQ(b.C2(20, 11, 4), tracer);
    EXPECT_EQ(b.U2(20, 11, 4), tracer);
    EXPECT_EQ(b.V2(20, 11, 4), v);
}

namespace {

void fill_faces(Ctx& c, double (*u)(int, int, int), double (*v)(int, int, int)) {
    fill3(c.cgridglo.U, u);
    fill3(c.cgridglo.V, v);
}

}  // namespace

// A constant U2 gives (12 c) c12 at every face; a closed face gives zero.
TEST(StepCgrid, ConstantFieldAndClosedFace) {
    auto c = basin(2);
    auto& b = c->bglo;
    const double cst = 3.0;
    b.U2.fill(cst);
    b.V2.fill(cst);
    c->cgridwork.SCR1.fill(cst);
    for (int j = 1; j <= NY; ++j) c->bathyglo.IU(7, j, 4) = 0;
    for (int i = 1; i <= NX; ++i) c->bathyglo.IV(i, 30, 4) = 0;
    face_u_sums(*c);
    face_u_finish(*c);
    face_v_sums(*c);
    face_v_finish(*c);
    const double want = (12.0 * cst) * c12;
    EXPECT_NE(want, cst);
    for (int i : {1, 2, 7, 80, 81}) EXPECT_EQ(c->cgridglo.U(i, 25, 4), i == 7 ? 0.0 : want) << i;
    for (int j : {1, 2, 30, 48, 49}) EXPECT_EQ(c->cgridglo.V(40, j, 4), j == 30 ? 0.0 : want) << j;
}

// A linear field through the interpolation and back: the faces get
// a (i + 1/2) 12 c12, the cells a i (12 c12) (24 c24); a land cell gets zero.
TEST(StepCgrid, LinearFieldRoundTrip) {
    auto c = basin(2);
    auto& b = c->bglo;
    auto& SCR1 = c->cgridwork.SCR1;
    auto& SCR = c->scratchglo.SCR;
    fill3(b.U2, [](int i, int, int) { return 0.75 * i; });
    fill3(b.V2, [](int, int j, int) { return 0.75 * j; });
    for (int k = 1; k <= KM; ++k) {
        for (int j = 1; j <= NY; ++j) SCR1(82, j, k) = 0.0, SCR1(81, j, k) = 0.75 * 83;
        for (int i = 1; i <= NX; ++i) SCR1(i, 50, k) = 0.0, SCR1(i, 49, k) = 0.75 * 51;
    }
    c->bathyglo.IN(33, 20, 7) = 0;
    face_u_sums(*c);
    face_u_finish(*c);
    face_v_sums(*c);
    face_v_finish(*c);
    const double f12 = 12.0 * c12, f24 = 24.0 * c24;
    auto& g = c->cgridglo;
    for (int i = 1; i <= 81; ++i) EXPECT_NEAR(g.U(i, 20, 7), 0.75 * (i + 0.5) * f12, 1e-12) << i;
    for (int j = 1; j <= 49; ++j) EXPECT_NEAR(g.V(33, j, 7), 0.75 * (j + 0.5) * f12, 1e-12) << j;
    cell_sums(*c);
    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j) SCR(80, j, k) = 0.75 * 0.5 * f12, SCR(2, j, k) = 0.75 * 82.5 * f12;
    const double halo = b.U2(1, 20, 7);
    cell_u_finish(*c);
    for (int k = 1; k <= KM; ++k)
        for (int i = 1; i <= NX; ++i) SCR(i, 48, k) = 0.75 * 0.5 * f12, SCR(i, 2, k) = 0.75 * 50.5 * f12;
    cell_v_finish(*c);
    for (int i = 2; i <= 81; ++i) {
        if (i != 33) {
            EXPECT_NEAR(b.U2(i, 20, 7), 0.75 * i * f12 * f24, 1e-12) << i;
        }
    }
    for (int j = 2; j <= 49; ++j) {
        if (j != 20) {
            EXPECT_NEAR(b.V2(33, j, 7), 0.75 * j * f12 * f24, 1e-12) << j;
        }
    }
    EXPECT_EQ(b.U2(33, 20, 7), 0.0);
    EXPECT_EQ(b.V2(33, 20, 7), 0.0);
    EXPECT_EQ(b.U2(1, 20, 7), halo);
}

// Next to the southern and northern walls v is the plain mean of the cell's
// two faces, the wall face entering with what it holds.
TEST(StepCgrid, CellsNextToTheWalls) {
    for (int row : {0, LASTROW}) {
        auto c = basin(row);
        fill_faces(*c, [](int i, int, int) { return 0.1 * i; }, [](int i, int j, int k) { return 0.37 * j * j + 0.01 * i + k; });
        c->scratchglo.SCR.fill(1.0e6);  // what the missing neighbour would have sent
        cell_sums(*c);
        cell_v_finish(*c);
        auto& V = c->cgridglo.V;
        const int j = row == 0 ? 2 : 49;
        EXPECT_EQ(c->bglo.V2(40, j, 5), (1.0 * c24) * (12.0 * (V(40, j - 1, 5) + V(40, j, 5)))) << row;
    }
}

// The free surface's W from the corrected faces: every column from its bottom
// face KB + 1 up to the surface, the faces below its bottom left alone. The
// flow U = a i, V = 0 has the divergence a ODX(j) on every level, so W rises
// by a ODX(j) times the level's thickness from each face to the one above.
TEST(StepVerticalVelocity, FreeSurfaceColumnsFromTheirBottoms) {
    auto c = basin();
    auto& W = c->cgridglo.W;
    auto& KB = c->bathyglo.KB;
    constexpr double a = 0.01, w0 = 0.25, below = 99.0, dz = 5000.0;
    fill3(c->cgridglo.U, [](int i, int, int) { return a * i; });
    c->cgridglo.V.fill(0.0);
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) {
            KB(i, j) = i16(1 + (i + 3 * j) % KM);  // every depth from 1 to KM
            for (int k = 1; k <= KMP1; ++k) W(i, j, k) = k == KB(i, j) + 1 ? w0 : below;
        }
    rebuild_vertical_velocity(*c);
    int bad = 0;
    for (int j = 2; j <= 49; ++j)
        for (int i = 2; i <= 81; ++i) {
            const int kb = KB(i, j);
            const double step = a * c->metricglo.ODX(j) * dz;
            bad += W(i, j, kb + 1) != w0;
            for (int k = kb + 2; k <= KMP1; ++k) bad += W(i, j, k) != below;
            bad += std::fabs(W(i, j, kb) - (w0 + step)) > 1e-15;
            bad += std::fabs(W(i, j, 1) - (w0 + kb * step)) > 1e-14;
        }
    EXPECT_EQ(bad, 0);
}
