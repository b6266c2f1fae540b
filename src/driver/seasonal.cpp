// The monthly climatology and its annual mean, and the state from which the
// first step starts: the January climatology at rest on a cold start, the
// saved state on a restart (with the step count and the learned flux
// correction adjusted to a changed time step).
#include <algorithm>
#include <cmath>
#include <string>

#include "comm/comm.hpp"
#include "driver/driver.hpp"
#include "driver/setup.hpp"
#include "io/io.hpp"
#include "io/log.hpp"
#include "io/readers.hpp"
#include "util/format.hpp"

namespace hc {

namespace {

constexpr double kTwelfth = 0.0833333358168602;  // 1/12 in single precision
constexpr double kTenth = 0.10000000149011612;   // 0.1 in single precision

// A line to standard output and the per-process log of process 0.
void out_and_log(Ctx& c, const std::string& line) {
    fmt::out(line);
    log_line(c, line);
}

void build_climatology(Ctx& c) {
    for (int m = 1; m <= NMONTH; ++m) {
        if (c.mpicomm.myid == 0) fmt::out("month" + fmt::I(m, 3) + " in bounds");
        rdnc_levitus(c, m);
        add_climatology_month(c, m);
    }
    finish_climatology(c);
}

}  // namespace

void add_climatology_month(Ctx& c, int m) {
    auto& cl = c.climatglo;
    auto& b = c.bglo;
    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                b.S2(i, j, k) = b.S2(i, j, k) + kTwelfth * cl.SCLIM(i, j, k);
                b.T2(i, j, k) = b.T2(i, j, k) + kTwelfth * cl.TCLIM(i, j, k);
                if (k == 1) cl.SCLIM(i, j, 1) = std::max(33.0, cl.SCLIM(i, j, 1));
                if (m == 1) {
                    b.S1(i, j, k) = cl.SCLIM(i, j, k);
                    b.T1(i, j, k) = cl.TCLIM(i, j, k);
                }
            }
    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                cl.SCLIS(i, j, k, m) = cl.SCLIM(i, j, k);
                cl.TCLIS(i, j, k, m) = cl.TCLIM(i, j, k);
            }
}

void finish_climatology(Ctx& c) {
    auto& cl = c.climatglo;
    auto& b = c.bglo;
    cl.SCLIM = b.S2;
    cl.TCLIM = b.T2;
    b.S2.fill(0.0);
    b.T2.fill(0.0);
}

void set_restart_state(Ctx& c) {
    auto& s = c.scaglo;
    auto& cl = c.climatglo;
    const bool root = c.mpicomm.myid == 0;
    if (root) fmt::out((fmt::Line() << "read rerun file" << c.mpicomm.myid << s.itf).str());
    read_rerun(c);
    mpi_exch_3d_r4(c, c.cgridglo.U);
    mpi_exch_3d_r4(c, c.cgridglo.V);
    mpi_exch_2d_r8(c, c.sevp.X);

    if (root) fmt::out((fmt::Line() << "read ncf initial").str());
    read_initnc(c, cl.SCLIM, cl.TCLIM);
    mpi_exch_3d_r4(c, cl.TCLIM);
    mpi_exch_3d_r4(c, cl.SCLIM);
    adjust_restart_step(c);
}

void adjust_restart_step(Ctx& c) {
    auto& s = c.scaglo;
    auto& cl = c.climatglo;
    const bool root = c.mpicomm.myid == 0;
    // A set saved at day 0 (or not a positive time) gives no steps per day
    // of the saved run to compare with.
    if (!(s.days > 0.0)) {
        fmt::out((fmt::Line() << "restart set data/rerun.nc holds days =" << s.days
                              << "; the saved time step cannot be recovered; run stopped")
                     .str());
        stop_run(c);
    }

    const double daodt = c.controglo.daodt;
    const i32 nstep = restart_step(s.days, daodt);
    const double old_per_day = s.itf / s.days;
    if (nstep != s.itf) {
        const double r = old_per_day / daodt;
        if (root) out_and_log(c, "dtnew/dtold=" + fmt::F(r, 6, 3));
        for (int m = 1; m <= NMONTH; ++m)
            for (int j = 1; j <= NYI; ++j)
                for (int i = 1; i <= NXI; ++i) cl.QAVG(i, j, m) = cl.QAVG(i, j, m) * r;
        if (root) {
            out_and_log(c, "");
            out_and_log(c, "time step # changed from" + fmt::I(s.itf, 7) + " to" + fmt::I(nstep, 7) +
                               " at restart to reflect dt change");
        }
    }
    if (root)
        fmt::out("itf,days,daodt_new,daodt_old" + fmt::I(nstep, 8) + fmt::F(s.days, 8, 1) + fmt::F(daodt, 8, 1) +
                 fmt::F(old_per_day, 8, 1));
    s.itf = nstep;
    if (static_cast<long long>(s.days + kTenth) <= 3600)
        for (int m = 1; m <= NMONTH; ++m) cl.NSOMBO(m) = 2;
    if (root) {
        out_and_log(c, "");
        out_and_log(c, "restart data read for time step " + fmt::I(s.itf, 9) + ", day " + fmt::F(s.days, 8, 2));
        std::string counts = "nsombo:";
        for (int m = 1; m <= NMONTH; ++m) counts += fmt::I(cl.NSOMBO(m), 3);
        out_and_log(c, counts);
    }
}

