// The marching solver: the 288 rows of the global grid in 72 sub-blocks, 12
// per process row, as the table IE of each process row cuts them (shorter
// towards the pole). Inside a sub-block the equations are solved
// row by row for the row above; the residual left in the last row's equations
// is turned into corrections by influence matrices, a forward sweep from south
// to north, a backward sweep from north to south and a final marching pass.
// A correction is the product of each of the six shares of 54 entries of a
// residual row (the last padded with zeros, so every one of the 320 entries
// enters) with the share's slab, the six products summed in a fixed order.
// Only the owner's process row works on a sub-block; the other rows wait for
// the row they take over. Each process of the owner's row marches the whole
// row: the four tiles one after the other, each with its own coefficients
// and the same expressions, so that its own tile gets the values that
// marching the tiles on four processes gives, with no transfer inside the
// row. The corrections, the bulk of the work, each process makes for its own
// tile and hands the corrected row to the other three through memory the
// row's processes share; where they share none, it makes all four itself.
#include <cblas.h>
#include <sched.h>

#include <atomic>
#include <cstring>

#include "comm/comm.hpp"
#include "solver/solver.hpp"

namespace hc {

namespace {

constexpr int NT = NPROC_COLS;
// Tags of the notices that a process row has begun its part of a sweep, of
// their own so that no halo transfer between the rows can take them.
constexpr int kTagStartNorthward = 40, kTagStartSouthward = 41;
// Pauses (some 20 ns each) a share's wait spins before it yields the core.
constexpr long kSpinPauses = 2048;

template <bool Timed>
class Marcher {
public:
    Marcher(Ctx& c, IPlane& AL, IPlane& AB, IPlane& AC, IPlane& AR, ATPlane& AT, RinvSlabs& RINV, Rinv1Slabs& RINV1,
            Mat<double, NX, 12>& DUM0, EvpqRow& evpq, Vec<double, NX>& evpe, EvpgRow& evpg, IPlane& S, Plane& X,
            Vec<i32, 12>& IE)
        : c_(c), evpq_(evpq), evpg_(evpg), IE_(IE) {
        const int q = c.mpicomm.myidx;
        auto& w = c.marchwork;
        for (int t = 0; t < NT; ++t) {
            auto& o = w.tile[t];
            const bool own = t == q;
            T_[t] = {own ? &AL : &o.AL, own ? &AB : &o.AB, own ? &AC : &o.AC, own ? &AR : &o.AR,
                     own ? &AT : &o.AT, own ? &RINV : &o.RINV, own ? &RINV1 : &o.RINV1, own ? &S : &o.S,
                     own ? &X : &o.X, own ? &DUM0 : &o.DUM0, own ? &evpe : &o.evpe};
        }
    }

