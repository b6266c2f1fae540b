// Water-mass nudging and the learned surface heat-flux correction: stage 3
// (ts_nudging_for_watermass), stage 10 (correction and SST nudging) and
// stage 11 (the monthly update) of the time step.
#include "driver/nudging.hpp"

#include <mpi.h>

#include "driver/driver.hpp"

namespace hc {

// Stage 3, every step, after the month weights are set. Relaxes T1 and S1
// below the surface towards the annual means at the high-latitude rates, then
// the surface salinity towards the interpolated monthly climatology; a column
// whose second level is land keeps its surface salinity.
void ts_nudging_for_watermass(Ctx& c) {
    auto& b = c.bglo;
    const auto& cl = c.climatglo;
    const auto& IN = c.bathyglo.IN;
    const auto& H = c.nudging.HMEAN_NUDGE;
    for (int k = 2; k <= KM; ++k) {
        for (int j = 2; j <= NY - 1; ++j) {
            for (int i = 2; i <= NX - 1; ++i) {
                if (IN(i, j, k) == 0) continue;
                const double r = H(i, j, k);
                b.T1(i, j, k) = (1.0 - r) * b.T1(i, j, k) + r * cl.TCLIM(i, j, k);
                b.S1(i, j, k) = (1.0 - r) * b.S1(i, j, k) + r * cl.SCLIM(i, j, k);
            }
        }
    }
    const auto& kl = c.klimatglo;
    const auto& SN = c.nudging.S_NUDGE;
    for (int j = 2; j <= NY - 1; ++j) {
        for (int i = 2; i <= NX - 1; ++i) {
            const double sc = kl.wthis * cl.SCLIS(i, j, 1, kl.mthis) + kl.wnext * cl.SCLIS(i, j, 1, kl.mnext);
            b.S1(i, j, 1) = b.S1(i, j, 1) +
                            ((double(IN(i, j, 1)) * SN(i, j)) * double(IN(i, j, 2))) * (sc - b.S1(i, j, 1));
        }
    }
}

// Stage 10, every step, after the surface forcing. Adds the current month's
// learned correction to level 1 of T2, T1 and TLF, relaxes the new surface
// temperature towards the interpolated climatology (land takes it outright)
// and adds the change the relaxation made to the month's nudging sum.
void surface_flux_correction(Ctx& c) {
    auto& b = c.bglo;
    auto& cl = c.climatglo;
    const auto& kl = c.klimatglo;
    const auto& IN = c.bathyglo.IN;
    const auto& TN = c.nudging.T_NUDGE;
    for (int j = 2; j <= NY - 1; ++j) {
        for (int i = 2; i <= NX - 1; ++i) {
            const double w = TN(i, j);
            const double tc = kl.wthis * cl.TCLIS(i, j, 1, kl.mthis) + kl.wnext * cl.TCLIS(i, j, 1, kl.mnext);
            const double in = double(IN(i, j, 1));
            const double q = in * cl.QAVG(i - 1, j - 1, kl.mthis);
            b.T2(i, j, 1) += q;
            b.T1(i, j, 1) += q;
            b.TLF(i, j, 1) += q;
            const double to = b.T2(i, j, 1);
            b.T2(i, j, 1) = (1.0 - in) * tc + in * (w * tc + (1.0 - w) * to);
            cl.TNUDGE(i - 1, j - 1) = (cl.TNUDGE(i - 1, j - 1) + b.T2(i, j, 1)) - to;
        }
    }
}

void monthly_flux_update_tile(Ctx& c) {
    auto& cl = c.climatglo;
    const auto& kl = c.klimatglo;
    const auto& s = c.scaglo;
    const auto& IN = c.bathyglo.IN;
    const auto& m = c.metricglo;
    const int mthis = kl.mthis, mnext = kl.mnext;
    const i32 steps = 30 * s.nday;
    // After the first ten years each month's correction becomes a running
    // average over the years: one more sample per update of that month.
    if (s.itf > 3600 * s.nday) cl.NSOMBO(mthis) = cl.NSOMBO(mthis) + 1;
    // Both reciprocals are single precision, widened before the product.
    const double rate = double(1.0f / float(steps)) * double(1.0f / float(cl.NSOMBO(mthis)));
    double qsum = 0.0;
    for (int jp = 1; jp <= NYI; ++jp) {
        const int j = jp + 1;
        for (int ip = 1; ip <= NXI; ++ip) {
            const int i = ip + 1;
            qsum = qsum + double(IN(i, j, 1)) * (m.DX(j) * m.DY(j)) * cl.QAVG(ip, jp, mnext);
            cl.QAVG(ip, jp, mthis) =
                cl.QAVG(ip, jp, mthis) + rate * ((cl.TNUDGE(ip, jp) + cl.TCLIS(i, j, 1, mnext)) - c.bglo.T2(i, j, 1));
            cl.TNUDGE(ip, jp) = 0.0;
        }
    }
    c.controglo.qsum = qsum;
    // Year one: the correction is one running value passed on from month to
    // month, and the update at the end of day 360 passes it on to month 1.
    if (s.days <= 361.0) {
        for (int jp = 1; jp <= NYI; ++jp) {
            for (int ip = 1; ip <= NXI; ++ip) cl.QAVG(ip, jp, mnext) = cl.QAVG(ip, jp, mthis);
        }
    }
}

// Stage 11. The caller runs this on the last step of every 30-day month
// (itf modulo 30 * nday equal to 30 * nday - 1), on every process. Ends with
// the area-mean heat-flux equivalent of the next month's correction, qsum,
// the same on every process.
void monthly_flux_update(Ctx& c) {
    monthly_flux_update_tile(c);
    auto& m = c.mpicomm;
    auto& t = c.timer.t;
    m.ierr = MPI_Barrier(m.comm3d);
    t(9) = MPI_Wtime();
    double local = c.controglo.qsum;
    m.ierr = MPI_Allreduce(&local, &c.controglo.qsum, 1, MPI_DOUBLE, MPI_SUM, m.comm3d);
    t(3) = t(3) + (MPI_Wtime() - t(9));
    c.controglo.qsum = c.scaglo.qfac * c.controglo.qsum / c.metricglo.A(1);
}

}  // namespace hc
