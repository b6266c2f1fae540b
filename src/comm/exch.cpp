// One-point halo exchange: four paired transfers, columns first, then rows
// spanning the columns just received, so the corners come from the diagonal
// neighbours. The strided datatypes move the lines straight from and into the
// field; a transfer with MPI_PROC_NULL (the closed southern and northern
// edges) moves nothing and leaves the halo row as it was.
#include "comm/comm.hpp"
#include "util/format.hpp"

namespace hc {

namespace {

// Returns the sum of the four transfers' status words.
int exchange(Ctx& c, double* f, MPI_Datatype col, MPI_Datatype row) {
    auto& m = c.mpicomm;
    auto at = [f](int i, int j) { return f + (i - 1) + long(NX) * (j - 1); };
    int e1 = MPI_Sendrecv(at(2, 1), 1, col, m.iwest, 1, at(82, 1), 1, col, m.ieast, 1, m.comm3d, &m.istatus);
    int e2 = MPI_Sendrecv(at(81, 1), 1, col, m.ieast, 1, at(1, 1), 1, col, m.iwest, 1, m.comm3d, &m.istatus);
    int e3 = MPI_Sendrecv(at(1, 2), 1, row, m.isouth, 1, at(1, 50), 1, row, m.inorth, 1, m.comm3d, &m.istatus);
    int e4 = MPI_Sendrecv(at(1, 49), 1, row, m.inorth, 1, at(1, 1), 1, row, m.isouth, 1, m.comm3d, &m.istatus);
    m.ierr = e4;
    return e1 + e2 + e3 + e4;
}

}  // namespace

void mpi_exch_3d_r4(Ctx& c, double* field) {
    if (exchange(c, field, c.mpi_vtype.vtype[3], c.mpi_vtype.vtype[4]) != 0) fmt::out("mpi_exch_3d error");
}

void mpi_exch_2d_r4(Ctx& c, double* plane) {
    if (exchange(c, plane, c.mpi_vtype.vtype[1], c.mpi_vtype.vtype[2]) != 0) fmt::out("mpi_exch_2d error");
}

void mpi_exch_2d_r8(Ctx& c, double* plane) {
    if (exchange(c, plane, c.mpi_vtype.vtype[5], c.mpi_vtype.vtype[6]) != 0) fmt::out("mpi_exch_2d error");
}

}  // namespace hc