    void run() {
        auto& m = c_.mpicomm;
        const int me = m.myidy;
        if (Timed) c_.timer.t(7) = MPI_Wtime();
        gather_row_state();

        // Forward sweep, the process rows one after another from the south:
        // each marches its sub-blocks from the corrected last row of the one
        // below, its southern halo row.
        if (me > 0) receive_rows(1, m.isouth, 2, kTagStartNorthward);
        if (me < NPROC_ROWS - 1) notify(m.inorth, kTagStartNorthward);
        for (int h = 1; h <= 12; ++h) {
            march(h);
            if (12 * me + h == 72) break;
            const int e = IE_(h);
            for (int t = 0; t < NT; ++t) residual(t, h);
            for (int t = 0; t < NT; ++t) {
                auto& p = T_[t];
                for (int i = 1; i <= NX; ++i) {
                    (*p.evpe)(i) = (*p.X)(i, e);
                    (*p.DUM0)(i, h) = (*p.X)(i, e);
                }
            }
            auto rinv1 = [&](int t) -> Rinv1Slabs& { return *T_[t].RINV1; };
            if (h < 12) {
                correct_row(rinv1, h, -1.0, true, me, [&](int t) { return T_[t].X->at(1, e); });
            } else {
                correct_row(rinv1, h, -1.0, true, me + 1, [&](int t) { return T_[t].evpe->data(); });
                for (int t = 0; t < NT; ++t)
                    for (int i = 1; i <= NX; ++i) c_.marchwork.relay(i, t + 1) = (*T_[t].evpe)(i);
                send_rows(m.inorth, 2);
            }
        }

        // Backward sweep, from the north: each process row from the corrected
        // first row of the one above, its northern halo row.
        if (me < NPROC_ROWS - 1) receive_rows(NY, m.inorth, 1, kTagStartSouthward);
        if (me > 0) notify(m.isouth, kTagStartSouthward);
        for (int h = 12; h >= 1; --h) {
            const int mb = 12 * me + h;
            const int b = base(h);
            for (int t = 0; t < NT; ++t) {
                auto& p = T_[t];
                if (mb < 72) {
                    for (int i = 1; i <= NX; ++i) (*p.X)(i, IE_(h)) = (*p.DUM0)(i, h);
                }
                residual(t, h);
            }
            auto dum0 = [&](int t) { return T_[t].DUM0->at(1, h); };
            correct_row([&](int t) -> RinvSlabs& { return *T_[t].RINV; }, h, 1.0, false, me, dum0);
            for (int t = 0; t < NT; ++t) {
                auto& p = T_[t];
                for (int i = 1; i <= NX; ++i) (*p.X)(i, b + 1) = (*p.X)(i, b + 1) + (*p.DUM0)(i, h);
            }
            if (mb == 1) break;
            for (int t = 0; t < NT; ++t) {
                auto& p = T_[t];
                for (int i = 1; i <= NXI; ++i) (*p.evpe)(i) = (*p.DUM0)(i + 1, h) * (*p.AT)(i, b);
                gathered(t);
            }
            correct_row([&](int t) -> Rinv1Slabs& { return *T_[t].RINV1; }, h - 1, 1.0, false, me, dum0);
            for (int t = 0; t < NT; ++t) {
                auto& p = T_[t];
                for (int i = 1; i <= NX; ++i) (*p.DUM0)(i, h) = (*p.X)(i, b) + (*p.DUM0)(i, h);
            }
        }
        if (me >= 1) {
            for (int t = 0; t < NT; ++t)
                for (int i = 1; i <= NX; ++i) c_.marchwork.relay(i, t + 1) = (*T_[t].X)(i, 2);
            send_rows(m.isouth, 1);
        }

        // Final pass: every process row at once, from the final base rows.
        for (int t = 0; t < NT; ++t) {
            auto& p = T_[t];
            if (me == 0) {
                for (int i = 1; i <= NX; ++i) (*p.DUM0)(i, 1) = 0.0;
            }
        }
        for (int h = 1; h <= 12; ++h) {
            const int b = base(h);
            for (int t = 0; t < NT; ++t) {
                auto& p = T_[t];
                for (int i = 1; i <= NX; ++i) (*p.X)(i, b) = (*p.DUM0)(i, h);
            }
            march(h);
        }
    }

private:
    // One tile of the row: its coefficients, slabs, right-hand side, iterate
    // and work rows.
    struct Tile {
        IPlane *AL, *AB, *AC, *AR;
        ATPlane* AT;
        RinvSlabs* RINV;
        Rinv1Slabs* RINV1;
        IPlane* S;
        Plane* X;
        Mat<double, NX, 12>* DUM0;
        Vec<double, NX>* evpe;
    };

    int base(int h) const { return h == 1 ? 1 : IE_(h - 1); }

    void mark() {
        if (Timed) c_.timer.t(8) = MPI_Wtime();
    }
    void add_comm() {
        if (Timed) c_.timer.t(5) = c_.timer.t(5) - c_.timer.t(8) + MPI_Wtime();
    }

