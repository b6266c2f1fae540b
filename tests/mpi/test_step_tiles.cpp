// The time step across the 24 tiles: a basin at rest stays at rest, and
// fields linear in the global indices come through the fourth-order stencils
// (whose lines beyond the halo travel between tiles) as linear face and cell
// values, with the wall rules on the outer process rows.
#include <gtest/gtest.h>

#include <mpi.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "../unit/test_step_basin.hpp"
#include "comm/comm.hpp"
#include "driver/driver.hpp"
#include "driver/step.hpp"
#include "mpi_fixture.hpp"
#include "util/format.hpp"

using namespace hc;
using hc::test::ctx;
using hc::test::gcol;
using hc::test::grow;

namespace {

template <class F>
void fill3(Field& f, F v) {
    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) f(i, j, k) = v(i, j, k);
}

// Global extremes of X over the interior of level k.
void global_range(Ctx& c, Field& X, int k, double& lo, double& hi) {
    double l = X(2, 2, k), h = l;
    for (int j = 2; j <= 49; ++j)
        for (int i = 2; i <= 81; ++i) l = std::fmin(l, X(i, j, k)), h = std::fmax(h, X(i, j, k));
    MPI_Allreduce(&l, &lo, 1, MPI_DOUBLE, MPI_MIN, c.mpicomm.comm3d);
    MPI_Allreduce(&h, &hi, 1, MPI_DOUBLE, MPI_MAX, c.mpicomm.comm3d);
}

// Largest |X| over the interior of all levels, on all tiles.
double global_absmax(Ctx& c, Field& X) {
    double m = 0.0;
    for (int k = 1; k <= KM; ++k)
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) m = std::fmax(m, std::fabs(X(i, j, k)));
    double g = 0.0;
    MPI_Allreduce(&m, &g, 1, MPI_DOUBLE, MPI_MAX, c.mpicomm.comm3d);
    return g;
}

// Whether the stencil of global columns g - before .. g + after stays clear of
// the periodic seam between columns 320 and 1.
bool clear_of_seam(int g, int before, int after) { return g - before >= 1 && g + after <= IMT; }

}  // namespace

// Horizontally uniform T and S, no flow, a flat bottom: every pressure
// gradient is exactly zero and one pass through the step's own stages leaves
// the flow at rest and T, S horizontally uniform.
TEST(StepTiles, BasinAtRestStaysAtRest) {
    Ctx& c = ctx();
    test::make_step_basin(c, c.mpicomm.myidy);
    auto& b = c.bglo;
    c.controglo.fltw = 0.1;
    c.controglo.rawf = 1.0;
    Field* vel[] = {&b.U1, &b.U2, &b.ULF, &b.V1, &b.V2, &b.VLF, &b.C1, &b.C2, &b.CLF};
    for (Field* x : vel) x->fill(0.0);
    for (Field* x : {&b.T1, &b.T2, &b.TLF}) fill3(*x, [](int, int, int k) { return 20.0 - 0.4 * k; });
    for (Field* x : {&b.S1, &b.S2, &b.SLF}) fill3(*x, [](int, int, int k) { return 35.0 - 0.01 * k; });
    c.cgridglo.U.fill(0.0);
    c.cgridglo.V.fill(0.0);
    c.cgridglo.W.fill(0.0);
    b.P0.fill(0.0);
    c.filterglo.DMX.fill(2.0e7);
    c.filterglo.DMY.fill(2.0e7);
    b.EV.fill(0.5);
    b.HV.fill(0.25);

    solve_hydrostatic_equation(c);
    opening_exchange(c);
    exchange_level_lines(c);
    double worst = 0.0;
    for (i32 k = 1; k <= KM; ++k) {
        compute_pressure_gradient(c, k);
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) worst = std::fmax(worst, std::fabs(b.PX(i, j)) + std::fabs(b.PY(i, j)));
    }
    EXPECT_EQ(worst, 0.0);

    step_level_loop(c);
    velocity_exchange(c);
    face_velocities(c);
    cell_velocities(c);
    filter_stage(c);
    closing_stage(c);
    EXPECT_EQ(global_absmax(c, b.U2), 0.0);
    EXPECT_EQ(global_absmax(c, b.V2), 0.0);
    EXPECT_EQ(global_absmax(c, c.cgridglo.U), 0.0);
    EXPECT_EQ(global_absmax(c, c.cgridglo.V), 0.0);
    for (int k = 1; k <= KM; k += 13) {
        for (Field* x : {&b.T2, &b.S2, &b.T1, &b.SLF}) {
            double lo, hi;
            global_range(c, *x, k, lo, hi);
            EXPECT_EQ(lo, hi) << x->name() << " level " << k;
        }
    }
}

