// Process grid and halo exchanges across the 24 tiles.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mpi_fixture.hpp"
#include "solver/solver.hpp"

using namespace hc;
using hc::test::ctx;
using hc::test::gcol;
using hc::test::grow;

namespace {

// A value that identifies global point (gi, gj) of level k; halo points of
// the closed edges get a sentinel.
double tag(int gi, int gj, int k) { return gi + 1000.0 * gj + 1.0e6 * k; }

// Coordinates (px, py) of comm3d rank r.
void coords_of(Ctx& c, int r, int& px, int& py) {
    int co[3];
    MPI_Cart_coords(c.mpicomm.comm3d, r, 3, co);
    py = co[1];
    px = co[2];
}

int wrap(int gi) { return (gi + 319) % 320 + 1; }

}  // namespace

TEST(Grid, NeighboursTileNamesAndSlabs) {
    Ctx& c = ctx();
    auto& m = c.mpicomm;
    int px = m.myidx, py = m.myidy;
    int co[3];
    int r3;
    MPI_Comm_rank(m.comm3d, &r3);
    MPI_Cart_coords(m.comm3d, r3, 3, co);
    EXPECT_EQ(co[1], py);
    EXPECT_EQ(co[2], px);

    int ex, ey, wx, wy;
    coords_of(c, m.ieast, ex, ey);
    coords_of(c, m.iwest, wx, wy);
    EXPECT_EQ(ex, (px + 1) % 4);
    EXPECT_EQ(ey, py);
    EXPECT_EQ(wx, (px + 3) % 4);
    if (py == 0) EXPECT_EQ(m.isouth, MPI_PROC_NULL);
    if (py == 5) EXPECT_EQ(m.inorth, MPI_PROC_NULL);
    if (py > 0) {
        int sx, sy;
        coords_of(c, m.isouth, sx, sy);
        EXPECT_EQ(sy, py - 1);
        EXPECT_EQ(sx, px);
    }
    EXPECT_EQ(m.jbeg, py == 0 ? 2 : 1);
    EXPECT_EQ(m.jend, py == 5 ? 48 : 49);

    char want[8];
    std::snprintf(want, sizeof want, "%03d_%03d", px, py);
    EXPECT_STREQ(c.grdglo.name, want);
    if (px == 3 && py == 2) {
        EXPECT_STREQ(c.grdglo.name, "003_002");
        EXPECT_EQ(ex, 0);
        EXPECT_EQ(wx, 2);
    }
    if (px == 2 && py == 5) {
        EXPECT_EQ(c.pnetcdf.nst3(1), 1);
        EXPECT_EQ(c.pnetcdf.nst3(2), 241);
        EXPECT_EQ(c.pnetcdf.nst3(3), 161);
        EXPECT_EQ(c.pnetcdf2.fst3(1), 161);
        EXPECT_EQ(c.pnetcdf2.fst3(2), 241);
        EXPECT_EQ(c.pnetcdf2.fst3(3), 1);
        EXPECT_EQ(c.pnetcdf.nst2(1), 241);
        EXPECT_EQ(c.pnetcdf.nst2(2), 161);
    }
    EXPECT_EQ(c.pnetcdf.NN(5), 41);
    EXPECT_EQ(c.pnetcdf2.fcnw(3), 41);
    EXPECT_EQ(m.NPX(14), 26001);
    EXPECT_EQ(m.NPY(14), 42641);
    int sz;
    MPI_Comm_size(m.commx, &sz);
    EXPECT_EQ(sz, 4);
    MPI_Comm_size(m.commy, &sz);
    EXPECT_EQ(sz, 6);
}

TEST(Halo, ThreeDimensionalExchangeWrapsAndLeavesClosedEdges) {
    Ctx& c = ctx();
    Field& f = c.bglo.T1;
    const double sentinel = -77.0;
    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                bool interior = i >= 2 && i <= 81 && j >= 2 && j <= 49;
                f(i, j, k) = interior ? tag(gcol(c, i), grow(c, j), k) : sentinel;
            }
    mpi_exch_3d_r4(c, f);
    int py = c.mpicomm.myidy;
    int bad = 0;
    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                int gj = grow(c, j);
                double want = (gj < 1 || gj > 288) ? sentinel : tag(wrap(gcol(c, i)), gj, k);
                if (f(i, j, k) != want) ++bad;
            }
    EXPECT_EQ(bad, 0);
    if (py < 5) EXPECT_EQ(f(82, 50, 1), tag(wrap(gcol(c, 82)), grow(c, 50), 1));  // north-east neighbour's (2, 2)
}

