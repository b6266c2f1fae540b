// The surface-pressure correction of the step: in one to nine passes the
// vertical velocity from continuity, one elliptic solve for X, P0 += odt X
// and the correction of every level's face velocities by the gradient of X,
// until the flow left on closed surface faces is small; then W from the
// corrected faces, the incompressibility diagnostic and the removal of the
// mean surface pressure.
#include <cmath>
#include <string>

#include "comm/comm.hpp"
#include "driver/driver.hpp"
#include "io/log.hpp"
#include "solver/solver.hpp"
#include "util/format.hpp"

namespace hc {

namespace {

// 2.0e-4 cm/s in single precision, widened: the flow allowed on closed faces.
constexpr double kVmxBound = 0.00019999999494757503;
constexpr int kMaxPasses = 9;
// SCR plane that sums the X of the passes of a step (zeroed with planes 1..4
// at the start of the elliptic phase; nothing else uses it there).
constexpr int kXsumPlane = 3;

// Thickness-weighted horizontal divergence of the face velocities of cell
// (i, j) at level k, with cj = OCS(j) ODY(j) and hk = 1 / ODZ(k).
inline double divergence(const Ctx& c, int i, int j, int k, double cj, double hk) {
    const auto& f = c.cgridglo;
    const auto& m = c.metricglo;
    const double du = (f.U(i, j, k) - f.U(i - 1, j, k)) * m.ODX(j);
    const double dv = (m.CSV(j) * f.V(i, j, k) - m.CSV(j - 1) * f.V(i, j - 1, k)) * cj;
    return (du + dv) * hk;
}

// W from continuity over every interior column and the right-hand side S:
// downward from face 1 to the bottom face with the rigid lid, upward from
// face 41 to the surface with the free surface. With the free surface, SCR
// plane kXsumPlane holds the sum of the X of the step's earlier passes: P0 already holds
// odt times it, and the surface velocity -eps xsum that the earlier passes
// left on each wet column is that motion, not a new one to solve for
// (docs/surface-pressure.md), so it is taken off S there.
void continuity_and_rhs(Ctx& c) {
    auto& W = c.cgridglo.W;
    auto& m = c.metricglo;
    auto& S = c.sevp.S;
    if (c.controglo.lfsrf == 1) {
        for (int k = KM; k >= 1; --k) {
            const double hk = 1.0 / c.zfsglo.ODZ(k);
            for (int j = 2; j <= 49; ++j) {
                const double cj = m.OCS(j) * m.ODY(j);
                for (int i = 2; i <= 81; ++i) W(i, j, k) = divergence(c, i, j, k, cj, hk) + W(i, j, k + 1);
            }
        }
        const double eps = free_surface_term(c);
        const auto& KB = c.bathyglo.KB;
        for (int j = 2; j <= 49; ++j) {
            for (int i = 2; i <= 81; ++i) {
                S(i - 1, j - 1) = -W(i, j, 1);
                if (KB(i, j) >= 1) S(i - 1, j - 1) = S(i - 1, j - 1) - eps * c.scratchglo.SCR(i, j, kXsumPlane);
            }
        }
    } else {
        for (int k = 1; k <= KM; ++k) {
            const double hk = 1.0 / c.zfsglo.ODZ(k);
            for (int j = 2; j <= 49; ++j) {
                const double cj = m.OCS(j) * m.ODY(j);
                for (int i = 2; i <= 81; ++i) W(i, j, k + 1) = W(i, j, k) - divergence(c, i, j, k, cj, hk);
            }
        }
        for (int j = 2; j <= 49; ++j) {
            for (int i = 2; i <= 81; ++i) S(i - 1, j - 1) = W(i, j, c.bathyglo.KB(i, j) + 1);
        }
    }
}

void solve(Ctx& c) {
    auto& e = c.sevp;
    auto& t = c.timer.t;
    t(7) = MPI_Wtime();
    if (c.controglo.lsolver == 1) {
        // The marching result does not depend on the X it starts from, but
        // its round-off scales with it (the rows it starts from are marched
        // through the polar sub-blocks): from the previous pass's X, some
        // thousand times the solution a later pass seeks, that error alone
        // was a few 1e-3 cm/s on closed faces. Each solve starts from zero.
        e.X.fill(0.0);
        rep(c, e.AL, e.AB, e.AC, e.AR, e.AT, e.RINV, e.RINV1, e.DUM0, e.evpq, e.evpe, e.evpg, e.S, e.X, e.IE);
    } else if (c.controglo.lsolver == 2) {
        auto& b = c.bicg;
        p_bicgstab_le(c, e.AB, e.AL, e.AC, e.AR, e.AT, e.S, e.X, e.cb, e.cl, e.cc, e.cr, e.ct, b.bicg_r, b.bicg_rhat,
                      b.bicg_p, b.bicg_v, b.bicg_s, b.bicg_t, b.bicg_y, b.bicg_z);
    }
    t(6) = MPI_Wtime() - t(7);
}

// P0 += odt X and the corrections of every level from the gradient of X;
// the wall faces of the southern and northern process rows get none.
void correct(Ctx& c) {
    auto& X = c.sevp.X;
    auto& P0 = c.bglo.P0;
    auto& scr = c.scratchglo.SCR;
    auto& m = c.metricglo;
    auto& b = c.bathyglo;
    auto& U = c.cgridglo.U;
    auto& V = c.cgridglo.V;
    const int jbeg = c.mpicomm.jbeg, jend = c.mpicomm.jend;
    const double odt = c.scaglo.odt;
    for (int j = 1; j <= NY; ++j) {
        for (int i = 1; i <= NX; ++i) P0(i, j) = odt * X(i, j) + P0(i, j);
    }
    // The u-face loops leave face 1 to itself, so that the run 2..81 has even
    // length and vectorizes without a remainder.
    for (int j = 2; j <= 49; ++j) {
        auto gx = [&](int i) { scr(i, j, 1) = -m.ODX(j) * (X(i + 1, j) - X(i, j)); };
        gx(1);
#pragma GCC ivdep
        for (int i = 2; i <= 81; ++i) gx(i);
    }
    for (int j = jbeg; j <= jend; ++j) {
        for (int i = 2; i <= 81; ++i) scr(i, j, 2) = -m.ODYV(j) * (X(i, j + 1) - X(i, j));
    }
    for (int j = 2; j <= 49; ++j) {
        auto u1 = [&](int i) { U(i, j, 1) = double(b.IU0(i, j)) * U(i, j, 1) + scr(i, j, 1); };
        u1(1);
#pragma GCC ivdep
        for (int i = 2; i <= 81; ++i) u1(i);
    }
    for (int j = jbeg; j <= jend; ++j) {
        for (int i = 2; i <= 81; ++i) V(i, j, 1) = double(b.IV0(i, j)) * V(i, j, 1) + scr(i, j, 2);
    }
    for (int k = 2; k <= KM; ++k) {
        for (int j = 2; j <= 49; ++j) {
            auto uk = [&](int i) { U(i, j, k) = double(b.IU(i, j, k)) * scr(i, j, 1) + U(i, j, k); };
            uk(1);
#pragma GCC ivdep
            for (int i = 2; i <= 81; ++i) uk(i);
        }
        for (int j = jbeg; j <= jend; ++j) {
#pragma GCC ivdep
            for (int i = 2; i <= 81; ++i) V(i, j, k) = double(b.IV(i, j, k)) * scr(i, j, 2) + V(i, j, k);
        }
    }
}

// Keeps a value that is not a number once met.
inline double nan_max(double m, double x) { return (x > m || std::isnan(x)) && !std::isnan(m) ? x : m; }

// Largest speed on the closed surface faces away from the tile edges,
// maximised over all processes.
double closed_face_flow(Ctx& c) {
    auto& b = c.bathyglo;
    auto& U = c.cgridglo.U;
    auto& V = c.cgridglo.V;
    double m = 0.0;
    for (int j = 2; j <= 49; ++j) {
        for (int i = 2; i <= 80; ++i) m = nan_max(m, (1.0 - double(b.IU0(i, j))) * std::fabs(U(i, j, 1)));
    }
    for (int j = 2; j <= 48; ++j) {
        for (int i = 2; i <= 81; ++i) m = nan_max(m, (1.0 - double(b.IV0(i, j))) * std::fabs(V(i, j, 1)));
    }
    double vmx = 0.0;
    c.mpicomm.ierr = MPI_Allreduce(&m, &vmx, 1, MPI_DOUBLE, MPI_MAX, c.mpicomm.comm3d);
    return vmx;
}

bool log_step(const Ctx& c, bool at_most) {
    const auto& s = c.scaglo;
    const i32 n = s.itf - s.it0;
    const bool early = at_most ? n <= s.nday : n < s.nday;
    return early || (s.nday != 0 && s.itf % s.nday == 0);
}

}  // namespace

void surface_pressure_correction(Ctx& c) {
    auto& scr = c.scratchglo.SCR;
    auto& t = c.timer.t;
    auto& b = c.bathyglo;
    auto& U = c.cgridglo.U;
    auto& V = c.cgridglo.V;
    for (int p = 1; p <= 4; ++p) {
        for (int j = 1; j <= NY; ++j) {
            for (int i = 1; i <= NX; ++i) scr(i, j, p) = 0.0;
        }
    }
    c.mpicomm.ierr = MPI_Barrier(c.mpicomm.comm3d);
    t(9) = MPI_Wtime();
    i32 itmask = 0;
    double vmx = 0.0;
    do {
        ++itmask;
        for (int j = 2; j <= 49; ++j) {
            auto close = [&](int i) { U(i, j, 1) = double(b.IU0(i, j)) * U(i, j, 1); };
            close(1);  // alone, so that the run 2..81 has no remainder
#pragma GCC ivdep
            for (int i = 2; i <= 81; ++i) close(i);
        }
        for (int j = c.mpicomm.jbeg; j <= c.mpicomm.jend; ++j) {
            for (int i = 2; i <= 81; ++i) V(i, j, 1) = double(b.IV0(i, j)) * V(i, j, 1);
        }
        if (c.controglo.lfsrf != 0 && c.controglo.lfsrf != 1) {
            if (c.mpicomm.myid == 0) fmt::out((fmt::Line() << "lfsrf is not set correctly").str());
            stop_run(c);
        }
        continuity_and_rhs(c);
        solve(c);
        correct(c);
        for (int j = 2; j <= 49; ++j) {
            for (int i = 2; i <= 81; ++i) scr(i, j, kXsumPlane) += c.sevp.X(i, j);
        }
        vmx = closed_face_flow(c);

        const std::string line = "@itf-it0===" + fmt::I(c.scaglo.itf - c.scaglo.it0, 8) + ",itmask=" +
                                 fmt::I(itmask, 3) + ", vmx on land=" + fmt::F(vmx, 8, 4) +
                                 " cm/s, solver time =" + fmt::F(t(6), 8, 4) + "sec";
        if (c.controglo.lsolver == 2) {
            // BiCGStab's passes of this solve (per-process log only).
            const bool restarted = c.bicg.restarted != 0;
            if (restarted || log_step(c, false)) {
                log_line(c, " bi-cgstab passes=" + fmt::I(c.bicg.passes, 6) +
                                (restarted ? " (restarted once after a breakdown)" : ""));
            }
        }
        if (log_step(c, false)) log_line(c, line);
        if (c.mpicomm.myid == 0) fmt::out(line);
    } while (vmx > kVmxBound && itmask < kMaxPasses);
    t(4) = t(4) - t(9) + MPI_Wtime();
}

void rebuild_vertical_velocity(Ctx& c) {
    auto& W = c.cgridglo.W;
    auto& m = c.metricglo;
    auto& b = c.bathyglo;
    if (c.controglo.lfsrf == 1) {
        // Upward from each column's bottom face KB + 1, level by level over
        // the whole tile (the columns are independent, each keeps its order).
        for (int k = KM; k >= 1; --k) {
            const double hk = 1.0 / c.zfsglo.ODZ(k);
            for (int j = 2; j <= 49; ++j) {
                const double cj = m.OCS(j) * m.ODY(j);
                for (int i = 2; i <= 81; ++i)
                    if (k <= b.KB(i, j)) W(i, j, k) = divergence(c, i, j, k, cj, hk) + W(i, j, k + 1);
            }
        }
    } else if (c.controglo.lfsrf == 0) {
        for (int k = 1; k <= KM; ++k) {
            const double hk = 1.0 / c.zfsglo.ODZ(k);
            for (int j = 2; j <= 49; ++j) {
                const double cj = m.OCS(j) * m.ODY(j);
                for (int i = 2; i <= 81; ++i) {
                    W(i, j, k + 1) = double(b.IW(i, j, k + 1)) * (W(i, j, k) - divergence(c, i, j, k, cj, hk));
                }
            }
        }
    }
}

void incompressibility_and_mean_pressure(Ctx& c) {
    auto& m = c.metricglo;
    auto& f = c.cgridglo;
    auto& P0 = c.bglo.P0;
    MPI_Comm comm = c.mpicomm.comm3d;
    if (log_step(c, true)) {
        double s1 = 0.0, s2 = 0.0;
        for (int k = 1; k <= KM; ++k) {
            for (int j = 2; j <= 49; ++j) {
                const double cj = m.OCS(j) * m.ODY(j);
                for (int i = 2; i <= 81; ++i) {
                    const double du = (f.U(i, j, k) - f.U(i - 1, j, k)) * m.ODX(j);
                    const double dv = cj * (m.CSV(j) * f.V(i, j, k) - m.CSV(j - 1) * f.V(i, j - 1, k));
                    const double dw = (f.W(i, j, k + 1) - f.W(i, j, k)) * c.zfsglo.ODZ(k);
                    const double in = double(c.bathyglo.IN(i, j, k));
                    s2 = s2 + in * std::fmax(std::fabs(du), std::fmax(std::fabs(dv), std::fabs(dw)));
                    s1 = s1 + in * std::fabs((du + dv) + dw);
                }
            }
        }
        double g1 = 0.0, g2 = 0.0;
        c.mpicomm.ierr = MPI_Allreduce(&s1, &g1, 1, MPI_DOUBLE, MPI_SUM, comm);
        c.mpicomm.ierr = MPI_Allreduce(&s2, &g2, 1, MPI_DOUBLE, MPI_SUM, comm);
        log_line(c, " *** normalized mean incompressibility error = " + fmt::E(g1 / g2, 9, 2));
        log_flush(c);
    }
    double p = 0.0;
    for (int j = 2; j <= 49; ++j) {
        for (int i = 2; i <= 81; ++i) p += P0(i, j);
    }
    double g = 0.0;
    c.mpicomm.ierr = MPI_Allreduce(&p, &g, 1, MPI_DOUBLE, MPI_SUM, comm);
    g = g / 92160.0;
    for (int j = 2; j <= 49; ++j) {
        for (int i = 2; i <= 81; ++i) P0(i, j) = P0(i, j) - g;
    }
}

}  // namespace hc
