// The marching solver: the 288 rows of the global grid in 72 sub-blocks, 12
// per process row, as the table IE of each process row cuts them (shorter
// towards the pole). Inside a sub-block the equations are solved
// row by row for the row above; the residual left in the last row's equations
// is turned into corrections by influence matrices, a forward sweep from south
// to north, a backward sweep from north to south and a final marching pass.
// A residual row is gathered over the owner's process row and turned into a
// correction there: the product of each of its six shares of 54 entries (the
// last padded with zeros, so every one of the 320 entries enters) with the
// share's slab, the six products summed in a fixed order. Only the owner's
// process row works on a sub-block; the other rows wait for the row they
// take over.
#include <cblas.h>

#include "comm/comm.hpp"
#include "solver/solver.hpp"

namespace hc {

namespace {

template <bool Timed>
class Marcher {
public:
    Marcher(Ctx& c, IPlane& AL, IPlane& AB, IPlane& AC, IPlane& AR, ATPlane& AT, RinvSlabs& RINV, Rinv1Slabs& RINV1,
            Mat<double, NX, 12>& DUM0, EvpqRow& evpq, Vec<double, NX>& evpe, EvpgRow& evpg, IPlane& S, Plane& X,
            Vec<i32, 12>& IE)
        : c_(c), AL_(AL), AB_(AB), AC_(AC), AR_(AR), AT_(AT), RINV_(RINV), RINV1_(RINV1), DUM0_(DUM0),
          evpq_(evpq), evpe_(evpe), evpg_(evpg), S_(S), X_(X), IE_(IE) {}

    void run() {
        auto& m = c_.mpicomm;
        const int me = m.myidy;
        if (Timed) c_.timer.t(7) = MPI_Wtime();
        fetch_coefficients();

        // Forward sweep, the process rows one after another from the south:
        // each marches its sub-blocks from the corrected last row of the one
        // below, its southern halo row.
        if (me > 0) {
            mark();
            wait_for_row(X_.at(1, 1), m.isouth, 2);
            add_comm();
        }
        for (int h = 1; h <= 12; ++h) {
            march(h);
            if (12 * me + h == 72) break;
            const int e = IE_(h);
            residual(h);
            for (int i = 1; i <= NX; ++i) {
                evpe_(i) = X_(i, e);
                DUM0_(i, h) = X_(i, e);
            }
            if (h < 12) {
                correct(RINV1_, h, -1.0, true, me, X_.at(1, e));
            } else {
                correct(RINV1_, h, -1.0, true, me + 1, evpe_.data());
                mark();
                MPI_Send(evpe_.data(), NX, MPI_DOUBLE, m.inorth, 2, m.comm3d);
                add_comm();
            }
        }

        // Backward sweep, from the north: each process row from the corrected
        // first row of the one above, its northern halo row.
        if (me < NPROC_ROWS - 1) wait_for_row(X_.at(1, NY), m.inorth, 1);
        for (int h = 12; h >= 1; --h) {
            const int mb = 12 * me + h;
            const int b = base(h);
            if (mb < 72) {
                for (int i = 1; i <= NX; ++i) X_(i, IE_(h)) = DUM0_(i, h);
            }
            residual(h);
            correct(RINV_, h, 1.0, false, me, DUM0_.at(1, h));
            for (int i = 1; i <= NX; ++i) X_(i, b + 1) = X_(i, b + 1) + DUM0_(i, h);
            if (mb == 1) break;
            for (int i = 1; i <= NXI; ++i) evpe_(i) = DUM0_(i + 1, h) * AT_(i, b);
            gather_row();
            correct(RINV1_, h - 1, 1.0, false, me, DUM0_.at(1, h));
            for (int i = 1; i <= NX; ++i) DUM0_(i, h) = X_(i, b) + DUM0_(i, h);
        }
        if (me >= 1) MPI_Send(X_.at(1, 2), NX, MPI_DOUBLE, m.isouth, 1, m.comm3d);

        // Final pass: every process row at once, from the final base rows.
        if (me == 0) {
            for (int i = 1; i <= NX; ++i) DUM0_(i, 1) = 0.0;
        }
        for (int h = 1; h <= 12; ++h) {
            const int b = base(h);
            for (int i = 1; i <= NX; ++i) X_(i, b) = DUM0_(i, h);
            march(h);
        }
    }

private:
    int base(int h) const { return h == 1 ? 1 : IE_(h - 1); }