// U2, V2 linear in the global column and row: faces a (g + 1/2) 12 c12 on
// every tile edge away from the periodic seam; faces linear in the same way
// come back as cells a g 24 c24, the cells next to the walls included.
TEST(StepTiles, FaceAndCellVelocitiesAcrossTileEdges) {
    Ctx& c = ctx();
    test::make_step_basin(c, c.mpicomm.myidy);
    auto& b = c.bglo;
    auto& g = c.cgridglo;
    const double a = 0.01, f12 = 12.0 * c12, f24 = 24.0 * c24;
    fill3(b.U2, [&](int i, int, int) { return a * gcol(c, i); });
    fill3(b.V2, [&](int, int j, int) { return a * grow(c, j); });
    g.V.fill(77.0);
    velocity_exchange(c);
    face_velocities(c);
    const auto& m = c.mpicomm;
    for (int k = 1; k <= KM; k += 13)
        for (int j = 2; j <= 49; j += 47) {
            for (int i = 1; i <= 81; ++i)
                if (clear_of_seam(gcol(c, i), 1, 2)) {
                    EXPECT_NEAR(g.U(i, j, k), a * (gcol(c, i) + 0.5) * f12, 1e-12) << i << " " << j;
                }
        }
    for (int k = 1; k <= KM; k += 13)
        for (int j = m.jbeg; j <= m.jend; ++j) EXPECT_NEAR(g.V(40, j, k), a * (grow(c, j) + 0.5) * f12, 1e-12) << j;
    if (m.myidy == 0) {
        EXPECT_EQ(g.V(40, 1, 5), 77.0);
    }
    if (m.myidy == LASTROW) {
        EXPECT_EQ(g.V(40, 49, 5), 77.0);
    }

    fill3(g.U, [&](int i, int, int) { return a * (gcol(c, i) + 0.5); });
    fill3(g.V, [&](int, int j, int) { return a * (grow(c, j) + 0.5); });
    const double halo = b.U2(1, 10, 3);
    cell_velocities(c);
    for (int k = 1; k <= KM; k += 13)
        for (int j = 2; j <= 49; ++j) {
            for (int i = 2; i <= 81; i += 79)
                if (clear_of_seam(gcol(c, i), 1, 1)) {
                    EXPECT_NEAR(b.U2(i, j, k), a * gcol(c, i) * f24, 1e-12) << i << " " << j;
                }
            EXPECT_NEAR(b.V2(40, j, k), a * grow(c, j) * f24, 1e-12) << j;
        }
    EXPECT_EQ(b.U2(1, 10, 3), halo);
}

// Linear fields through the second-halo transfers of the level loop: the
// x and y face fluxes on the tile edges, and the pressure gradient with its
// wall rules (the outer face counting zero next to the walls).
TEST(StepTiles, FluxesAndPressureGradientAcrossTileEdges) {
    Ctx& c = ctx();
    test::make_step_basin(c, c.mpicomm.myidy);
    auto& b = c.bglo;
    const auto& m = c.mpicomm;
    const double a = 0.5, bb = 0.25, f12 = 12.0 * c12;
    auto lin = [&](int i, int j, int) { return a * gcol(c, i) + bb * grow(c, j); };
    for (Field* x : {&b.U2, &b.V2, &b.S2, &b.T2, &b.C2, &b.P}) {
        fill3(*x, lin);
        mpi_exch_3d_r4(c, *x);
    }
    for (Field* x : {&b.U1, &b.V1, &b.S1, &b.T1, &b.C1}) x->fill(0.0);
    c.cgridglo.U.fill(1.0);
    c.cgridglo.V.fill(1.0);
    i32 K = 3;
    copy_level_viscosity(c, K);
    exchange_level_lines(c);
    second_halo_of_level(c, K);
    compute_longitudinal_fluxes(c, K);
    compute_latitudinal_fluxes(c, K);
    auto& f = c.flxglo;
    for (FluxSet* x : {&f.U, &f.S, &f.C}) {
        for (int j = 2; j <= 49; j += 47)
            for (int i = 1; i <= 81; i += 80)
                if (clear_of_seam(gcol(c, i), 1, 2)) {
                    EXPECT_NEAR(x->XX(i, j - 1), (a * (gcol(c, i) + 0.5) + bb * grow(c, j)) * f12, 1e-10) << i;
                }
        for (int j = m.jbeg; j <= m.jend; j += m.jend - m.jbeg)
            for (int i = 2; i <= 81; i += 79)
                EXPECT_NEAR(x->XY(i - 1, j), c.metricglo.CSV(j) * (a * gcol(c, i) + bb * (grow(c, j) + 0.5)) * f12,
                            1e-10)
                    << j;
    }

    compute_pressure_gradient(c, K);
    for (int j = 2; j <= 49; ++j)
        for (int i = 2; i <= 81; i += 79)
            if (clear_of_seam(gcol(c, i), 2, 2)) {
                EXPECT_EQ(b.PX(i, j), (12.0 * a) * c12) << i;
            }
    for (int j = 2; j <= 49; ++j) {
        double w = 12.0;
        if ((m.myidy == 0 && j == 2) || (m.myidy == LASTROW && j == 49)) w = 6.0;
        if ((m.myidy == 0 && j == 3) || (m.myidy == LASTROW && j == 48)) w = 13.0;
        EXPECT_EQ(b.PY(40, j), (w * bb) * c12) << j;
    }
}

