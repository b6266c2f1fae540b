// Start-up of the marching solver: the sub-block table IE and the influence
// matrices RINV, RINV1, built from the coefficients that every tile holds.
//
// The root process (rank 0 of comm3d) gathers the 24 tiles' coefficients into
// the global 320 x 288 system, cuts each process row's 48 rows into its 12
// sub-blocks (short ones where marching amplifies most), takes for every
// sub-block m (base row b, first row b+1, last row e) the responses of a
// re-marching with zero right-hand side: Q, P the change of the marched last
// row per unit change of the first and of the base row, W, V the change of
// the last row's left-hand side, with the row above e held fixed; N the north
// coefficients of row e. Then, with K0 = 0: R = (W + V K)^-1,
// R1 = -(P K + Q) R, K = R1 N. Each process receives, for its tile columns,
// the transposed matrices of the sub-blocks its process row marches, in
// slabs of 54 rows (one per share of a residual row), and the same of the
// other tiles of its process row, whose coefficients the four processes of
// the row share: each marches the whole row.
#include <cblas.h>
#include <lapacke.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "comm/comm.hpp"
#include "solver/solver.hpp"

namespace hc {

namespace {

constexpr int N = IMT;               // points of a global row
constexpr int ROWS = JMT;            // interior rows of the global grid
constexpr int NSUB = 72;             // sub-blocks
constexpr int TILE_WORDS = 2 + 5 * INTERIOR;  // coordinates, AL, AB, AC, AR, AT(rows 2..49)

// The global coefficients, row g = 1..288, column c = 1..320 (periodic).
struct Global {
    std::vector<double> al, ab, ac, ar, at;  // at(c, g): north coefficient of row g; row 0 holds zeros
    double& L(int cc, int g) { return al[idx(cc, g)]; }
    double& B(int cc, int g) { return ab[idx(cc, g)]; }
    double& C(int cc, int g) { return ac[idx(cc, g)]; }
    double& R(int cc, int g) { return ar[idx(cc, g)]; }
    double& T(int cc, int g) { return at[size_t(cc - 1) + size_t(N) * size_t(g)]; }
    static size_t idx(int cc, int g) { return size_t(cc - 1) + size_t(N) * size_t(g - 1); }
    Global() : al(size_t(N) * ROWS), ab(size_t(N) * ROWS), ac(size_t(N) * ROWS), ar(size_t(N) * ROWS),
               at(size_t(N) * (ROWS + 1)) {}
};

inline int wrap(int cc) { return cc < 1 ? cc + N : (cc > N ? cc - N : cc); }

// Dense n x n matrices, column-major: M[(r - 1) + n (col - 1)].
using Dense = std::vector<double>;

// Response of sub-block m's re-marching to the base row xb and first row xf
// (zero right-hand side, the row above e zero): the last row and its
// left-hand side.
void remarch(Global& G, int b, int e, const double* xb, const double* xf, double* last, double* lhs) {
    std::vector<double> rows(size_t(N) * (e - b + 1));
    auto X = [&](int cc, int g) -> double& { return rows[size_t(wrap(cc) - 1) + size_t(N) * size_t(g - b)]; };
    for (int cc = 1; cc <= N; ++cc) {
        X(cc, b) = xb[cc - 1];
        X(cc, b + 1) = xf[cc - 1];
    }
    for (int k = b + 2; k <= e; ++k) {
        const int g = k - 1;
        for (int cc = 1; cc <= N; ++cc) {
            X(cc, k) = (0.0 - G.L(cc, g) * X(cc - 1, g) - G.B(cc, g) * X(cc, g - 1) - G.C(cc, g) * X(cc, g) -
                        G.R(cc, g) * X(cc + 1, g)) /
                       G.T(cc, g);
        }
    }
    for (int cc = 1; cc <= N; ++cc) {
        last[cc - 1] = X(cc, e);
        lhs[cc - 1] = G.L(cc, e) * X(cc - 1, e) + G.B(cc, e) * X(cc, e - 1) + G.C(cc, e) * X(cc, e) +
                      G.R(cc, e) * X(cc + 1, e);
    }
}

// out = A K for a matrix A with few nonzeros per row (a marching response).
void sparse_times(const Dense& A, const Dense& K, Dense& out) {
    std::fill(out.begin(), out.end(), 0.0);
    for (int j = 0; j < N; ++j) {
        for (int r = 0; r < N; ++r) {
            const double a = A[size_t(r) + size_t(N) * j];
            if (a == 0.0) continue;
            for (int col = 0; col < N; ++col) out[size_t(r) + size_t(N) * col] += a * K[size_t(j) + size_t(N) * col];
        }
    }
}

// In place inverse; with drop_smallest the generalised inverse that drops the
// smallest singular value (the rigid lid's constant null vector).
void invert(Dense& M, bool drop_smallest) {
    if (!drop_smallest) {
        std::vector<lapack_int> piv(N);
        LAPACKE_dgetrf(LAPACK_COL_MAJOR, N, N, M.data(), N, piv.data());
        LAPACKE_dgetri(LAPACK_COL_MAJOR, N, M.data(), N, piv.data());
        return;
    }
    Dense U(size_t(N) * N), VT(size_t(N) * N);
    std::vector<double> s(N), work(N);
    LAPACKE_dgesvd(LAPACK_COL_MAJOR, 'A', 'A', N, N, M.data(), N, s.data(), U.data(), N, VT.data(), N, work.data());
    // pinv = V diag(1/s) U^T over all but the smallest singular value.
    for (int k = 0; k < N - 1; ++k) {
        const double inv = s[k] > 0.0 ? 1.0 / s[k] : 0.0;
        for (int r = 0; r < N; ++r) U[size_t(r) + size_t(N) * k] *= inv;
    }
    cblas_dgemm(CblasColMajor, CblasTrans, CblasTrans, N, N, N - 1, 1.0, VT.data(), N, U.data(), N, 0.0, M.data(), N);
}

// Digits that marching through the equations of global row g costs: the
// ratio of an equation's other coefficients to its north one bounds how much
// a change of the rows below grows in the row above; its median over the row
// stands for the bulk of the row (a coastal point with a thin land sheet to
// its north amplifies more, but only locally). Over open water the ratio is
// about 3 + 4 (dy/dx)^2, from 7 at 60 degrees to over 200 at the northernmost
// rows. A row with no north coefficient somewhere (the north wall) must end
// a sub-block: its cost is infinite.
double march_cost(Global& G, int g) {
    std::vector<double> r(N);
    for (int cc = 1; cc <= N; ++cc) {
        const double t = std::fabs(G.T(cc, g));
        const double rest = std::fabs(G.L(cc, g)) + std::fabs(G.B(cc, g)) + std::fabs(G.C(cc, g)) + std::fabs(G.R(cc, g));
        if (t == 0.0) return HUGE_VAL;
        r[cc - 1] = rest / t;
    }
    std::nth_element(r.begin(), r.begin() + N / 2, r.end());
    return std::log10(std::max(1.0, r[N / 2]));
}

// The last sub-block's matrix carries the near-null mode of the whole system
// (the constants under the rigid lid, nearly so with the free surface): its
// inverse is some hundred times worse conditioned than the others', so the
// run that ends at the north wall is charged that many more digits.
constexpr double kWallDigits = 2.0;

// The sub-block table of process row p: tile rows 2..49 cut into 12 runs of
// consecutive rows so that the sum of the runs' amplifications (10 to the
// sum of march_cost over the rows a run marches through, all but its last)
// is least: the largest dominates, and the rest stay balanced. The rounding
// error of a solve grows with a run's amplification, so the runs shorten
// towards the pole, where the zonal spacing shrinks to a seventh of the
// meridional one; with runs of four rows there the solve kept only two
// digits.
std::array<int, 12> sub_block_table(Global& G, int p) {
    constexpr int FIRST = 2, LAST = NYI + 1, NB = 12;
    double cost[NY + 1];
    for (int j = FIRST; j <= LAST; ++j) cost[j] = march_cost(G, 48 * p + j - 1);
    // run(f, e): cost of a run of rows f..e.
    auto run = [&](int f, int e) {
        double s = 0.0;
        for (int j = f; j < e; ++j) s += cost[j];
        return s;
    };
    // best[n][e]: the least sum of the amplifications 10^cost of n runs that
    // cover rows 2..e (the largest dominates, the rest keeps the others
    // balanced); from[n][e]: the last row of the run before.
    double best[NB + 1][NY + 1];
    int from[NB + 1][NY + 1] = {};
    for (int n = 0; n <= NB; ++n) {
        for (int e = 0; e <= LAST; ++e) best[n][e] = HUGE_VAL;
    }
    best[0][FIRST - 1] = 0.0;
    for (int n = 1; n <= NB; ++n) {
        for (int e = FIRST; e <= LAST; ++e) {
            for (int prev = FIRST - 1; prev < e; ++prev) {
                if (best[n - 1][prev] == HUGE_VAL) continue;
                const double wall = p == LASTROW && e == LAST ? kWallDigits : 0.0;
                const double v = best[n - 1][prev] + std::pow(10.0, run(prev + 1, e) + wall);
                if (v < best[n][e]) {
                    best[n][e] = v;
                    from[n][e] = prev;
                }
            }
        }
    }
    std::array<int, 12> ie{};
    if (!(best[NB][LAST] < HUGE_VAL)) {
        // No cut avoids a row without a north coefficient, or every cut's
        // amplification overflows: keep runs of four rows.
        for (int h = 1; h <= NB; ++h) ie[h - 1] = 4 * h + 1;
        return ie;
    }
    int e = LAST;
    for (int n = NB; n >= 1; --n) {
        ie[n - 1] = e;
        e = from[n][e];
    }
    return ie;
}


// The coefficients and slabs of the other tiles of the process row, which
// the solve marches and corrects beside its own (struct Marchwork).
template <class A>
void gather_over_row(Ctx& c, A& own, A Marchtile::*member) {
    std::vector<double> all(A::size * NPROC_COLS);
    MPI_Allgather(own.data(), int(A::size), MPI_DOUBLE, all.data(), int(A::size), MPI_DOUBLE, c.mpicomm.commx);
    for (int t = 0; t < NPROC_COLS; ++t) {
        if (t == c.mpicomm.myidx) continue;
        std::copy(all.begin() + long(A::size) * t, all.begin() + long(A::size) * (t + 1),
                  (c.marchwork.tile[t].*member).data());
    }
}

void copy_row_coefficients(Ctx& c) {
    auto& e = c.sevp;
    gather_over_row(c, e.AL, &Marchtile::AL);
    gather_over_row(c, e.AB, &Marchtile::AB);
    gather_over_row(c, e.AC, &Marchtile::AC);
    gather_over_row(c, e.AR, &Marchtile::AR);
    gather_over_row(c, e.AT, &Marchtile::AT);
}

// Message tags of the slabs: the process's own 1, those of tile column q of
// its process row 10 + q (RINV) and 20 + q (RINV1).
constexpr int kTagRowRinv = 10, kTagRowRinv1 = 20;

}  // namespace

void build_marching_matrices(Ctx& c) {
    open_row_share(c);
    auto& e = c.sevp;
    auto& mc = c.mpicomm;
    int rank = 0;
    MPI_Comm_rank(mc.comm3d, &rank);
    std::vector<double> mine(TILE_WORDS);
    mine[0] = mc.myidx;
    mine[1] = mc.myidy;
    size_t w = 2;
    for (IPlane* a : {&e.AL, &e.AB, &e.AC, &e.AR}) {
        for (int j = 1; j <= NYI; ++j) {
            for (int i = 1; i <= NXI; ++i) mine[w++] = (*a)(i, j);
        }
    }
    for (int j = 2; j <= NYI + 1; ++j) {
        for (int i = 1; i <= NXI; ++i) mine[w++] = e.AT(i, j);
    }
    std::vector<double> all(rank == 0 ? size_t(TILE_WORDS) * NPROC : 0);
    MPI_Gather(mine.data(), TILE_WORDS, MPI_DOUBLE, all.data(), TILE_WORDS, MPI_DOUBLE, 0, mc.comm3d);
    copy_row_coefficients(c);

    const size_t nr = RinvSlabs::size, nr1 = Rinv1Slabs::size;
    int table[NPROC_ROWS][12];
    if (rank != 0) {
        MPI_Bcast(table, NPROC_ROWS * 12, MPI_INT, 0, mc.comm3d);
        for (int h = 1; h <= 12; ++h) e.IE(h) = table[mc.myidy][h - 1];
        MPI_Request req[2 * NPROC_COLS];
        int n = 0;
        MPI_Irecv(e.RINV.data(), int(nr), MPI_DOUBLE, 0, 1, mc.comm3d, &req[n++]);
        MPI_Irecv(e.RINV1.data(), int(nr1), MPI_DOUBLE, 0, 1, mc.comm3d, &req[n++]);
        for (int q = 0; q < NPROC_COLS; ++q) {
            if (q == mc.myidx) continue;
            auto& o = c.marchwork.tile[q];
            MPI_Irecv(o.RINV.data(), int(nr), MPI_DOUBLE, 0, kTagRowRinv + q, mc.comm3d, &req[n++]);
            MPI_Irecv(o.RINV1.data(), int(nr1), MPI_DOUBLE, 0, kTagRowRinv1 + q, mc.comm3d, &req[n++]);
        }
        for (int k = 0; k < n; ++k) quiet_wait(req[k], 200000);
        return;
    }

    Global G;
    std::vector<int> qd(NPROC), rd(NPROC);
    for (int d = 0; d < NPROC; ++d) {
        const double* t = all.data() + size_t(TILE_WORDS) * d;
        const int q = int(t[0]), p = int(t[1]);
        qd[d] = q;
        rd[d] = p;
        size_t o = 2;
        for (int arr = 0; arr < 4; ++arr) {
            for (int j = 1; j <= NYI; ++j) {
                for (int i = 1; i <= NXI; ++i) {
                    const int cc = 80 * q + i, g = 48 * p + j;
                    double v = t[o++];
                    if (arr == 0) G.L(cc, g) = v;
                    if (arr == 1) G.B(cc, g) = v;
                    if (arr == 2) G.C(cc, g) = v;
                    if (arr == 3) G.R(cc, g) = v;
                }
            }
        }
        for (int j = 2; j <= NYI + 1; ++j) {
            for (int i = 1; i <= NXI; ++i) G.T(80 * q + i, 48 * p + j - 1) = t[o++];
        }
    }

    for (int p = 0; p < NPROC_ROWS; ++p) {
        const auto ie = sub_block_table(G, p);
        std::copy(ie.begin(), ie.end(), table[p]);
    }
    MPI_Bcast(table, NPROC_ROWS * 12, MPI_INT, 0, mc.comm3d);
    for (int h = 1; h <= 12; ++h) e.IE(h) = table[mc.myidy][h - 1];
    // Global rows of sub-block m: base, last.
    auto base_row = [&](int m) {
        const int p = (m - 1) / 12, h = (m - 1) % 12 + 1;
        return 48 * p + (h == 1 ? 1 : table[p][h - 2]) - 1;
    };
    auto last_row = [&](int m) { return 48 * ((m - 1) / 12) + table[(m - 1) / 12][(m - 1) % 12] - 1; };

    // The slabs of every process, filled sub-block by sub-block: of every
    // share, for the process's tile columns, the sub-blocks its process row
    // marches (RINV1 also the last one of the row below).
    std::vector<std::vector<double>> outR(NPROC, std::vector<double>(nr, 0.0));
    std::vector<std::vector<double>> outR1(NPROC, std::vector<double>(nr1, 0.0));
    auto share = [&](const Dense& M, int m, std::vector<std::vector<double>>& out, int lfirst) {
        for (int d = 0; d < NPROC; ++d) {
            const int l = m - 12 * rd[d];
            if (l < lfirst || l > 12) continue;
            for (int r = 0; r < NPROC_ROWS; ++r) {
                double* slab = out[d].data() + size_t(NEVPQ) * NX * (r + size_t(NPROC_ROWS) * (l - lfirst));
                for (int i = 1; i <= NX; ++i) {
                    const int cc = wrap(80 * qd[d] + i - 1);
                    for (int k = 1; k <= NEVPQ; ++k) {
                        const int col = NEVPQ * r + k;
                        slab[(k - 1) + size_t(NEVPQ) * (i - 1)] =
                            col <= N ? M[size_t(cc - 1) + size_t(N) * (col - 1)] : 0.0;
                    }
                }
            }
        }
    };

    const size_t nn = size_t(N) * N;
    Dense Q(nn), P(nn), Wm(nn), Vm(nn), K(nn, 0.0), M(nn), T(nn), R1(nn);
    std::vector<double> zero(N, 0.0), unit(N, 0.0);
    const bool singular = c.controglo.lfsrf != 1;
    for (int m = 1; m <= NSUB; ++m) {
        const int bm = base_row(m), em = last_row(m);
        for (int j = 0; j < N; ++j) {
            unit[j] = 1.0;
            remarch(G, bm, em, zero.data(), unit.data(), &Q[size_t(N) * j], &Wm[size_t(N) * j]);
            remarch(G, bm, em, unit.data(), zero.data(), &P[size_t(N) * j], &Vm[size_t(N) * j]);
            unit[j] = 0.0;
        }
        sparse_times(Vm, K, M);
        for (size_t n = 0; n < nn; ++n) M[n] += Wm[n];
        invert(M, singular && m == NSUB);  // M now holds R
        share(M, m, outR, 1);
        if (m == NSUB) break;
        sparse_times(P, K, T);
        for (size_t n = 0; n < nn; ++n) T[n] += Q[n];
        cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, N, N, N, -1.0, T.data(), N, M.data(), N, 0.0,
                    R1.data(), N);
        share(R1, m, outR1, 0);
        for (int j = 0; j < N; ++j) {
            const double nj = G.T(j + 1, em);
            for (int r = 0; r < N; ++r) K[size_t(r) + size_t(N) * j] = R1[size_t(r) + size_t(N) * j] * nj;
        }
    }

