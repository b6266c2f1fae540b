// Parametrizations that communicate: the Smagorinsky viscosity with its halo
// exchange of the work planes, and the first call of the CFC flux with its
// start-up lines and global extremes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "mpi_fixture.hpp"
#include "ncout.hpp"
#include "physics/physics.hpp"
#include "util/format.hpp"

using namespace hc;
using hc::test::ctx;
using hc::test::gcol;
using hc::test::grow;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Smagorinsky viscosity (without dm0) at global cell (gi, gj) of the test
// flow u = 10 sin(2 pi gi / 320) k, v = 0, with dy growing northwards.
double u_of(int gi, int k) { return 10.0 * std::sin(2.0 * kPi * gi / 320.0) * k; }
double dy_of(int gj) { return 1.0e7 * (1.0 + 0.01 * gj); }
double smag(int gi, int gj, int k) {
    const double dx = 2.0e7;
    return 0.11999999731779099 * dx * dy_of(gj) * std::fabs((u_of(gi, k) - u_of(gi - 1, k)) / dx);
}

void set_metrics(Ctx& c) {
    auto& m = c.metricglo;
    for (int j = 1; j <= NY; ++j) {
        m.DX(j) = 2.0e7;
        m.ODX(j) = 1.0 / m.DX(j);
        m.DY(j) = dy_of(grow(c, j));
        m.ODY(j) = 1.0 / m.DY(j);
        m.OCS(j) = 1.0;
        if (j < NY) m.CSV(j) = 1.0;
    }
}

bool near(double a, double b) { return std::fabs(a - b) <= 1e-12 * std::fabs(b); }

}  // namespace

// At rest every face the fluxes read holds dm0; with a flow along the rows
// each face is the mean of the two cells beside it, across tile edges too,
// and the closed northern wall takes the one-sided value of row 48.
TEST(PhysSmag, RestShearAndTheNorthernWall) {
    Ctx& c = ctx();
    set_metrics(c);
    c.bathyglo.IN.fill(1);
    c.controglo.dm0 = 5.0e5;
    c.cgridglo.U.fill(0.0);
    c.cgridglo.V.fill(0.0);
    const auto& m = c.mpicomm;
    smagglo(c);
    int bad = 0;
    for (int k = 1; k <= KM; ++k)
        for (int j = 2; j <= 49; ++j)
            for (int i = 1; i <= 81; ++i) bad += c.filterglo.DMX(i, j, k) != 5.0e5;
    for (int k = 1; k <= KM; ++k)
        for (int j = m.jbeg; j <= m.jend; ++j)
            for (int i = 2; i <= 81; ++i) bad += c.filterglo.DMY(i, j, k) != 5.0e5;
    EXPECT_EQ(bad, 0);

    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) c.cgridglo.U(i, j, k) = u_of(gcol(c, i), k);
    smagglo(c);
    for (int k : {1, 40}) {
        for (int j : {2, 30, 49}) {
            const int gj = grow(c, j);
            for (int i : {1, 2, 50, 81}) {
                const int gi = gcol(c, i);
                const double want = 0.5 * (smag(gi, gj, k) + smag(gi + 1, gj, k)) + 5.0e5;
                EXPECT_TRUE(near(c.filterglo.DMX(i, j, k), want)) << i << " " << j << " " << k;
            }
        }
        for (int i : {2, 81}) {
            const int gi = gcol(c, i);
            const double y49 = m.myidy == 5 ? smag(gi, grow(c, 48), k) + 5.0e5
                                             : 0.5 * (smag(gi, grow(c, 49), k) + smag(gi, grow(c, 50), k)) + 5.0e5;
            EXPECT_TRUE(near(c.filterglo.DMY(i, 49, k), y49)) << i << " " << k;
            const double y10 = 0.5 * (smag(gi, grow(c, 10), k) + smag(gi, grow(c, 11), k)) + 5.0e5;
            EXPECT_TRUE(near(c.filterglo.DMY(i, 10, k), y10)) << i << " " << k;
        }
    }
}

// The gas-exchange file of the test: ice south of global row 21, a transfer
// factor of 1e-4 m times the month, sea-level pressure 1.
void write_gas_file() {
    prep::NcOut f("data/brinex_gasx.nc");
    const int di = f.dim("longitude", IMT), dj = f.dim("latitude", JMT), dm = f.dim("month", NMONTH);
    const int vf = f.var("fice", NC_DOUBLE, {di, dj, dm});
    const int vk = f.var("xkw", NC_DOUBLE, {di, dj, dm});
    const int vp = f.var("patm", NC_DOUBLE, {di, dj, dm});
    f.enddef();
    const std::size_t n = std::size_t(IMT) * JMT * NMONTH;
    std::vector<double> fi(n), kw(n), pa(n, 1.0);
    for (int I = 1; I <= IMT; ++I)
        for (int J = 1; J <= JMT; ++J)
            for (int m = 1; m <= NMONTH; ++m) {
                const std::size_t p = (std::size_t(I - 1) * JMT + (J - 1)) * NMONTH + (m - 1);
                fi[p] = J <= 20 ? 1.0 : 0.0;
                kw[p] = 1.0e-4 * m;
            }
    f.put(vf, fi.data());
    f.put(vk, kw.data());
    f.put(vp, pa.data());
    std::string err;
    EXPECT_TRUE(f.close(err)) << err;
}

