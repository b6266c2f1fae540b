#include "main/model.hpp"

#include <cblas.h>
#include <xmmintrin.h>
#include <pmmintrin.h>

#include <string>

#include "comm/comm.hpp"
#include "driver/driver.hpp"
#include "io/io.hpp"
#include "io/log.hpp"
#include "solver/solver.hpp"
#include "util/blowup.hpp"
#include "util/format.hpp"
#include "util/rawfile.hpp"

namespace hc {

void set_fp_mode() {
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
}

void init(Ctx& c) {
    // The model runs one thread per process: the BLAS computes on the
    // caller's thread (the pthread build of OpenBLAS would otherwise hand
    // parts of a product to its worker threads, one per core, contending
    // with the other 23 processes). Set before the first BLAS call.
    openblas_set_num_threads(1);
    init_comm(c);
    mpi_grid_gen(c);
    init_io(c);
    // What a killed save left in data/ is put right before anything reads or
    // writes the restart set.
    if (!settle_restart_files(c)) {
        if (c.mpicomm.myid == 0) fmt::out(" restart files in data/ not usable; run stopped");
        stop_run(c);
    }
    set_windmix(c);
    set_rundata(c);
    set_zkb(c);
    set_surfwinds(c);
    set_area(c);
    set_ts_nudging(c);
    set_lateral_mixing(c);
    set_extra_vertical_eddy_viscosity(c);
    init_solver(c);
    set_seasonal_data(c);
    write_topo(c);
    eliminate_spurious_values(c);
}

Calendar calendar(i32 itf, double daodt) {
    Calendar k{};
    k.days = itf / daodt;
    double x = k.days / 360.0;
    int n = static_cast<int>(x + 9.999999747378752e-05);  // 1.0e-4 in single precision
    k.iyear = n + 1;
    k.iday = static_cast<int>((x - n) * 360.0 + 0.10000000149011612);  // 0.1 in single precision
    return k;
}

void run(Ctx& c) {
    auto& s = c.scaglo;
    auto& t = c.timer.t;
    if (c.mpicomm.myid == 0)
        fmt::out((fmt::Line() << "mxit,itf,days" << c.controglo.mxit << s.itf << s.days).str());
    s.it0 = s.itf;
    c.fullopt.noutd = NOUTD;
    c.fullopt.wavg = 1.0 / static_cast<double>(static_cast<i32>(NOUTD * s.nday));
    for (int n = 1; n <= 10; ++n) t(n) = 0.0;
    t(10) = MPI_Wtime();

    s.itf = 1;
    const i32 mxit = c.controglo.mxit;
    if (mxit >= 1) {
        while (s.itf <= mxit) {
            double now = MPI_Wtime();
            t(1) = t(1) - t(10) + now;
            t(10) = MPI_Wtime();
            Calendar k = calendar(s.itf, c.controglo.daodt);
            s.days = k.days;
            s.iyear = k.iyear;
            s.iday = k.iday;
            MPI_Barrier(c.mpicomm.comm3d);
            fsglo(c);
            MPI_Barrier(c.mpicomm.comm3d);
            check_blowup(c);
            write_hist(c);
            restart(c);
            s.itf = s.itf + 1;
        }
        return;
    }
    t(1) = t(1) - t(10) + MPI_Wtime();
    const RawPart rec{c.timer.t.data(), decltype(c.timer.t)::bytes()};
    write_raw_record(std::string("data/timer") + c.grdglo.name, &rec, 1);
}

void finalize(Ctx& c) {
    close_row_share(c);
    c.mpicomm.ierr = MPI_Finalize();
}

}  // namespace hc