    // Each process gets its own slabs and those of the other tiles of its
    // process row.
    int owner[NPROC_ROWS][NPROC_COLS];
    for (int d = 0; d < NPROC; ++d) owner[rd[d]][qd[d]] = d;
    for (int d = 0; d < NPROC; ++d) {
        if (d == 0) {
            std::copy(outR[0].begin(), outR[0].end(), e.RINV.data());
            std::copy(outR1[0].begin(), outR1[0].end(), e.RINV1.data());
            for (int q = 0; q < NPROC_COLS; ++q) {
                if (q == qd[0]) continue;
                const int o = owner[rd[0]][q];
                std::copy(outR[o].begin(), outR[o].end(), c.marchwork.tile[q].RINV.data());
                std::copy(outR1[o].begin(), outR1[o].end(), c.marchwork.tile[q].RINV1.data());
            }
            continue;
        }
        MPI_Send(outR[d].data(), int(nr), MPI_DOUBLE, d, 1, mc.comm3d);
        MPI_Send(outR1[d].data(), int(nr1), MPI_DOUBLE, d, 1, mc.comm3d);
        for (int q = 0; q < NPROC_COLS; ++q) {
            if (q == qd[d]) continue;
            const int o = owner[rd[d]][q];
            MPI_Send(outR[o].data(), int(nr), MPI_DOUBLE, d, kTagRowRinv + q, mc.comm3d);
            MPI_Send(outR1[o].data(), int(nr1), MPI_DOUBLE, d, kTagRowRinv1 + q, mc.comm3d);
        }
    }
}

}  // namespace hc