    void mark() {
        if (Timed) c_.timer.t(8) = MPI_Wtime();
    }
    void add_comm() {
        if (Timed) c_.timer.t(5) = c_.timer.t(5) - c_.timer.t(8) + MPI_Wtime();
    }

    // A halo row from the neighbouring process row, which hands it over
    // after marching its own sub-blocks: waited for asleep, so that the
    // process row at work has the cores.
    void wait_for_row(double* row, int from, int tag) {
        MPI_Request req;
        MPI_Irecv(row, NX, MPI_DOUBLE, from, tag, c_.mpicomm.comm3d, &req);
        quiet_wait(req, 200000);
    }

    // Rows b+2..IE(h) of sub-block h, each from the equations of the row below.
    void march(int h) {
        const int b = base(h), rows = IE_(h) - b - 1;
        if (rows <= 0) return;
        if (rows > NMARCH_GHOST) {
            march_row_by_row(h);
            return;
        }
        // The neighbours' rows b and b + 1 near this tile, then every row
        // three times: this tile's own, and the edge of each neighbour as
        // the neighbour computes it (its own values and coefficients, the
        // cone that reaches this tile's halo by the last row). The halo
        // columns take the neighbours' values exactly as a transfer of the
        // neighbours' row would deliver them.
        fetch_base_rows(b, rows);
        auto& w = c_.marchwork;
        auto& W = w.west_x;
        auto& E = w.east_x;
        auto& cw = w.west_c;
        auto& ce = w.east_c;
        constexpr int off = NXI - NMARCH_GHOST;  // west's coefficient column = off + d
        for (int t = 0; t < rows; ++t) {
            const int k = b + 2 + t, reach = rows - 1 - t;
            for (int a = 2; a <= 81; ++a) {
                X_(a, k) = (S_(a - 1, k - 2) - AL_(a - 1, k - 2) * X_(a - 1, k - 1) - AB_(a - 1, k - 2) * X_(a, k - 2) -
                            AC_(a - 1, k - 2) * X_(a, k - 1) - AR_(a - 1, k - 2) * X_(a + 1, k - 1)) /
                           AT_(a - 1, k - 1);
            }
            for (int a = 81 - reach; a <= 81; ++a) {
                const int d = a - 1 - off;
                W(a, t + 2) = (cw(d, k - 2, 5) - cw(d, k - 2, 1) * W(a - 1, t + 1) - cw(d, k - 2, 2) * W(a, t) -
                               cw(d, k - 2, 3) * W(a, t + 1) - cw(d, k - 2, 4) * W(a + 1, t + 1)) /
                              cw(d, k - 1, 6);
            }
            W(82, t + 2) = X_(2, k);
            for (int a = 2; a <= 2 + reach; ++a) {
                const int d = a - 1;
                E(a, t + 2) = (ce(d, k - 2, 5) - ce(d, k - 2, 1) * E(a - 1, t + 1) - ce(d, k - 2, 2) * E(a, t) -
                               ce(d, k - 2, 3) * E(a, t + 1) - ce(d, k - 2, 4) * E(a + 1, t + 1)) /
                              ce(d, k - 1, 6);
            }
            E(1, t + 2) = X_(81, k);
            X_(82, k) = E(2, t + 2);
            X_(1, k) = W(81, t + 2);
        }
    }