// The grouped exchange gives every field exactly what its own exchange gives
// it, corners and the untouched halo rows of the closed edges included, for
// one field, a few and the full sixteen slots.
TEST(Halo, GroupedExchangeEqualsOneFieldAtATime) {
    Ctx& c = ctx();
    const int r = c.mpicomm.myid;
    for (int n : {1, 3, NGROUP_FIELDS}) {
        std::vector<std::unique_ptr<Field>> a, b;
        std::vector<Field*> pa;
        for (int q = 0; q < n; ++q) {
            a.push_back(std::make_unique<Field>());
            b.push_back(std::make_unique<Field>());
            pa.push_back(a.back().get());
            // Interior from the global point, halo from this process: a halo
            // line left as it was, or taken from the wrong line, field or
            // level, shows.
            for (int k = 1; k <= KM; ++k)
                for (int j = 1; j <= NY; ++j)
                    for (int i = 1; i <= NX; ++i) {
                        const bool halo = i == 1 || i == NX || j == 1 || j == NY;
                        const double v = halo ? -(r + 1.0) - 0.001 * (i + j) - 7.0 * q
                                              : tag(gcol(c, i), grow(c, j), k) + 0.25 * q;
                        (*a[q])(i, j, k) = v;
                        (*b[q])(i, j, k) = v;
                    }
        }
        exchange_fields(c, pa.data(), n);
        for (int q = 0; q < n; ++q) mpi_exch_3d_r4(c, *b[q]);
        int bad = 0;
        for (int q = 0; q < n; ++q)
            bad += std::memcmp(a[q]->data(), b[q]->data(), sizeof(double) * Field::size) != 0;
        EXPECT_EQ(bad, 0) << n << " fields";
    }
}

TEST(Halo, PlaneExchangesBothDatatypes) {
    Ctx& c = ctx();
    for (int variant = 0; variant < 3; ++variant) {
        Field& f = c.bglo.S1;
        f.fill(-5.0);
        const int k = 7;
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) f(i, j, k) = tag(gcol(c, i), grow(c, j), 0);
        if (variant == 0) mpi_exch_2d_r4(c, f.at(1, 1, k));
        if (variant == 1) mpi_exch_2d_r8(c, f.at(1, 1, k));
        if (variant == 2) {
            Plane& p = c.bglo.P0;
            for (int j = 1; j <= NY; ++j)
                for (int i = 1; i <= NX; ++i) p(i, j) = f(i, j, k);
            mpi_exch_2d_r4(c, p);
            for (int j = 1; j <= NY; ++j)
                for (int i = 1; i <= NX; ++i) f(i, j, k) = p(i, j);
        }
        int bad = 0;
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                int gj = grow(c, j);
                double want = (gj < 1 || gj > 288) ? -5.0 : tag(wrap(gcol(c, i)), gj, 0);
                if (f(i, j, k) != want) ++bad;
                if (f(i, j, k + 1) != -5.0) ++bad;  // the next level is untouched
            }
        EXPECT_EQ(bad, 0) << "variant " << variant;
    }
}

// The operator of the BiCGStab solver refreshes the halo lines its stencil
// reads, in one round: each must carry what the columns-then-rows exchange
// of the solution delivers there, and the four corners keep what they held.
TEST(Halo, OperatorLinesAreTheFullExchangesButTheCorners) {
    Ctx& c = ctx();
    Plane& x = c.bicg.bicg_y;
    Plane& full = c.bicg.bicg_z;
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) {
            const bool interior = i > 1 && i < NX && j > 1 && j < NY;
            x(i, j) = interior ? tag(gcol(c, i), grow(c, j), 0) : -5.0 - i - 100.0 * j;
        }
    std::memcpy(full.data(), x.data(), sizeof(double) * PLANE);
    solver_halo_exchange(c, full);
    auto& e = c.sevp;
    p_sqprod(c, e.AB, e.AL, e.AC, e.AR, e.AT, x, c.bicg.bicg_v);
    int bad = 0;
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) {
            const bool corner = (i == 1 || i == NX) && (j == 1 || j == NY);
            const double want = corner ? -5.0 - i - 100.0 * j : full(i, j);
            if (x(i, j) != want) ++bad;
        }
    EXPECT_EQ(bad, 0);
}