// The monthly update of the flux correction on the last step of month 1 of
// year one (nday = 2, itf = 59): every tile has one land point and the next
// month's correction 0.001 (rank + 1) on its 3839 water points of 1e14 cm2,
// so with the wet area A(1) = 24 3839 1e14 and qfac = 4e6 the global sum
// gives qsum = 4e6 0.001 (1 + ... + 24) / 24 = 50000 on every process. The
// ending month moves by (1/60)(1/2) in single precision times the misfit
// (0.3 + 10) - 9.5 and is carried over into month 2.
TEST(StepTiles, MonthlyFluxUpdateSumsOverAllProcesses) {
    Ctx& c = ctx();
    test::make_step_basin(c, c.mpicomm.myidy);
    auto& cl = c.climatglo;
    auto& s = c.scaglo;
    const int r = c.mpicomm.myid;
    for (int j = 1; j <= NY; ++j) c.metricglo.DX(j) = c.metricglo.DY(j) = 1.0e7;
    c.bathyglo.IN(2, 2, 1) = 0;
    s.nday = 2;
    s.itf = 59;
    s.days = 29.5;
    month_weights(c);
    ASSERT_EQ(c.klimatglo.mthis, 1);
    ASSERT_EQ(c.klimatglo.mnext, 2);
    ASSERT_TRUE(monthly_update_step(s.itf, s.nday));
    cl.QAVG.fill(0.0);
    for (int jp = 1; jp <= NYI; ++jp)
        for (int ip = 1; ip <= NXI; ++ip) {
            cl.QAVG(ip, jp, 1) = 0.5;
            cl.QAVG(ip, jp, 2) = 0.001 * (r + 1);
        }
    cl.NSOMBO.fill(2);
    cl.TNUDGE.fill(0.3);
    cl.TCLIS.fill(10.0);
    c.bglo.T2.fill(9.5);
    s.qfac = 4.0e6;
    c.metricglo.A(1) = 24.0 * 3839.0 * 1.0e14;
    c.timer.t(9) = -1.0;
    const double before = MPI_Wtime();
    monthly_flux_update(c);
    const double after = MPI_Wtime();
    const double q = c.controglo.qsum;
    EXPECT_NEAR(q, 50000.0, 1e-9 * 50000.0);
    double lo = 0.0, hi = 0.0;
    MPI_Allreduce(&q, &lo, 1, MPI_DOUBLE, MPI_MIN, c.mpicomm.comm3d);
    MPI_Allreduce(&q, &hi, 1, MPI_DOUBLE, MPI_MAX, c.mpicomm.comm3d);
    EXPECT_EQ(lo, hi);
    const double moved = 0.5 + (0.01666666753590107 * 0.5) * 0.8;
    EXPECT_NEAR(cl.QAVG(40, 20, 1), moved, 1e-15);
    EXPECT_EQ(cl.QAVG(40, 20, 2), cl.QAVG(40, 20, 1));
    EXPECT_EQ(cl.QAVG(40, 20, 3), 0.0);
    EXPECT_EQ(cl.TNUDGE(40, 20), 0.0);
    EXPECT_GE(c.timer.t(9), before);  // the reduction is timed
    EXPECT_LE(c.timer.t(9), after);
}