    // The same, one paired transfer of single values each way per row.
    void march_row_by_row(int h) {
        auto& m = c_.mpicomm;
        for (int k = base(h) + 2; k <= IE_(h); ++k) {
            for (int a = 2; a <= 81; ++a) {
                X_(a, k) = (S_(a - 1, k - 2) - AL_(a - 1, k - 2) * X_(a - 1, k - 1) - AB_(a - 1, k - 2) * X_(a, k - 2) -
                            AC_(a - 1, k - 2) * X_(a, k - 1) - AR_(a - 1, k - 2) * X_(a + 1, k - 1)) /
                           AT_(a - 1, k - 1);
            }
            mark();
            const LineTransfer t[2] = {{X_.at(2, k), m.iwest, X_.at(82, k), m.ieast},
                                       {X_.at(81, k), m.ieast, X_.at(1, k), m.iwest}};
            transfer_round(c_, t, 2, MPI_DOUBLE);
            add_comm();
        }
    }

    // Rows b and b + 1 of the neighbours: from the east one its columns
    // 1..rows + 2, from the west one its columns 81 - rows..82.
    void fetch_base_rows(int b, int rows) {
        auto& m = c_.mpicomm;
        auto& w = c_.marchwork;
        const int n = rows + 2;
        mark();
        for (int r = 0; r < 2; ++r)
            for (int a = 1; a <= n; ++a) {
                w.send_x(r * n + a) = X_(a, b + r);
                w.send_x2(r * n + a) = X_(80 - rows + a, b + r);
            }
        const LineTransfer t[2] = {{w.send_x.data(), m.iwest, w.recv_x.data(), m.ieast, 2 * n},
                                   {w.send_x2.data(), m.ieast, w.recv_x2.data(), m.iwest, 2 * n}};
        transfer_round(c_, t, 2, MPI_DOUBLE);
        for (int r = 0; r < 2; ++r)
            for (int a = 1; a <= n; ++a) {
                w.east_x(a, r) = w.recv_x(r * n + a);
                w.west_x(80 - rows + a, r) = w.recv_x2(r * n + a);
            }
        add_comm();
    }

    // The neighbours' coefficient columns next to this tile, once per solve:
    // this tile's first columns go west, its last ones east.
    void fetch_coefficients() {
        auto& m = c_.mpicomm;
        auto& w = c_.marchwork;
        constexpr int n = int(Marchwork::Cols::size);
        mark();
        for (int side = 0; side < 2; ++side) {
            const int first = side == 0 ? 0 : NXI - NMARCH_GHOST;
            for (int d = 1; d <= NMARCH_GHOST; ++d)
                for (int j = 1; j <= NYI; ++j) {
                    w.send_c(d, j, 1) = AL_(first + d, j);
                    w.send_c(d, j, 2) = AB_(first + d, j);
                    w.send_c(d, j, 3) = AC_(first + d, j);
                    w.send_c(d, j, 4) = AR_(first + d, j);
                    w.send_c(d, j, 5) = S_(first + d, j);
                }
            for (int d = 1; d <= NMARCH_GHOST; ++d)
                for (int j = 1; j <= 49; ++j) w.send_c(d, j, 6) = AT_(first + d, j);
            if (side == 0)
                MPI_Sendrecv(w.send_c.data(), n, MPI_DOUBLE, m.iwest, 1, w.east_c.data(), n, MPI_DOUBLE, m.ieast, 1,
                             m.comm3d, &m.istatus);
            else
                MPI_Sendrecv(w.send_c.data(), n, MPI_DOUBLE, m.ieast, 1, w.west_c.data(), n, MPI_DOUBLE, m.iwest, 1,
                             m.comm3d, &m.istatus);
        }
        add_comm();
    }

    // Residual of the last row's equations, gathered over the process row.
    void residual(int h) {
        const int e = IE_(h);
        for (int a = 2; a <= 81; ++a) {
            evpe_(a - 1) = S_(a - 1, e - 1) - AL_(a - 1, e - 1) * X_(a - 1, e) - AB_(a - 1, e - 1) * X_(a, e - 1) -
                           AC_(a - 1, e - 1) * X_(a, e) - AR_(a - 1, e - 1) * X_(a + 1, e) - AT_(a - 1, e) * X_(a, e + 1);
        }
        gather_row();
    }

