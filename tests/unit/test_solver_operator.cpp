// The surface-pressure operator of one tile and its block SIP factors.
#include <gtest/gtest.h>
#include <lapacke.h>

#include <cmath>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "solver/solver.hpp"
#include "test_solver_tile.hpp"

namespace hc {
namespace {

struct Variant {
    bool land_sheet;
    int lfsrf;
    int myidy;
};

void PrintTo(const Variant& v, std::ostream* os) {
    *os << (v.land_sheet ? "sheet" : "bicgstab") << ", lfsrf " << v.lfsrf << ", process row " << v.myidy;
}

class SolverOperator : public ::testing::TestWithParam<Variant> {};

// Row j of the operator times 1/c(j) is symmetric (in the BiCGStab variant
// between wet rows: land rows couple one way, to their neighbours);
// off-diagonals are never positive; the wet rows' tile block is positive
// definite (banded Cholesky); the marching variant has AT nonzero off the
// walls; the free-surface term sits on wet rows only.
TEST_P(SolverOperator, ScaledSymmetricPositiveDefinite) {
    const Variant v = GetParam();
    std::unique_ptr<Ctx> owner(make_ctx());
    Ctx& c = *owner;
    test::make_solver_tile(c, v.myidy, v.lfsrf);
    build_surface_pressure_operator(c, v.land_sheet);
    auto& e = c.sevp;
    auto& m = c.metricglo;
    auto cj = [&](int j) { return m.OCS(j) * m.ODY(j); };
    const double eps = free_surface_term(c);
    if (v.lfsrf == 1) { EXPECT_GT(eps, 0.0); }

    for (int j = 1; j <= NYI; ++j) {
        for (int i = 1; i <= NXI; ++i) {
            {
                const bool wet = c.bathyglo.KB(i + 1, j + 1) >= 1;
                const double off = -(e.AL(i, j) + e.AR(i, j) + e.AB(i, j) + e.AT(i, j + 1));
                if (wet) {
                    EXPECT_NEAR(e.AC(i, j) - off, eps, 1e-6 * std::fabs(e.AC(i, j)));
                } else {
                    EXPECT_EQ(e.AC(i, j), off);
                }
            }
            EXPECT_LE(e.AL(i, j), 0.0);
            EXPECT_LE(e.AR(i, j), 0.0);
            EXPECT_LE(e.AB(i, j), 0.0);
            EXPECT_LE(e.AT(i, j + 1), 0.0);
            EXPECT_GT(e.AC(i, j), 0.0);
            // Land rows of the BiCGStab variant couple one way, to their
            // neighbours; the ocean rows do not couple to them.
            const bool kept = v.land_sheet || c.bathyglo.KB(i + 1, j + 1) >= 1;
            const bool kept_e = v.land_sheet || (i < NXI && c.bathyglo.KB(i + 2, j + 1) >= 1);
            const bool kept_n = v.land_sheet || (j < NYI && c.bathyglo.KB(i + 1, j + 2) >= 1);
            if (!kept) continue;
            if (i < NXI && kept_e) { EXPECT_EQ(e.AR(i, j), e.AL(i + 1, j)); }
            if (i < NXI && !kept_e) { EXPECT_EQ(e.AR(i, j), 0.0); }
            if (j < NYI && !kept_n) { EXPECT_EQ(e.AT(i, j + 1), 0.0); }
            if (j < NYI && kept_n) {
                EXPECT_NEAR(e.AT(i, j + 1) / cj(j + 1), e.AB(i, j + 1) / cj(j + 2),
                            1e-13 * std::fabs(e.AB(i, j + 1) / cj(j + 2)));
            }
        }
    }
    for (int j = 1; j <= NYI + 1; ++j) {
        for (int i = 1; i <= NXI; ++i) {
            const bool wall = (v.myidy == 0 && j == 1) || (v.myidy == LASTROW && j == NYI + 1);
            if (wall) { EXPECT_EQ(e.AT(i, j), 0.0); }
            if (v.land_sheet && !wall) { EXPECT_LT(e.AT(i, j), 0.0) << i << "," << j; }
        }
    }
    if (v.myidy == 0) {
        for (int i = 1; i <= NXI; ++i) EXPECT_EQ(e.AB(i, 1), 0.0);
    }

    // The tile block, rows scaled by 1/c(j), as a symmetric band of width 80.
    const int n = INTERIOR, kd = NXI;
    std::vector<double> band(size_t(kd + 1) * n, 0.0);
    auto put = [&](int row, int col, double a) {  // upper band, row <= col
        band[size_t(col) * (kd + 1) + size_t(kd + row - col)] = a;
    };
    for (int j = 1; j <= NYI; ++j) {
        for (int i = 1; i <= NXI; ++i) {
            const int p = (i - 1) + NXI * (j - 1);
            const double s = 1.0 / cj(j + 1);
            auto kept = [&](int ii, int jj) { return v.land_sheet || c.bathyglo.KB(ii + 1, jj + 1) >= 1; };
            if (!kept(i, j)) {  // the wet rows' block: land rows left as identity rows
                put(p, p, 1.0);
                continue;
            }
            put(p, p, e.AC(i, j) * s);
            if (i < NXI && kept(i + 1, j)) put(p, p + 1, e.AR(i, j) * s);
            if (j < NYI && kept(i, j + 1)) put(p, p + NXI, e.AT(i, j + 1) * s);
        }
    }
    EXPECT_EQ(LAPACKE_dpbtrf(LAPACK_COL_MAJOR, 'U', n, kd, band.data(), kd + 1), 0);
}

INSTANTIATE_TEST_SUITE_P(Variants, SolverOperator,
                         ::testing::Values(Variant{false, 0, 2}, Variant{false, 1, 2}, Variant{true, 0, 2},
                                           Variant{true, 1, 2}, Variant{false, 0, 0}, Variant{true, 0, 0},
                                           Variant{false, 1, 5}, Variant{true, 1, 5}),
                         [](const ::testing::TestParamInfo<Variant>& info) {
                             const Variant& v = info.param;
                             return std::string(v.land_sheet ? "sheet" : "bicgstab") + "_lfsrf" +
                                    std::to_string(v.lfsrf) + "_row" + std::to_string(v.myidy);
                         });

// The halo row's north coefficient is the one the tile below computes for
// its last row: same metrics, same face.
TEST(SolverOperatorRows, HaloRowNorthCoefficientMatchesTileBelow) {
    for (bool sheet : {false, true}) {
        std::unique_ptr<Ctx> up(make_ctx()), down(make_ctx());
        test::make_solver_tile(*up, 3, 0);
        test::make_solver_tile(*down, 2, 0);
        // The upper tile's halo row is the lower tile's row 49.
        for (int i = 1; i <= NX; ++i) {
            up->bathyglo.KB(i, 1) = down->bathyglo.KB(i, 49);
            up->bathyglo.IV0(i, 1) = down->bathyglo.IV0(i, 49);
            for (int k = 1; k <= KM; ++k) up->bathyglo.IV(i, 1, k) = down->bathyglo.IV(i, 49, k);
        }
        build_surface_pressure_operator(*up, sheet);
        build_surface_pressure_operator(*down, sheet);
        for (int i = 1; i <= NXI; ++i) {
            EXPECT_NEAR(up->sevp.AT(i, 1), down->sevp.AT(i, NYI + 1), 1e-12 * std::fabs(down->sevp.AT(i, NYI + 1)));
        }
    }
}

// The sweeps invert L.U for any alpha, and with alpha = 0 the product L.U
// carries the operator's five coefficients on the tile.
TEST(SolverSip, SweepsInvertTheFactorisation) {
    std::unique_ptr<Ctx> owner(make_ctx());
    Ctx& c = *owner;
    test::make_solver_tile(c, 2, 1);
    build_surface_pressure_operator(c, false);
    auto& e = c.sevp;
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (double alpha : {0.0, 0.5, kSipAlpha}) {
        build_sip_factors(c, alpha);
        if (alpha == 0.0) {
            for (int j = 1; j <= NYI; ++j) {
                for (int i = 1; i <= NXI; ++i) {
                    double diag = 1.0 / e.cc(i, j);
                    if (i > 1) diag += e.cl(i - 1, j) * e.cr(i, j);
                    if (j > 1) diag += e.cb(i, j - 1) * e.ct(i, j);
                    const double tol = 1e-12 * e.AC(i, j);
                    EXPECT_NEAR(diag, e.AC(i, j), tol);
                    if (i < NXI) { EXPECT_NEAR(e.cr(i + 1, j) / e.cc(i, j), e.AR(i, j), tol); }
                    if (j < NYI) { EXPECT_NEAR(e.ct(i, j + 1) / e.cc(i, j), e.AT(i, j + 1), tol); }
                    if (i > 1) { EXPECT_NEAR(e.cl(i - 1, j), e.AL(i, j), tol); }
                    if (j > 1) { EXPECT_NEAR(e.cb(i, j - 1), e.AB(i, j), tol); }
                }
            }
        }
        Plane x, w, lu, back;
        x.fill(0.0);
        for (int j = 2; j <= 49; ++j) {
            for (int i = 2; i <= 81; ++i) x(i, j) = u(gen);
        }
        w.fill(0.0);
        lu.fill(0.0);
        for (int j = 2; j <= 49; ++j) {  // w = U x
            for (int i = 2; i <= 81; ++i) {
                w(i, j) = x(i, j);
                if (i < 81) w(i, j) += e.cr(i, j - 1) * x(i + 1, j);
                if (j < 49) w(i, j) += e.ct(i - 1, j) * x(i, j + 1);
            }
        }
        for (int j = 2; j <= 49; ++j) {  // lu = L w
            for (int i = 2; i <= 81; ++i) {
                lu(i, j) = w(i, j) / e.cc(i - 1, j - 1);
                if (i > 2) lu(i, j) += e.cl(i - 2, j - 1) * w(i - 1, j);
                if (j > 2) lu(i, j) += e.cb(i - 1, j - 2) * w(i, j - 1);
            }
        }
        p_sipsqelim(e.cb, e.cl, e.cc, e.cr, e.ct, lu, back);
        for (int j = 2; j <= 49; ++j) {
            for (int i = 2; i <= 81; ++i) ASSERT_NEAR(back(i, j), x(i, j), 1e-10) << alpha << " " << i << "," << j;
        }
    }
}

// Each of the three sweeps inverts its own product of a lower and an upper
// factor built from the stored planes (pass-on factors at the passing point):
//   p_sipsqelim  L (diag 1/cc; cl east, cb north)  U (unit; cr west, ct south)
//   p_lusqelim   L (unit; cl east, cb north)        U (diag 1/cc; cr west, ct south)
//   p_sqelim     L (diag 1/cc; cr east, ct north)   U (diag 1/cc; cr west, ct south)
TEST(SolverSip, EachSweepInvertsItsFactorPair) {
    std::unique_ptr<Ctx> owner(make_ctx());
    Ctx& c = *owner;
    auto& e = c.sevp;
    enum Kind { sip, lu, sq };
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    // Factors of a well-conditioned pair: pivots near 1, small couplings.
    for (int j = 1; j <= NYI; ++j) {
        for (int i = 1; i <= NXI; ++i) {
            e.cc(i, j) = 1.0 + 0.3 * u(gen);
            e.cl(i, j) = 0.2 * u(gen);
            e.cb(i, j) = 0.2 * u(gen);
            e.cr(i, j) = 0.2 * u(gen);
            e.ct(i, j) = 0.2 * u(gen);
        }
    }
    for (Kind kind : {sip, lu, sq}) {
        const bool ldiag = kind != lu, udiag = kind != sip;
        IPlane& east = kind == sq ? e.cr : e.cl;
        IPlane& north = kind == sq ? e.ct : e.cb;
        Plane x, w, b, back;
        x.fill(0.0);
        w.fill(0.0);
        b.fill(0.0);
        for (int j = 2; j <= 49; ++j) {
            for (int i = 2; i <= 81; ++i) x(i, j) = u(gen);
        }
        // w = U x: row P gets its own term and what P's east and north
        // neighbours pass back to it.
        for (int j = 2; j <= 49; ++j) {
            for (int i = 2; i <= 81; ++i) {
                w(i, j) = udiag ? x(i, j) / e.cc(i - 1, j - 1) : x(i, j);
                if (i < 81) w(i, j) += e.cr(i, j - 1) * x(i + 1, j);
                if (j < 49) w(i, j) += e.ct(i - 1, j) * x(i, j + 1);
            }
        }
        // b = L w: row P gets its own term and what its west and south
        // neighbours pass on to it.
        for (int j = 2; j <= 49; ++j) {
            for (int i = 2; i <= 81; ++i) {
                b(i, j) = ldiag ? w(i, j) / e.cc(i - 1, j - 1) : w(i, j);
                if (i > 2) b(i, j) += east(i - 2, j - 1) * w(i - 1, j);
                if (j > 2) b(i, j) += north(i - 1, j - 2) * w(i, j - 1);
            }
        }
        for (int i = 1; i <= NX; ++i) b(i, 1) = b(i, NY) = 5.0;  // a halo the sweeps carry over
        if (kind == sip) p_sipsqelim(e.cb, e.cl, e.cc, e.cr, e.ct, b, back);
        if (kind == lu) p_lusqelim(e.cb, e.cl, e.cc, e.cr, e.ct, b, back);
        if (kind == sq) p_sqelim(e.cb, e.cl, e.cc, e.cr, e.ct, b, back);
        for (int j = 2; j <= 49; ++j) {
            for (int i = 2; i <= 81; ++i) ASSERT_NEAR(back(i, j), x(i, j), 1e-8) << kind << " " << i << "," << j;
        }
        EXPECT_EQ(back(3, 1), 5.0);
        EXPECT_EQ(back(3, NY), 5.0);
    }
}

// The free-surface term is eps = odt / (g tau) over the physical time tau of
// one step, dt / 2 (dt spans a leapfrog update): in 1/cm like the operator,
// and the same whatever the calendar (daodt) makes of the step.
TEST(SolverFreeSurfaceTerm, FollowsThePhysicalStepNotTheCalendar) {
    std::unique_ptr<Ctx> owner(make_ctx());
    Ctx& c = *owner;
    test::make_solver_tile(c, 2, 1);
    const double eps = free_surface_term(c);
    EXPECT_DOUBLE_EQ(eps, (1.0 / 3600.0) / (980.6 * 1800.0));
    c.controglo.daodt = 1.0;  // one day a step, as with --short-periods
    EXPECT_EQ(free_surface_term(c), eps);
    c.controglo.lfsrf = 0;
    EXPECT_EQ(free_surface_term(c), 0.0);
}

// The BiCGStab stopping test at its boundaries: both bounds are met when
// equalled, the relative bound is consulted only below the absolute one, a
// multiple of 1000 passes ends a solve whose relative test fails, and a solve
// above the absolute bound is cut off at the pass cap.
TEST(SolverBicgStop, BoundariesOfTheStoppingTest) {
    const double abs = 9.999999717180685e-10, rel = 0.0010000000474974513;
    const double above_abs = std::nextafter(abs, 1.0);
    const double r0_rel = abs / rel;  // rn = abs gives rn / r0n = rel within rounding
    struct Case {
        const char* what;
        double rn, r0n;
        i32 it;
        BicgNext want;
    };
    const Case cases[] = {
        {"rn at the absolute bound, relative met", abs, 1.0, 7, BicgNext::converged},
        {"rn one ulp above the absolute bound", above_abs, 1.0, 7, BicgNext::pass_again},
        {"above the absolute bound at a multiple of 1000", above_abs, 1.0, 1000, BicgNext::pass_again},
        {"above the absolute bound one pass before the cap", above_abs, 1.0, kBicgMaxPasses - 1, BicgNext::pass_again},
        {"above the absolute bound at the cap", above_abs, 1.0, kBicgMaxPasses, BicgNext::cut_off},
        {"relative ratio exactly at its bound", rel * 1.0e-7, 1.0e-7, 7, BicgNext::converged},
        {"relative ratio above its bound", 2.0 * rel * 1.0e-7, 1.0e-7, 7, BicgNext::pass_again},
        {"relative ratio above its bound at pass 1000", 2.0 * rel * 1.0e-7, 1.0e-7, 1000, BicgNext::converged},
        {"relative ratio above its bound at pass 2000", 2.0 * rel * 1.0e-7, 1.0e-7, 2000, BicgNext::converged},
        {"relative ratio above its bound at pass 1001", 2.0 * rel * 1.0e-7, 1.0e-7, 1001, BicgNext::pass_again},
        {"relative ratio above its bound at pass 500", 2.0 * rel * 1.0e-7, 1.0e-7, 500, BicgNext::pass_again},
        {"small start: rn at the absolute bound, ratio above", abs, r0_rel / 2.0, 7, BicgNext::pass_again},
    };
    ASSERT_EQ(rel * 1.0e-7 / 1.0e-7, rel);  // the fixture's ratio is the bound itself
    for (const Case& k : cases) EXPECT_EQ(bicg_stopping_test(k.rn, k.r0n, k.it), k.want) << k.what;
}

}  // namespace
}  // namespace hc