namespace {

// The lines of a per-process log kept in a temporary file, from its start.
std::vector<std::string> log_lines(std::FILE* log) {
    std::fflush(log);
    std::rewind(log);
    std::vector<std::string> out;
    char line[512];
    while (std::fgets(line, sizeof line, log)) {
        std::string s = line;
        if (!s.empty() && s.back() == '\n') s.pop_back();
        out.push_back(s);
    }
    return out;
}

// The itmask of each iteration line, in order.
std::vector<int> passes_of(const std::vector<std::string>& lines) {
    std::vector<int> n;
    for (const auto& s : lines)
        if (s.rfind("@itf-it0===", 0) == 0) n.push_back(std::atoi(s.substr(s.find(",itmask=") + 8, 3).c_str()));
    return n;
}

// The basin with no flow on any face and no solver (lsolver = 0 calls none),
// so that X stays as the test sets it.
Ctx& still_basin() {
    Ctx& c = ctx();
    test::make_step_basin(c, c.mpicomm.myidy);
    c.controglo.lsolver = 0;
    c.cgridglo.U.fill(0.0);
    c.cgridglo.V.fill(0.0);
    c.cgridglo.W.fill(0.0);
    return c;
}

}  // namespace

// The passes of the surface-pressure correction with a solution that no
// solve changes (lsolver = 0 calls none): a gradient of X across the one
// closed surface face leaves the flow -ODX dX on it after every pass. At the
// bound exactly (2e-4 in single precision) one pass is made; just above it
// nine, with itmask 1 to 9 in every log and on process 0's standard output.
TEST(StepTiles, PressurePassesEndAtTheBoundOrAfterNine) {
    Ctx& c = still_basin();
    c.bathyglo.IU0(40, 20) = 0;
    c.metricglo.ODX(20) = 1.0;
    c.scaglo.itf = 1, c.scaglo.it0 = 0, c.scaglo.nday = 48;
    const double bound = 0.00019999999494757503;
    struct Case {
        double flow;
        int passes;
    } cases[] = {{bound, 1}, {std::nextafter(bound, 1.0), 9}, {0.0, 1}};
    for (const auto& e : cases) {
        c.sevp.X.fill(0.0);
        c.sevp.X(41, 20) = -e.flow;
        std::FILE* log = std::tmpfile();
        c.io.log = log;
        if (c.mpicomm.myid == 0) testing::internal::CaptureStdout();
        surface_pressure_correction(c);
        std::vector<std::string> out;
        if (c.mpicomm.myid == 0) {
            std::istringstream s(testing::internal::GetCapturedStdout());
            for (std::string l; std::getline(s, l);) out.push_back(l);
        }
        const std::vector<int> logged = passes_of(log_lines(log));
        c.io.log = nullptr;
        std::fclose(log);
        std::vector<int> want;
        for (int n = 1; n <= e.passes; ++n) want.push_back(n);
        EXPECT_EQ(logged, want) << e.flow;
        if (c.mpicomm.myid == 0) {
            EXPECT_EQ(passes_of(out), want) << e.flow;
        }
        EXPECT_EQ(c.cgridglo.U(40, 20, 1), e.flow);
    }
    c.bathyglo.IU0(40, 20) = 1;
}

// Which steps write the iteration lines (itf - it0 < nday, or itf a multiple
// of nday) and the incompressibility line (itf - it0 <= nday, or a multiple):
// with it0 = 10 and nday = 48, step 58 writes only the latter, step 57 and
// step 96 both, step 59 neither.
TEST(StepTiles, LogStepsOfThePassesAndTheDiagnostic) {
    Ctx& c = still_basin();
    c.sevp.X.fill(0.0);
    c.scaglo.it0 = 10, c.scaglo.nday = 48;
    struct Case {
        int itf;
        bool passes, diagnostic;
    } cases[] = {{57, true, true}, {58, false, true}, {59, false, false}, {96, true, true}};
    for (const auto& e : cases) {
        c.scaglo.itf = e.itf;
        std::FILE* log = std::tmpfile();
        c.io.log = log;
        if (c.mpicomm.myid == 0) testing::internal::CaptureStdout();
        surface_pressure_correction(c);
        incompressibility_and_mean_pressure(c);
        std::string out;
        if (c.mpicomm.myid == 0) out = testing::internal::GetCapturedStdout();
        const std::vector<std::string> lines = log_lines(log);
        c.io.log = nullptr;
        std::fclose(log);
        int diag = 0;
        for (const auto& s : lines) diag += s.rfind(" *** normalized mean incompressibility error = ", 0) == 0;
        EXPECT_EQ(passes_of(lines).size(), e.passes ? 1u : 0u) << e.itf;
        EXPECT_EQ(diag, e.diagnostic ? 1 : 0) << e.itf;
        if (c.mpicomm.myid == 0) {
            EXPECT_EQ(out.rfind("@itf-it0===" + fmt::I(e.itf - 10, 8) + ",itmask=  1, vmx on land=  0.0000", 0), 0u)
                << out;
        }
    }
}