    void gather_row() {
        mark();
        MPI_Allgather(evpe_.data(), NXI, MPI_DOUBLE, evpg_.data(), NXI, MPI_DOUBLE, c_.mpicomm.commx);
        add_comm();
    }

    // One influence-matrix correction of the gathered residual row evpg, by
    // the slabs (:, :, r, l) of the six shares r; with own_row, the product
    // of this process row's share adds to evpe. The sum over the shares goes
    // to target as column_sum with the process row `root` takes it.
    template <class Slabs>
    void correct(Slabs& slabs, int l, double alpha, bool own_row, int root, double* target) {
        auto& part = c_.marchwork.part;
        const int me = c_.mpicomm.myidy;
        for (int r = 0; r < NPROC_ROWS; ++r) {
            for (int k = 1; k <= NEVPQ; ++k) evpq_(k) = evpg_(NEVPQ * r + k);
            const bool own = own_row && r == me;
            if (own) {
                for (int i = 1; i <= NX; ++i) part(i, r + 1) = evpe_(i);
            }
            cblas_dgemv(CblasColMajor, CblasTrans, NEVPQ, NX, alpha, slabs.at(1, 1, r + 1, l), NEVPQ, evpq_.data(),
                        1, own ? 1.0 : 0.0, part.at(1, r + 1), 1);
        }
        const double* v[NPROC_ROWS];
        for (int r = 0; r < NPROC_ROWS; ++r) v[r] = part.at(1, r + 1);
        column_sum(v, root, NX, target);
    }

    Ctx& c_;
    IPlane &AL_, &AB_, &AC_, &AR_;
    ATPlane& AT_;
    RinvSlabs& RINV_;
    Rinv1Slabs& RINV1_;
    Mat<double, NX, 12>& DUM0_;
    EvpqRow& evpq_;
    Vec<double, NX>& evpe_;
    EvpgRow& evpg_;
    IPlane& S_;
    Plane& X_;
    Vec<i32, 12>& IE_;
};

}  // namespace

void column_sum(const double* const* v, int root, int n, double* out) {
    static_assert(NPROC_ROWS == 6, "the order of the sum is that of a column of six");
    const double* w[NPROC_ROWS];
    for (int k = 0; k < NPROC_ROWS; ++k) w[k] = v[(root + k) % NPROC_ROWS];
    for (int i = 0; i < n; ++i) out[i] = (w[0][i] + ((w[1][i] + w[3][i]) + w[5][i])) + (w[2][i] + w[4][i]);
}

void rep(Ctx& c, IPlane& AL, IPlane& AB, IPlane& AC, IPlane& AR, ATPlane& AT, RinvSlabs& RINV, Rinv1Slabs& RINV1,
         Mat<double, NX, 12>& DUM0, EvpqRow& evpq, Vec<double, NX>& evpe, EvpgRow& evpg, IPlane& S, Plane& X,
         Vec<i32, 12>& IE) {
    Marcher<true>(c, AL, AB, AC, AR, AT, RINV, RINV1, DUM0, evpq, evpe, evpg, S, X, IE).run();
}

void rep2(Ctx& c, IPlane& AL, IPlane& AB, IPlane& AC, IPlane& AR, ATPlane& AT, RinvSlabs& RINV, Rinv1Slabs& RINV1,
          Mat<double, NX, 12>& DUM0, EvpqRow& evpq, Vec<double, NX>& evpe, EvpgRow& evpg, IPlane& S, Plane& X,
          Vec<i32, 12>& IE) {
    Marcher<false>(c, AL, AB, AC, AR, AT, RINV, RINV1, DUM0, evpq, evpe, evpg, S, X, IE).run();
}

}  // namespace hc
