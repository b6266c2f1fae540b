#include <cstdio>
#include <cstdlib>

#include "comm/comm.hpp"
#include "util/format.hpp"

namespace hc {

void select_io_components() {
    // Open MPI's default shared-file-pointer component keeps a named
    // semaphore per file name ("/dev/shm/sem.OMPIO_" + the name without its
    // directory) for as long as the file is open: runs in other directories
    // that open a file of the same name share it, and one that a killed run
    // left locked stops every later open of that name for good. The lock-file
    // component keeps its state beside the file under a name of its own job,
    // held by a lock the system drops when the process ends. The model never
    // moves a shared file pointer; the component is only set up at each open.
    setenv("OMPI_MCA_sharedfp", "lockedfile", 1);
    // Every read and write of the model is one collective call per variable.
    // The default layer makes each such call a chain of exchanges between all
    // 24 processes (a rendezvous of descheduled processes on an oversubscribed
    // machine); the other MPI-IO layer reads and writes the same bytes in
    // about half the time: start-up 20 s -> 9 s, a restart save 4.9 s -> 2.1 s.
    // A choice made in the environment holds.
    setenv("OMPI_MCA_io", "romio321", 0);
}

void init_comm(Ctx& c) {
    auto& m = c.mpicomm;
    select_io_components();
    m.ierr = MPI_Init(nullptr, nullptr);
    int n = 0;
    m.ierr = MPI_Comm_size(MPI_COMM_WORLD, &n);
    m.ierr = MPI_Comm_rank(MPI_COMM_WORLD, &m.myid);
    if (n != NPROC) {
        fmt::out((fmt::Line() << "ng0=" << NPROC << " is not equal to nproc=" << n).str());
        stop_run(c);
    }
}

void stop_run(Ctx& c) {
    std::fflush(stdout);
    if (c.io.log) std::fflush(c.io.log);
    int done = 0;
    MPI_Finalized(&done);
    if (!done) MPI_Finalize();
    std::exit(0);
}

void finalize_comm(Ctx&) {}

namespace {

void tile_name(Ctx& c) {
    std::snprintf(c.grdglo.name, sizeof c.grdglo.name, "%s_%s", fmt::I0(c.mpicomm.myidx, 3).c_str(),
                  fmt::I0(c.mpicomm.myidy, 3).c_str());
}

}  // namespace

void mpi_grid_gen(Ctx& c) {
    auto& m = c.mpicomm;
    int dims[3] = {1, NPROC_ROWS, NPROC_COLS};
    int periods[3] = {0, 0, 1};
    m.ierr = MPI_Dims_create(NPROC, 3, dims);
    m.ierr = MPI_Cart_create(MPI_COMM_WORLD, 3, dims, periods, 1, &m.comm3d);
    m.ierr = MPI_Cart_shift(m.comm3d, 2, 1, &m.iwest, &m.ieast);
    m.ierr = MPI_Cart_shift(m.comm3d, 1, 1, &m.isouth, &m.inorth);
    int keepx[3] = {0, 0, 1}, keepy[3] = {0, 1, 0};
    m.ierr = MPI_Cart_sub(m.comm3d, keepx, &m.commx);
    m.ierr = MPI_Cart_sub(m.comm3d, keepy, &m.commy);
    m.ierr = MPI_Comm_rank(m.commx, &m.myidx);
    m.ierr = MPI_Comm_rank(m.commy, &m.myidy);
    tile_name(c);

    // Halo datatypes, in their order; counts and strides in doubles.
    MPI_Datatype* vt = c.mpi_vtype.vtype;
    m.ierr = MPI_Type_vector(NY, 1, NX, MPI_DOUBLE, &vt[1]);        // column of a plane
    m.ierr = MPI_Type_vector(1, NX, NY, MPI_DOUBLE, &vt[2]);        // row of a plane
    m.ierr = MPI_Type_commit(&vt[1]);
    m.ierr = MPI_Type_commit(&vt[2]);
    m.ierr = MPI_Type_vector(NY * KM, 1, NX, MPI_DOUBLE, &vt[3]);   // column of a 3-D field
    m.ierr = MPI_Type_vector(KM, NX, PLANE, MPI_DOUBLE, &vt[4]);    // row of a 3-D field
    m.ierr = MPI_Type_commit(&vt[3]);
    m.ierr = MPI_Type_commit(&vt[4]);
    m.ierr = MPI_Type_vector(NY, 1, NX, MPI_DOUBLE, &vt[5]);
    m.ierr = MPI_Type_vector(1, NX, PLANE, MPI_DOUBLE, &vt[6]);
    m.ierr = MPI_Type_commit(&vt[5]);
    m.ierr = MPI_Type_commit(&vt[6]);
    m.ierr = MPI_Type_vector(NY, 1, NX + 1, MPI_DOUBLE, &vt[7]);    // column of a 0:82 x 50 plane
    m.ierr = MPI_Type_vector(1, NX, NX * (NY + 1), MPI_DOUBLE, &vt[8]);  // row of an 82 x 0:50 plane
    m.ierr = MPI_Type_commit(&vt[7]);
    m.ierr = MPI_Type_commit(&vt[8]);
    m.ierr = MPI_Type_vector(NY * KM, 1, NX, MPI_DOUBLE, &m.col3d);
    m.ierr = MPI_Type_vector(KM, NX, PLANE, MPI_DOUBLE, &m.row3d);
    m.ierr = MPI_Type_commit(&m.col3d);
    m.ierr = MPI_Type_commit(&m.row3d);
    m.ierr = MPI_Type_vector(NY, 1, NX, MPI_DOUBLE, &m.col2d);
    m.ierr = MPI_Type_vector(1, NX, PLANE, MPI_DOUBLE, &m.row2d);
    m.ierr = MPI_Type_commit(&m.col2d);
    m.ierr = MPI_Type_commit(&m.row2d);
    m.ierr = MPI_Type_vector(NYI, 1, NX, MPI_DOUBLE, &m.col2d_in);
    m.ierr = MPI_Type_commit(&m.col2d_in);

    for (int n = 1; n <= 14; ++n) {
        m.NPX(n) = 2000 * n - 1999;
        m.NPY(n) = 3280 * n - 3279;
    }

    m.jbeg = m.myidy == 0 ? 2 : 1;
    m.jend = m.myidy == LASTROW ? 48 : 49;

    const i64 i0 = 80 * i64(m.myidx) + 1, j0 = 48 * i64(m.myidy) + 1;
    auto& p = c.pnetcdf;
    const i64 nn[6] = {KM, JMT, IMT, NMONTH, KMP1, 1};
    for (int n = 1; n <= 6; ++n) p.NN(n) = nn[n - 1];
    p.nst3(1) = 1, p.nst3(2) = j0, p.nst3(3) = i0;
    p.ncn3(1) = KM, p.ncn3(2) = NYI, p.ncn3(3) = NXI;
    p.nstm(1) = 1, p.nstm(2) = j0, p.nstm(3) = i0;
    p.ncnm(1) = NMONTH, p.ncnm(2) = NYI, p.ncnm(3) = NXI;
    p.nst2(1) = j0, p.nst2(2) = i0;
    p.ncn2(1) = NYI, p.ncn2(2) = NXI;
    p.ione(1) = 1, p.ione(2) = 1;
    auto& q = c.pnetcdf2;
    q.fst3(1) = i0, q.fst3(2) = j0, q.fst3(3) = 1;
    q.fcn3(1) = NXI, q.fcn3(2) = NYI, q.fcn3(3) = KM;
    q.fstm(1) = i0, q.fstm(2) = j0, q.fstm(3) = 1;
    q.fcnm(1) = NXI, q.fcnm(2) = NYI, q.fcnm(3) = NMONTH;
    q.fst2(1) = i0, q.fst2(2) = j0;
    q.fcn2(1) = NXI, q.fcn2(2) = NYI;
    q.fcnw(1) = NXI, q.fcnw(2) = NYI, q.fcnw(3) = KMP1;
}

void mpi_grid2d_gen(Ctx& c) {
    auto& m = c.mpicomm;
    int dims[2] = {NPROC_COLS, NPROC_ROWS};
    int periods[2] = {1, 0};
    m.ierr = MPI_Cart_create(MPI_COMM_WORLD, 2, dims, periods, 1, &m.comm2d);
    m.ierr = MPI_Cart_shift(m.comm2d, 0, 1, &m.iwest, &m.ieast);
    m.ierr = MPI_Cart_shift(m.comm2d, 1, 1, &m.isouth, &m.inorth);
    int keepx[2] = {1, 0}, keepy[2] = {0, 1};
    m.ierr = MPI_Cart_sub(m.comm2d, keepx, &m.commx);
    m.ierr = MPI_Cart_sub(m.comm2d, keepy, &m.commy);
    m.ierr = MPI_Comm_rank(m.commx, &m.myidx);
    m.ierr = MPI_Comm_rank(m.commy, &m.myidy);
    tile_name(c);
}

}  // namespace hc
