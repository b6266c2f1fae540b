// Selection of the surface-pressure solver at start-up.
#include "comm/comm.hpp"
#include "io/io.hpp"
#include "solver/solver.hpp"
#include "util/format.hpp"

namespace hc {

void init_solver(Ctx& c) {
    const bool root = c.mpicomm.myid == 0;
    const i32 ls = c.controglo.lsolver;
    if (ls == 1) {
        if (root) fmt::out((fmt::Line() << "evp solver").str());
        // Nothing is read for the marching solver: its coefficients (closed
        // faces as a thin sheet of the surface layer, so that every marched
        // row has a north coefficient) and influence matrices are built from
        // the grid.
        const double t0 = MPI_Wtime();
        build_surface_pressure_operator(c, true);
        build_marching_matrices(c);
        const double t1 = MPI_Wtime();
        if (root) fmt::out("marching solver: influence matrices built in " + fmt::F(t1 - t0, 8, 2) + " s");
    } else if (ls == 2) {
        if (root) fmt::out((fmt::Line() << "bi-cgstab solver").str());
        rdnc_evp(c);
    } else {
        if (root) fmt::out((fmt::Line() << "lsolver=" << ls << " (incorrect solver)").str());
        stop_run(c);
    }
}

}  // namespace hc