    // S and X of the other tiles of the row, once per solve: through the
    // row's shared memory where there is one, else gathered over the row.
    void gather_row_state() {
        auto& w = c_.marchwork;
        const int q = c_.mpicomm.myidx;
        constexpr size_t ns = IPlane::size, nx = Plane::size;
        auto put = [&](double* to) {
            std::memcpy(to, T_[q].S->data(), ns * sizeof(double));
            std::memcpy(to + ns, T_[q].X->data(), nx * sizeof(double));
        };
        auto take = [&](int t, const double* from) {
            std::memcpy(T_[t].S->data(), from, ns * sizeof(double));
            std::memcpy(T_[t].X->data(), from + ns, nx * sizeof(double));
        };
        if (w.share_state != nullptr) {
            share(w.share_state, ns + nx, put, take);
            return;
        }
        put(w.send.data());
        mark();
        MPI_Allgather(w.send.data(), int(ns + nx), MPI_DOUBLE, w.recv.data(), int(ns + nx), MPI_DOUBLE,
                      c_.mpicomm.commx);
        add_comm();
        for (int t = 0; t < NT; ++t)
            if (t != q) take(t, w.recv.at(1, t));
    }

    // Halo row j of every tile of the row from the neighbouring process row,
    // which hands it over after marching its own sub-blocks. The wait is
    // asleep until that row says it has begun them (so that the process row
    // at work has the cores while the relay is far off), then awake for the
    // rows themselves, which come within one process row's work: the two
    // neighbouring process rows are on different cores, and the rows that
    // share this one's cores are asleep in the solve.
    void receive_rows(int j, int from, int tag, int start_tag) {
        auto& relay = c_.marchwork.relay;
        mark();
        MPI_Request req[2];
        MPI_Irecv(nullptr, 0, MPI_DOUBLE, from, start_tag, c_.mpicomm.comm3d, &req[0]);
        MPI_Irecv(relay.data(), int(relay.size), MPI_DOUBLE, from, tag, c_.mpicomm.comm3d, &req[1]);
        quiet_wait(req[0], 200000);
        MPI_Wait(&req[1], MPI_STATUS_IGNORE);
        add_comm();
        for (int t = 0; t < NT; ++t)
            for (int i = 1; i <= NX; ++i) (*T_[t].X)(i, j) = relay(i, t + 1);
    }
    // Tells the neighbouring process row that this one has begun the work
    // whose last row it will hand on.
    void notify(int to, int start_tag) {
        mark();
        MPI_Send(nullptr, 0, MPI_DOUBLE, to, start_tag, c_.mpicomm.comm3d);
        add_comm();
    }
    void send_rows(int to, int tag) {
        auto& relay = c_.marchwork.relay;
        mark();
        MPI_Send(relay.data(), int(relay.size), MPI_DOUBLE, to, tag, c_.mpicomm.comm3d);
        add_comm();
    }

    // Rows b+2..IE(h) of sub-block h, each from the equations of the row
    // below: every tile's own columns, then its halo columns from the
    // neighbouring tiles' (periodic along the row).
    void march(int h) {
        for (int k = base(h) + 2; k <= IE_(h); ++k) {
            for (int t = 0; t < NT; ++t) {
                auto& X = *T_[t].X;
                auto& S = *T_[t].S;
                auto& AL = *T_[t].AL;
                auto& AB = *T_[t].AB;
                auto& AC = *T_[t].AC;
                auto& AR = *T_[t].AR;
                auto& AT = *T_[t].AT;
                for (int a = 2; a <= 81; ++a) {
                    X(a, k) = (S(a - 1, k - 2) - AL(a - 1, k - 2) * X(a - 1, k - 1) - AB(a - 1, k - 2) * X(a, k - 2) -
                               AC(a - 1, k - 2) * X(a, k - 1) - AR(a - 1, k - 2) * X(a + 1, k - 1)) /
                              AT(a - 1, k - 1);
                }
            }
            for (int t = 0; t < NT; ++t) {
                (*T_[t].X)(1, k) = (*T_[(t + NT - 1) % NT].X)(81, k);
                (*T_[t].X)(82, k) = (*T_[(t + 1) % NT].X)(2, k);
            }
        }
    }

