// One-point halo exchange: four paired transfers, columns first, then rows
// spanning the columns just received, so the corners come from the diagonal
// neighbours; the two transfers of an axis go in one round. The strided
// datatypes move the lines straight from and into the field; a transfer with
// MPI_PROC_NULL (the closed southern and northern edges) moves nothing and
// leaves the halo row as it was.
#include <time.h>

#include "comm/comm.hpp"
#include "util/format.hpp"

namespace hc {

int sendrecv_line(Ctx& c, const double* send, MPI_Datatype t, int to, double* recv, int from) {
    auto& m = c.mpicomm;
    m.ierr = MPI_Sendrecv(send, 1, t, to, 1, recv, 1, t, from, 1, m.comm3d, &m.istatus);
    return m.ierr;
}

int transfer_round(Ctx& c, const LineTransfer* t, int n, MPI_Datatype type) {
    auto& m = c.mpicomm;
    MPI_Request req[8];
    if (n < 1 || n > 4) {
        fmt::out("transfer_round: transfer count out of range");
        stop_run(c);
    }
    auto type_of = [type](const LineTransfer& x) { return x.type != MPI_DATATYPE_NULL ? x.type : type; };
    for (int i = 0; i < n; ++i)
        MPI_Irecv(t[i].recv, t[i].count, type_of(t[i]), t[i].from, i + 1, m.comm3d, &req[2 * i]);
    for (int i = 0; i < n; ++i)
        MPI_Isend(t[i].send, t[i].count, type_of(t[i]), t[i].to, i + 1, m.comm3d, &req[2 * i + 1]);
    m.ierr = MPI_Waitall(2 * n, req, MPI_STATUSES_IGNORE);
    return m.ierr;
}

// Columns in one round, then rows in another; returns the sum of the two
// rounds' status words.
int exchange_lines(Ctx& c, double* f, MPI_Datatype col, MPI_Datatype row) {
    auto& m = c.mpicomm;
    auto at = [f](int i, int j) { return f + (i - 1) + long(NX) * (j - 1); };
    const LineTransfer cols[2] = {{at(2, 1), m.iwest, at(82, 1), m.ieast}, {at(81, 1), m.ieast, at(1, 1), m.iwest}};
    const LineTransfer rows[2] = {{at(1, 2), m.isouth, at(1, 50), m.inorth}, {at(1, 49), m.inorth, at(1, 1), m.isouth}};
    return transfer_round(c, cols, 2, col) + transfer_round(c, rows, 2, row);
}

namespace {

// Line `at` of every level of the n fields (column `at` with Rows false, row
// `at` with Rows true) into the buffer (Pack) or from it.
template <bool Rows, bool Pack>
void move_lines(Field* const* f, int n, int at, Groupwork::Lines& b) {
    constexpr int len = Rows ? NX : NY;
    for (int q = 0; q < n; ++q)
        for (int k = 1; k <= KM; ++k)
            for (int p = 1; p <= len; ++p) {
                double& x = Rows ? (*f[q])(p, at, k) : (*f[q])(at, p, k);
                if (Pack)
                    b(p, k, q + 1) = x;
                else
                    x = b(p, k, q + 1);
            }
}

}  // namespace

void exchange_fields(Ctx& c, Field* const* f, int n) {
    auto& m = c.mpicomm;
    auto& g = c.groupwork;
    if (n < 1 || n > NGROUP_FIELDS) {
        fmt::out("exchange_fields: field count out of range");
        stop_run(c);
    }
    // A buffer of n fields holds the lines of field q at (line, k, q + 1):
    // NY (columns) or NX (rows) words per level, the fields one after another.
    const int ncol = NX * KM * n, nrow = NX * KM * n;
    int e = 0;
    // Columns: the packed stride is NX per level, of which NY words are used.
    move_lines<false, true>(f, n, 2, g.send);
    move_lines<false, true>(f, n, 81, g.send2);
    const LineTransfer cols[2] = {{g.send.data(), m.iwest, g.recv.data(), m.ieast, ncol},
                                  {g.send2.data(), m.ieast, g.recv2.data(), m.iwest, ncol}};
    e += transfer_round(c, cols, 2, MPI_DOUBLE);
    move_lines<false, false>(f, n, 82, g.recv);
    move_lines<false, false>(f, n, 1, g.recv2);
    // Rows, with the columns just received (the corners from the diagonal
    // neighbours). A missing neighbour leaves the row as it was.
    move_lines<true, true>(f, n, 2, g.send);
    move_lines<true, true>(f, n, 49, g.send2);
    const LineTransfer rows[2] = {{g.send.data(), m.isouth, g.recv.data(), m.inorth, nrow},
                                  {g.send2.data(), m.inorth, g.recv2.data(), m.isouth, nrow}};
    e += transfer_round(c, rows, 2, MPI_DOUBLE);
    if (m.inorth != MPI_PROC_NULL) move_lines<true, false>(f, n, 50, g.recv);
    if (m.isouth != MPI_PROC_NULL) move_lines<true, false>(f, n, 1, g.recv2);
    if (e != 0) fmt::out("mpi_exch_3d error");
}

void mpi_exch_3d_r4(Ctx& c, double* field) {
    if (exchange_lines(c, field, c.mpi_vtype.vtype[3], c.mpi_vtype.vtype[4]) != 0) fmt::out("mpi_exch_3d error");
}

void mpi_exch_2d_r4(Ctx& c, double* plane) {
    if (exchange_lines(c, plane, c.mpi_vtype.vtype[1], c.mpi_vtype.vtype[2]) != 0) fmt::out("mpi_exch_2d error");
}

void mpi_exch_2d_r8(Ctx& c, double* plane) {
    if (exchange_lines(c, plane, c.mpi_vtype.vtype[5], c.mpi_vtype.vtype[6]) != 0) fmt::out("mpi_exch_2d error");
}

void quiet_wait(MPI_Request& req, long nap_ns) {
    const timespec nap{0, nap_ns};
    for (;;) {
        int done = 0;
        MPI_Test(&req, &done, MPI_STATUS_IGNORE);
        if (done) return;
        nanosleep(&nap, nullptr);
    }
}

}  // namespace hc
