// BiCGStab on systems built to break down, 24 tiles: the identity everywhere
// but three points of one tile, preconditioner the identity (cc = 1, the
// other factors 0), so that every divisor is exact.
//  - A breakdown of (r, r̂) in the second pass: the iteration restarts from
//    the X it has reached with a fresh shadow residual and solves the system.
//  - A breakdown of (r̂, v) in the first pass: the restart meets it again, and
//    the run stops the model's way (one message from process 0, MPI
//    finalized, status 0) with X still finite. The stop ends the program, so
//    what it left is checked by an exit handler.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "mpi_fixture.hpp"
#include "solver/solver.hpp"

namespace {

using hc::test::ctx;

// The three points (i, i+1, i+2 of row 10) of the tile of process 0; a
// point's coefficients sit at (i - 1, j - 1).
constexpr int kI = 10, kJ = 10;

// Identity system with S = 0 and the identity preconditioner on every tile.
void identity_system(hc::Ctx& c) {
    auto& e = c.sevp;
    for (auto* a : {&e.AL, &e.AB, &e.AR, &e.cl, &e.cb, &e.cr, &e.ct, &e.S}) a->fill(0.0);
    e.AT.fill(0.0);
    e.AC.fill(1.0);
    e.cc.fill(1.0);
    e.X.fill(0.0);
}

// Coefficients of the chain on process 0: A e1 = a e1 + c e2,
// A e2 = d e2 + f e3, A e3 = e3; S = e1.
void chain(hc::Ctx& c, double a, double cpl, double d, double f) {
    identity_system(c);
    if (c.mpicomm.myid != 0) return;
    auto& e = c.sevp;
    e.AC(kI - 1, kJ - 1) = a;
    e.AL(kI, kJ - 1) = cpl;  // row of point 2, west neighbour point 1
    e.AC(kI, kJ - 1) = d;
    e.AL(kI + 1, kJ - 1) = f;  // row of point 3, west neighbour point 2
    e.S(kI - 1, kJ - 1) = 1.0;
}

void solve(hc::Ctx& c) {
    auto& e = c.sevp;
    auto& b = c.bicg;
    hc::p_bicgstab_le(c, e.AB, e.AL, e.AC, e.AR, e.AT, e.S, e.X, e.cb, e.cl, e.cc, e.cr, e.ct, b.bicg_r, b.bicg_rhat,
                      b.bicg_p, b.bicg_v, b.bicg_s, b.bicg_t, b.bicg_y, b.bicg_z);
}

bool all_finite(const hc::Plane& x) {
    for (int j = 1; j <= 50; ++j) {
        for (int i = 1; i <= 82; ++i) {
            if (!std::isfinite(x(i, j))) return false;
        }
    }
    return true;
}

std::string stdout_file(int rank) { return "stdout_breakdown_" + std::to_string(rank); }

// After the stop: X finite and zero (no pass changed it), one message on
// process 0's standard output, nothing on the others'.
void check_stop_at_exit() {
    hc::Ctx& c = ctx();
    std::fflush(stdout);
    std::ifstream f(stdout_file(c.mpicomm.myid));
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string out = ss.str();
    const std::string want = " bi-cgstab: breakdown at itf= 7 pass= 2 after a restart; run stopped\n";
    bool ok = all_finite(c.sevp.X) && c.sevp.X(kI, kJ) == 0.0;
    ok = ok && (c.mpicomm.myid == 0 ? out == want : out.empty());
    std::remove(stdout_file(c.mpicomm.myid).c_str());
    if (!ok) {
        std::fprintf(stderr, "rank %d: wrong stop after the breakdown; standard output was:\n%s", c.mpicomm.myid,
                     out.c_str());
        std::_Exit(1);
    }
}

}  // namespace

// (r, r̂) = 0 in pass 2: r has left the direction of r̂ = e1 while X already
// holds the first point's value. The restart solves the rest.
TEST(BicgstabBreakdown, RestartsOnceAndSolves) {
    hc::Ctx& c = ctx();
    chain(c, 2.0, 1.0, 1.0, 1.0);
    c.scaglo.itf = 3;
    solve(c);
    EXPECT_EQ(c.bicg.restarted, 1);
    EXPECT_GE(c.bicg.passes, 3);
    EXPECT_TRUE(all_finite(c.sevp.X));
    if (c.mpicomm.myid == 0) {
        // The solution of the chain: 0.5, -0.5, 0.5.
        EXPECT_NEAR(c.sevp.X(kI, kJ), 0.5, 1e-9);
        EXPECT_NEAR(c.sevp.X(kI + 1, kJ), -0.5, 1e-9);
        EXPECT_NEAR(c.sevp.X(kI + 2, kJ), 0.5, 1e-9);
    }
    // Without a breakdown nothing restarts.
    chain(c, 2.0, 0.0, 1.0, 0.0);
    solve(c);
    EXPECT_EQ(c.bicg.restarted, 0);
    if (c.mpicomm.myid == 0) { EXPECT_NEAR(c.sevp.X(kI, kJ), 0.5, 1e-12); }
}

// (r̂, v) = 0 in pass 1 (A e1 = e2 has no part along r̂ = e1), and again
// after the restart, which starts from the same X: the run stops.
TEST(BicgstabBreakdown, SecondBreakdownStopsTheRun) {
    hc::Ctx& c = ctx();
    chain(c, 0.0, 1.0, 1.0, 0.0);
    c.scaglo.itf = 7;
    std::fflush(stdout);
    ASSERT_NE(std::freopen(stdout_file(c.mpicomm.myid).c_str(), "w", stdout), nullptr);
    hc::test::expect_stop();
    std::atexit(check_stop_at_exit);
    solve(c);  // does not return
    ADD_FAILURE() << "the solve returned after a second breakdown";
}