namespace {

void run_header(Ctx& c) {
    const auto& k = c.controglo;
    auto e = [](double v) { return " " + fmt::E(v, 9, 2); };
    log_line(c, "case " + fmt::A(std::string(c.title.case_.c, 5), 5) + " (" +
                    fmt::A(std::string(c.title.describ.c, 63), 63) + ")");
    log_line(c, "----------");
    log_line(c, " lrstrt   mxit   i0   j0   k0 ktrm");
    log_line(c, fmt::I(k.lrstrt, 9) + fmt::I(k.mxit, 9) + fmt::I(82, 5) + fmt::I(50, 5) + fmt::I(41, 5) +
                    fmt::I(k.ktrm, 5));
    log_line(c, "");
    log_line(c, "        dt      fltw       tlz");
    log_line(c, e(k.dt) + e(k.fltw) + e(k.tlz));
    log_line(c, "");
    log_line(c, "       g       dm0       de0      dmz0      rzmx      drag");
    log_line(c, e(k.g) + e(k.dm0) + e(k.de0) + e(k.dmz0) + e(k.rzmx) + e(k.drag));
}

void cold_start(Ctx& c) {
    if (c.mpicomm.myid == 0) fmt::out((fmt::Line() << "write ncf initial").str());
    write_init2nc(c, c.climatglo.SCLIM, c.climatglo.TCLIM);
    cold_start_state(c);
    run_header(c);
    first_guess_flux_correction(c);
    rdnc_zkb2(c);
}

}  // namespace

void cold_start_state(Ctx& c) {
    auto& b = c.bglo;
    b.SLF = b.S1;
    b.TLF = b.T1;
    b.S2 = b.S1;
    b.T2 = b.T1;
    b.C1.fill(0.0);
    b.C2.fill(0.0);
    b.CLF.fill(0.0);
}

void first_guess_flux_correction(Ctx& c) {
    auto& cl = c.climatglo;
    // The climatological change of the surface temperature per step from
    // month m to the next, 0 on land.
    const double N = static_cast<double>(static_cast<i32>(30.0 * c.controglo.daodt));
    for (int m = 1; m <= NMONTH; ++m) {
        cl.NSOMBO(m) = 2;
        c.controglo.evap = 0.0;
        const int n = m == NMONTH ? 1 : m + 1;
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i)
                cl.QAVG(i - 1, j - 1, m) =
                    static_cast<double>(c.bathyglo.IN(i, j, 1)) * (cl.TCLIS(i, j, 1, n) - cl.TCLIS(i, j, 1, m)) / N;
    }
}

void set_boundary_rows(Ctx& c) {
    const int py = c.mpicomm.myidy;
    if (py != 0 && py != LASTROW) return;
    const int j = py == 0 ? 1 : NY;
    auto& b = c.bglo;
    const auto& cl = c.climatglo;
    for (int k = 1; k <= KM; ++k)
        for (int i = 1; i <= NX; ++i) {
            b.T1(i, j, k) = b.T2(i, j, k) = b.TLF(i, j, k) = cl.TCLIM(i, j, k);
            b.S1(i, j, k) = b.S2(i, j, k) = b.SLF(i, j, k) = cl.SCLIM(i, j, k);
        }
}

i32 restart_step(double days, double daodt) { return static_cast<i32>(days * daodt + 0.5); }

void set_seasonal_data(Ctx& c) {
    build_climatology(c);
    if (c.controglo.lrstrt != 0)
        set_restart_state(c);
    else
        cold_start(c);
    set_boundary_rows(c);
}

std::string fill_land_level(Ctx& c, int k) {
    auto& b = c.bglo;
    const auto& in = c.bathyglo.IN;
    Plane sfill{"sfill"}, tfill{"tfill"};  // the fills, from the values before any replacement
    double tmin = 1.0e8, smin = 1.0e8, tmax = -1.0e8, smax = -1.0e8;
    for (int j = 2; j <= 49; ++j)
        for (int i = 2; i <= 81; ++i) {
            if (in(i, j, k) != 0) continue;
            const double sf = 0.25 * (((b.S1(i + 1, j, k) + b.S1(i - 1, j, k)) + b.S1(i, j - 1, k)) + b.S1(i, j + 1, k));
            const double tf = 0.25 * (((b.T1(i + 1, j, k) + b.T1(i - 1, j, k)) + b.T1(i, j - 1, k)) + b.T1(i, j + 1, k));
            sfill(i, j) = sf;
            tfill(i, j) = tf;
            smin = std::min(smin, sf), smax = std::max(smax, sf);
            tmin = std::min(tmin, tf), tmax = std::max(tmax, tf);
        }
    for (int j = 2; j <= 49; ++j)
        for (int i = 2; i <= 81; ++i) {
            if (in(i, j, k) != 0) continue;
            b.S1(i, j, k) = sfill(i, j);
            b.T1(i, j, k) = tfill(i, j);
        }
    // Without land the extremes keep their starting values, which do not fit
    // the fields and print as asterisks.
    return "n,k,tmin,tmax,smin,smax:" + fmt::I(1, 5) + fmt::I(k, 3) + fmt::F(tmin, 7, 3) + fmt::F(tmax, 7, 3) +
           fmt::F(smin, 7, 3) + fmt::F(smax, 7, 3);
}

void eliminate_spurious_values(Ctx& c) {
    if (c.controglo.lrstrt != 0) return;
    auto& b = c.bglo;
    for (int k = 1; k <= 2; ++k) {
        const std::string line = fill_land_level(c, k);
        mpi_exch_2d_r4(c, b.T1.at(1, 1, k));
        mpi_exch_2d_r4(c, b.S1.at(1, 1, k));
        if (c.mpicomm.myid == 0) fmt::out(line);
    }
}

}  // namespace hc