    // Residual of the last row's equations of tile t, into its share of the
    // row.
    void residual(int t, int h) {
        const int e = IE_(h);
        auto& p = T_[t];
        auto& X = *p.X;
        auto& S = *p.S;
        auto& AL = *p.AL;
        auto& AB = *p.AB;
        auto& AC = *p.AC;
        auto& AR = *p.AR;
        auto& AT = *p.AT;
        auto& evpe = *p.evpe;
        for (int a = 2; a <= 81; ++a) {
            evpe(a - 1) = S(a - 1, e - 1) - AL(a - 1, e - 1) * X(a - 1, e) - AB(a - 1, e - 1) * X(a, e - 1) -
                          AC(a - 1, e - 1) * X(a, e) - AR(a - 1, e - 1) * X(a + 1, e) - AT(a - 1, e) * X(a, e + 1);
        }
        gathered(t);
    }

    // Tile t's 80 entries of evpe in their place of the row evpg (as a
    // gather over the process row puts them).
    void gathered(int t) {
        for (int i = 1; i <= NXI; ++i) evpg_(NXI * t + i) = (*T_[t].evpe)(i);
    }

    // The correction (as `correct`) of every tile t of the row into row(t),
    // by its slabs slabs(t): with the row's shared memory this process makes
    // its own tile's and takes the other three from their processes.
    template <class SlabsOf, class Row>
    void correct_row(SlabsOf slabs, int l, double alpha, bool own_row, int root, Row row) {
        const int q = c_.mpicomm.myidx;
        if (c_.marchwork.share_rows == nullptr) {
            for (int t = 0; t < NT; ++t) correct(t, slabs(t), l, alpha, own_row, root, row(t));
            return;
        }
        correct(q, slabs(q), l, alpha, own_row, root, row(q));
        share_row(row);
    }

    // The corrected rows of the four tiles: row(t) of tile t.
    template <class Row>
    void share_row(Row row) {
        const int q = c_.mpicomm.myidx;
        share(
            c_.marchwork.share_rows, NX, [&](double* to) { std::memcpy(to, row(q), NX * sizeof(double)); },
            [&](int t, const double* from) { std::memcpy(row(t), from, NX * sizeof(double)); });
    }

    // Share number n, of len values a process, in area (two sets of four
    // slots of len): put writes this process's values into its slot of set
    // n mod 2 and its counter becomes n; take reads each other slot once its
    // counter reaches n. A set of an area is written again at the earliest
    // two shares later, when every process of the row, having announced
    // share n + 1, has read share n.
    template <class Put, class Take>
    void share(double* area, size_t len, Put put, Take take) {
        auto& w = c_.marchwork;
        const int q = c_.mpicomm.myidx;
        const std::uint64_t n = ++w.shares;
        double* set = area + (n % 2) * (NT * len);
        put(set + q * len);
        std::atomic_ref<std::uint64_t>(w.share_seq[8 * q]).store(n, std::memory_order_release);
        mark();
        for (int t = 0; t < NT; ++t) {
            if (t == q) continue;
            std::atomic_ref<std::uint64_t> seq(w.share_seq[8 * t]);
            // The row's processes arrive within microseconds of one another
            // when each has a core: the wait spins on pauses, for some 40 us,
            // and only then yields the core between tests, for a process that
            // waits for one on its own core. (Yielding from the start made
            // every share a system call and a pass of the scheduler, some 20
            // us each.)
            for (long k = 1; seq.load(std::memory_order_acquire) < n; ++k) {
                if (k > kSpinPauses && k % 64 == 0) sched_yield();
                else __builtin_ia32_pause();
            }
        }
        add_comm();
        for (int t = 0; t < NT; ++t)
            if (t != q) take(t, set + t * len);
    }