TEST(Packed, SecondLayerAndStaleCorners) {
    Ctx& c = ctx();
    Field &q1 = c.bglo.U1, &q2 = c.bglo.V1, &q3 = c.bglo.ULF, &q4 = c.bglo.VLF;
    const double stale = -9.0;
    for (Field* f : {&q1, &q2, &q3, &q4}) f->fill(stale);
    for (int k = 1; k <= KM; ++k)
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) {
                q1(i, j, k) = tag(gcol(c, i), grow(c, j), k);
                q2(i, j, k) = -tag(gcol(c, i), grow(c, j), k);
            }
    mpi_peri_uv(c, q1, q2, q3, q4);
    int py = c.mpicomm.myidy, bad = 0;
    for (int k = 1; k <= KM; ++k)
        for (int j = 2; j <= 49; ++j) {
            int gj = grow(c, j);
            // q3's column 82 is the east neighbour's column 3 (i = 83 here), column 1 the west's 80 (i = 0).
            if (q3(82, j, k) != tag(wrap(gcol(c, 83)), gj, k)) ++bad;
            if (q3(1, j, k) != tag(wrap(gcol(c, 0)), gj, k)) ++bad;
            if (q4(82, j, k) != -tag(wrap(gcol(c, 83)), gj, k)) ++bad;
            if (q1(82, j, k) != tag(wrap(gcol(c, 82)), gj, k)) ++bad;
            if (q1(1, j, k) != tag(wrap(gcol(c, 1)), gj, k)) ++bad;
        }
    for (int k = 1; k <= KM; ++k)
        for (int i = 2; i <= 81; ++i) {
            if (py < 5 && q3(i, 50, k) != tag(gcol(c, i), grow(c, 51), k)) ++bad;
            if (py > 0 && q3(i, 1, k) != tag(gcol(c, i), grow(c, 0), k)) ++bad;
            if (py < 5 && q1(i, 50, k) != tag(gcol(c, i), grow(c, 50), k)) ++bad;
            if (py == 5 && (q1(i, 50, k) != stale || q3(i, 50, k) != stale)) ++bad;
            if (py == 0 && (q1(i, 1, k) != stale || q3(i, 1, k) != stale)) ++bad;
        }
    // Corners come from the north or south neighbour's halo as it stood: stale.
    if (py < 5) EXPECT_EQ(q1(82, 50, 1), stale);
    if (py > 0) EXPECT_EQ(q1(1, 1, 1), stale);
    EXPECT_EQ(bad, 0);

    // Two fields, first layer only.
    for (Field* f : {&q1, &q2}) f->fill(stale);
    for (int k = 1; k <= KM; ++k)
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) q2(i, j, k) = tag(gcol(c, i), grow(c, j), k);
    mpi_peri_ts(c, q1, q2);
    if (py < 5) EXPECT_EQ(q2(81, 50, 3), tag(gcol(c, 81), grow(c, 50), 3));
    if (py < 5) EXPECT_EQ(q2(82, 50, 3), stale);
    EXPECT_EQ(q2(82, 20, 3), tag(wrap(gcol(c, 82)), grow(c, 20), 3));
}

TEST(Packed, FourteenFieldsAndPlanes) {
    Ctx& c = ctx();
    Field* q[14] = {&c.bglo.U1, &c.bglo.V1, &c.bglo.S1, &c.bglo.T1, &c.bglo.C1, &c.bglo.U2, &c.bglo.V2,
                    &c.bglo.S2, &c.bglo.T2, &c.bglo.C2, &c.bglo.ULF, &c.bglo.VLF, &c.bglo.SLF, &c.bglo.TLF};
    for (int n = 0; n < 14; ++n) {
        q[n]->fill(0.0);
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) (*q[n])(i, j, 5) = (n + 1) * tag(gcol(c, i), grow(c, j), 0);
    }
    mpi_peri_all(c, *q[0], *q[1], *q[2], *q[3], *q[4], *q[5], *q[6], *q[7], *q[8], *q[9], *q[10], *q[11], *q[12],
                 *q[13]);
    const int gj = grow(c, 10);
    // First layer of Q1..Q9 into their own halos.
    for (int n = 0; n < 9; ++n) EXPECT_EQ((*q[n])(82, 10, 5), (n + 1) * tag(wrap(gcol(c, 82)), gj, 0)) << n;
    // Second layer of Q9, Q3, Q4, Q1, Q2 into Q14, Q12, Q13, Q10, Q11.
    const int src[5] = {9, 3, 4, 1, 2}, dst[5] = {14, 12, 13, 10, 11};
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ((*q[dst[n] - 1])(1, 10, 5), src[n] * tag(wrap(gcol(c, 0)), gj, 0)) << n;

    Plane &p1 = c.bglo.PX, &p2 = c.bglo.PY, &p3 = c.bglo.P0, &p4 = c.sevp.X;
    for (Plane* p : {&p1, &p2, &p3, &p4}) p->fill(-1.0);
    for (int j = 2; j <= 49; ++j)
        for (int i = 2; i <= 81; ++i) {
            p1(i, j) = tag(gcol(c, i), grow(c, j), 0);
            p2(i, j) = 2 * tag(gcol(c, i), grow(c, j), 0);
        }
    mpi_peri_scr(c, p1, p2, p3, p4);
    EXPECT_EQ(p3(82, 10), tag(wrap(gcol(c, 83)), gj, 0));
    EXPECT_EQ(p3(1, 10), tag(wrap(gcol(c, 0)), gj, 0));
    EXPECT_EQ(p4(1, 10), 2 * tag(wrap(gcol(c, 0)), gj, 0));
    int py = c.mpicomm.myidy;
    if (py < 5) EXPECT_EQ(p3(10, 50), tag(gcol(c, 10), grow(c, 51), 0));
    if (py > 0) EXPECT_EQ(p4(10, 1), 2 * tag(gcol(c, 10), grow(c, 0), 0));
    if (py == 5) EXPECT_EQ(p3(10, 50), -1.0);
    EXPECT_EQ(p1(82, 10), -1.0);  // the source planes keep their halos
}
