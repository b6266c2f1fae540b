// Process grid, halo exchanges and the run's stop.
#pragma once

#include "var/state.hpp"

namespace hc {

// Before MPI starts: the MPI-IO components that the model's files need, set
// in the program itself so that a bare mpirun gets them too (shared file
// pointers through lock files beside each file, not through named
// semaphores that outlive a killed run).
void select_io_components();
// Starts MPI (after select_io_components); stops the run unless there are
// exactly 24 processes.
void init_comm(Ctx& c);
// Cartesian grid, neighbours, sub-communicators, tile name, datatypes,
// packed-buffer offsets, face-row bounds and file slab vectors.
void mpi_grid_gen(Ctx& c);
// Two-dimensional variant (nothing calls it; the model runs on comm3d).
void mpi_grid2d_gen(Ctx& c);
// Does nothing.
void finalize_comm(Ctx& c);

// Ends this process the model's way: MPI finalized, exit status 0.
[[noreturn]] void stop_run(Ctx& c);

// One paired transfer of one column or row (one element of the datatype t),
// tag 1 on comm3d, the status into istatus and the error code into ierr:
// sends from send to rank to while receiving into recv from rank from.
// Every halo line the model moves goes through it or transfer_round.
int sendrecv_line(Ctx& c, const double* send, MPI_Datatype t, int to, double* recv, int from);

// Up to four paired transfers made in one round: every receive and send is
// posted at once and all are awaited together. Transfer i sends `count`
// elements of the round's type from send to rank to while receiving as many
// into recv from rank from, with tag i + 1 on comm3d, so it pairs with the
// neighbours' transfer i. The values delivered are those of the same paired
// transfers made one after the other, provided no buffer of the round is both
// sent and received (the callers' lines are distinct). A transfer with a
// type of its own moves `count` elements of that type instead. Returns the
// error code.
struct LineTransfer {
    const double* send;
    int to;
    double* recv;
    int from;
    int count = 1;
    MPI_Datatype type = MPI_DATATYPE_NULL;  // the round's type when null
};
int transfer_round(Ctx& c, const LineTransfer* t, int n, MPI_Datatype type);

// Waits for the request to complete without spinning: tests it, then sleeps
// for nap_ns nanoseconds (and the timer slack), until it completes. For a
// process that waits long while others work, so that it leaves them the cores.
void quiet_wait(MPI_Request& req, long nap_ns);

// The four paired transfers of a one-point halo exchange of the block at f
// (columns with col in one round, then rows with row in another); returns
// the sum of the rounds' status words and prints nothing.
int exchange_lines(Ctx& c, double* f, MPI_Datatype col, MPI_Datatype row);

// One-point halo exchange of n (at most NGROUP_FIELDS) fields at once: the
// values each field's mpi_exch_3d_r4 would give it (columns first, then rows
// spanning the columns just received), in four paired transfers of
// contiguous buffers (Groupwork) instead of four per field, two rounds.
void exchange_fields(Ctx& c, Field* const* f, int n);

// One-point halo exchange of an 82 x 50 x 40 field and of an 82 x 50 plane
// (the plane is passed by the address of its element (1, 1)).
void mpi_exch_3d_r4(Ctx& c, double* field);
void mpi_exch_2d_r4(Ctx& c, double* plane);
void mpi_exch_2d_r8(Ctx& c, double* plane);
inline void mpi_exch_3d_r4(Ctx& c, Field& f) { mpi_exch_3d_r4(c, f.data()); }
inline void mpi_exch_2d_r4(Ctx& c, Plane& p) { mpi_exch_2d_r4(c, p.data()); }
inline void mpi_exch_2d_r8(Ctx& c, Plane& p) { mpi_exch_2d_r8(c, p.data()); }

// Packed exchanges with a second halo layer.
void combosend(double* SBUF, int nx, int ny, int nz, double* SBW, int ICW, double* SBE, int ICE, int LASTROW_,
               int ROW, double* SBN, int JRN, double* SBS, int JRS);
void comborecv(double* RBUF, int nx, int ny, int nz, double* RBW, int ICW, double* RBE, int ICE, int LASTROW_,
               int ROW, double* RBN, int JRN, double* RBS, int JRS);
void mpi_peri_ts(Ctx& c, Field& Q1, Field& Q2);
void mpi_peri_uv(Ctx& c, Field& Q1, Field& Q2, Field& Q3, Field& Q4);
void mpi_peri_all(Ctx& c, Field& Q1, Field& Q2, Field& Q3, Field& Q4, Field& Q5, Field& Q6, Field& Q7, Field& Q8,
                  Field& Q9, Field& Q10, Field& Q11, Field& Q12, Field& Q13, Field& Q14);
void mpi_peri_scr(Ctx& c, Plane& Q1, Plane& Q2, Plane& Q3, Plane& Q4);

}  // namespace hc