// The first call reads the history on every process and writes its lines from
// process 0 only; after it the running extremes are the same everywhere and
// are those of the whole grid; a whole day writes the check lines.
TEST(PhysCfc, FirstCallLinesAndGlobalExtremes) {
    Ctx& c = ctx();
    const bool root = c.mpicomm.myid == 0;
    if (root) {
        std::FILE* f = std::fopen("data/cfc1112_new.atm", "w");
        for (int h = 0; h < 6; ++h) std::fprintf(f, "header line %d\n", h + 1);
        for (int k = 31; k <= 99; ++k)
            std::fprintf(f, "%7.2f%8.2f%8.2f%8.2f%8.2f\n", 1900.5 + k, 2.0 * (k - 30), 3.0 * (k - 30), 1.0 * (k - 30),
                         1.5 * (k - 30));
        std::fclose(f);
        write_gas_file();
    }
    MPI_Barrier(MPI_COMM_WORLD);
    c.bathyglo.IN.fill(1);
    auto& b = c.bglo;
    for (int j = 1; j <= NY; ++j) {
        c.metricglo.YDEG(j) = -72.0 + 0.5 * grow(c, j);
        for (int i = 1; i <= NX; ++i) {
            b.T2(i, j, 1) = 10.0 + 0.001 * gcol(c, i) + 0.01 * grow(c, j);
            b.S2(i, j, 1) = 34.0 + 0.001 * gcol(c, i);
            b.C2(i, j, 1) = 0.0;
        }
    }
    double days = 1.0 / 24.0, dt = 3600.0, odz1 = 1.0e-3;
    testing::internal::CaptureStdout();
    cfcsurf(c, b.C2, b.T2, b.S2, days, dt, odz1);
    const std::string out = testing::internal::GetCapturedStdout();
    auto& s = c.cfc;
    if (root) {
        const std::string head =
            " first call Read CFC gas and atm!\n i0,i1,i2= 82 81 80\n j0,j1,j2= 50 49 48\n";
        const auto at = out.find(head);
        ASSERT_NE(at, std::string::npos) << out;
        const auto first = out.find(" read cfcatm file 1931 2 3 1 1.5\n", at);
        const auto last = out.find(" read cfcatm file 1999 138 207 69 103.5\n", first);
        const auto init = out.find(" initial year,month: 1990 1\n", last);
        EXPECT_NE(first, std::string::npos);
        EXPECT_NE(last, std::string::npos);
        EXPECT_NE(init, std::string::npos);
        EXPECT_EQ(out.find("CFC check!"), std::string::npos);
    } else {
        EXPECT_EQ(out.find("first call"), std::string::npos);
        EXPECT_EQ(out.find("read cfcatm"), std::string::npos);
    }
    EXPECT_FALSE(s.FIRST_CALL);
    EXPECT_EQ(s.YEAR(31), 1931.0);
    EXPECT_EQ(s.P11(90, 1), 120.0);
    EXPECT_EQ(s.P11(90, 2), 60.0);
    EXPECT_EQ(s.RLAT(1, 1), c.metricglo.YDEG(2));
    EXPECT_DOUBLE_EQ(s.XKW(1, 1, 3), 3.0e-4);

    // Surface CFC rises from zero under open water and stays zero under ice.
    long wrong = 0;
    for (int j = 2; j <= 49; ++j)
        for (int i = 2; i <= 81; ++i) wrong += grow(c, j) <= 20 ? b.C2(i, j, 1) != 0.0 : !(b.C2(i, j, 1) > 0.0);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(s.KWMIN, 0.0);
    EXPECT_GT(s.KWMAX, 0.0);
    EXPECT_EQ(s.XKWMAX, 1.0e-4);
    EXPECT_EQ(s.XKWMIN, 1.0e-4);
    EXPECT_EQ(s.CMIN, 0.0);

    const double stmax = 10.0 + 0.001 * 320 + 0.01 * 288, stmin = 10.0 + 0.001 * 1 + 0.01 * 1;
    EXPECT_EQ(s.STMAX, stmax);
    EXPECT_EQ(s.STMIN, stmin);
    EXPECT_EQ(s.SSMAX, 34.0 + 0.001 * 320);
    const double mine[16] = {s.CMAX, s.CMIN, s.CFCMAX, s.CFCMIN, s.KWMAX, s.KWMIN, s.SCMAX, s.SCMIN,
                             s.ALPHAMAX, s.ALPHAMIN, s.STMAX, s.STMIN, s.SSMAX, s.SSMIN, s.XKWMAX, s.XKWMIN};
    double hi[16], lo[16];
    MPI_Allreduce(mine, hi, 16, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
    MPI_Allreduce(mine, lo, 16, MPI_DOUBLE, MPI_MIN, MPI_COMM_WORLD);
    for (int n = 0; n < 16; ++n) EXPECT_EQ(hi[n], lo[n]) << "extreme " << n;

    days = 1.0;
    testing::internal::CaptureStdout();
    cfcsurf(c, b.C2, b.T2, b.S2, days, dt, odz1);
    const std::string check = testing::internal::GetCapturedStdout();
    if (root) {
        const std::string want =
            " CFC check! DT= " + fmt::free_item(dt) + "\n 1 1 1 0 0.002777777777777778 90 91\n";
        EXPECT_NE(check.find(want), std::string::npos) << check;
    } else {
        EXPECT_EQ(check, "");
    }
}