    // One influence-matrix correction of the row evpg for tile t, by its
    // slabs (:, :, r, l) of the six shares r; with own_row, the product of
    // this process row's share adds to the tile's evpe. The sum over the
    // shares goes to target as column_sum with the process row `root` takes
    // it.
    template <class Slabs>
    void correct(int t, Slabs& slabs, int l, double alpha, bool own_row, int root, double* target) {
        auto& part = c_.marchwork.part;
        auto& evpe = *T_[t].evpe;
        const int me = c_.mpicomm.myidy;
        for (int r = 0; r < NPROC_ROWS; ++r) {
            for (int k = 1; k <= NEVPQ; ++k) evpq_(k) = evpg_(NEVPQ * r + k);
            const bool own = own_row && r == me;
            if (own) {
                for (int i = 1; i <= NX; ++i) part(i, r + 1) = evpe(i);
            }
            cblas_dgemv(CblasColMajor, CblasTrans, NEVPQ, NX, alpha, slabs.at(1, 1, r + 1, l), NEVPQ, evpq_.data(),
                        1, own ? 1.0 : 0.0, part.at(1, r + 1), 1);
        }
        const double* v[NPROC_ROWS];
        for (int r = 0; r < NPROC_ROWS; ++r) v[r] = part.at(1, r + 1);
        column_sum(v, root, NX, target);
    }

    Ctx& c_;
    EvpqRow& evpq_;
    EvpgRow& evpg_;
    Vec<i32, 12>& IE_;
    Tile T_[NT];
};

}  // namespace

void open_row_share(Ctx& c) {
    auto& w = c.marchwork;
    if (w.share_win != MPI_WIN_NULL) return;
    auto& m = c.mpicomm;
    MPI_Comm node;
    MPI_Comm_split_type(m.commx, MPI_COMM_TYPE_SHARED, m.myidx, MPI_INFO_NULL, &node);
    int n = 0;
    MPI_Comm_size(node, &n);
    MPI_Comm_free(&node);
    // Sharing memory is one relation among the row's processes (one node):
    // either all four see one another or none sees all.
    if (n != NT) return;
    static_assert(std::atomic_ref<std::uint64_t>::is_always_lock_free, "counters shared between processes");
    constexpr MPI_Aint seq_bytes = NT * 8 * sizeof(std::uint64_t), rows_bytes = 2 * NT * NX * sizeof(double),
                       state_bytes = 2 * NT * (IPlane::size + Plane::size) * sizeof(double);
    constexpr MPI_Aint all_bytes = seq_bytes + rows_bytes + state_bytes;
    void* base = nullptr;
    MPI_Win_allocate_shared(m.myidx == 0 ? all_bytes : 0, 1, MPI_INFO_NULL, m.commx, &base, &w.share_win);
    MPI_Aint size = 0;
    int unit = 0;
    MPI_Win_shared_query(w.share_win, 0, &size, &unit, &base);
    w.share_seq = static_cast<std::uint64_t*>(base);
    w.share_rows = reinterpret_cast<double*>(static_cast<char*>(base) + seq_bytes);
    w.share_state = reinterpret_cast<double*>(static_cast<char*>(base) + seq_bytes + rows_bytes);
    if (m.myidx == 0) std::memset(base, 0, size_t(all_bytes));
    w.shares = 0;
    MPI_Barrier(m.commx);
}

void close_row_share(Ctx& c) {
    auto& w = c.marchwork;
    if (w.share_win == MPI_WIN_NULL) return;
    MPI_Win_free(&w.share_win);
    w.share_rows = nullptr;
    w.share_state = nullptr;
    w.share_seq = nullptr;
}

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
