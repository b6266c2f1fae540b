// BiCGStab with right preconditioning by the block SIP factorisation of each
// tile. The processes meet only in the operator (a halo exchange of the vector
// it is applied to), the inner products (one all-reduce each) and the closing
// halo exchange of the solution; the preconditioner sweeps stay on the tile.
#include <cblas.h>

#include <cmath>

#include "comm/comm.hpp"
#include "solver/solver.hpp"
#include "util/format.hpp"

namespace hc {

namespace {

// Single-precision bounds of the stopping test, widened to double.
constexpr double kStartBound = 1.0000000116860974e-07;  // 1.0e-7: no pass at all below it

}  // namespace

void solver_halo_exchange(Ctx& c, Plane& X) { exchange_lines(c, X.data(), c.mpicomm.col2d, c.mpicomm.row2d); }

namespace {

// The halo the operator reads: columns 1 and 82 and rows 1 and 50 without
// their corners, which the five-point stencil never reads. Without the
// corners no line depends on another, so the four go in one round; each
// delivers the neighbour's interior edge values, as the columns-then-rows
// exchange does there. The corners keep what they held (docs/solvers.md: the
// closing exchange of X still fills them).
void operator_halo_exchange(Ctx& c, Plane& X) {
    const auto& m = c.mpicomm;
    const LineTransfer t[4] = {{&X(2, 2), m.iwest, &X(82, 2), m.ieast, 1, m.col2d_in},
                               {&X(81, 2), m.ieast, &X(1, 2), m.iwest, 1, m.col2d_in},
                               {&X(2, 2), m.isouth, &X(2, 50), m.inorth, NXI},
                               {&X(2, 49), m.inorth, &X(2, 1), m.isouth, NXI}};
    transfer_round(c, t, 4, MPI_DOUBLE);
}

}  // namespace

// The exchange is a rendezvous of its own: no barrier before it (the values
// a transfer delivers do not depend on when the processes arrive).
void p_sqprod(Ctx& c, IPlane& AB, IPlane& AL, IPlane& AC, IPlane& AR, ATPlane& AT, Plane& X, Plane& B) {
    operator_halo_exchange(c, X);
    for (int j = 2; j <= 49; ++j) {
        for (int i = 2; i <= 81; ++i) {
            B(i, j) = AB(i - 1, j - 1) * X(i, j - 1) + AL(i - 1, j - 1) * X(i - 1, j) + AC(i - 1, j - 1) * X(i, j) +
                      AR(i - 1, j - 1) * X(i + 1, j) + AT(i - 1, j) * X(i, j + 1);
        }
    }
}

namespace {

// The interior sum of A1 A2 on this tile, j outer and i inner, from 0.0.
double local_inprod(const Plane& A1, const Plane& A2) {
    double sum = 0.0;
    for (int j = 2; j <= 49; ++j) {
        for (int i = 2; i <= 81; ++i) sum += A1(i, j) * A2(i, j);
    }
    return sum;
}

}  // namespace

// The all-reduce needs no barrier before it: the sum it forms depends only on
// the operands, not on when the processes arrive.
void p_inprod(Ctx& c, Plane& A1, Plane& A2, double& result) {
    double sum = local_inprod(A1, A2);
    MPI_Allreduce(&sum, &result, 1, MPI_DOUBLE, MPI_SUM, c.mpicomm.comm3d);
}

namespace {

// Two inner products whose operands are ready together, (A1, A2) into r1 and
// (B1, B2) into r2, in one all-reduce of two doubles. Each element of the
// all-reduce is summed over the processes exactly as the one-double
// all-reduce of p_inprod sums it (docs/solvers.md), so r1 and r2 are p_inprod's.
void inprod_pair(Ctx& c, const Plane& A1, const Plane& A2, const Plane& B1, const Plane& B2, double& r1,
                 double& r2) {
    const double sum[2] = {local_inprod(A1, A2), local_inprod(B1, B2)};
    double result[2];
    MPI_Allreduce(sum, result, 2, MPI_DOUBLE, MPI_SUM, c.mpicomm.comm3d);
    r1 = result[0];
    r2 = result[1];
}

}  // namespace

// The sweeps of the three preconditioner variants differ only in where they
// scale and which factors pass a value on; the orders and edge rules agree.
namespace {

enum class Sweep { sip, lu, sq };

void sweeps(Sweep kind, IPlane& cb, IPlane& cl, IPlane& cc, IPlane& cr, IPlane& ct, Plane& in, Plane& BH) {
    cblas_dcopy(PLANE, in.data(), 1, BH.data(), 1);
    IPlane& east = kind == Sweep::sq ? cr : cl;
    IPlane& north = kind == Sweep::sq ? ct : cb;
    const bool scale_fwd = kind != Sweep::lu;
    const bool scale_bwd = kind != Sweep::sip;
    for (int j = 2; j <= 49; ++j) {
        for (int i = 2; i <= 81; ++i) {
            if (scale_fwd) BH(i, j) = BH(i, j) * cc(i - 1, j - 1);
            if (i < 81) BH(i + 1, j) = BH(i + 1, j) - east(i - 1, j - 1) * BH(i, j);
            if (j < 49) BH(i, j + 1) = BH(i, j + 1) - north(i - 1, j - 1) * BH(i, j);
        }
    }
    for (int j = 49; j >= 2; --j) {
        for (int i = 81; i >= 2; --i) {
            if (scale_bwd) BH(i, j) = BH(i, j) * cc(i - 1, j - 1);
            if (i > 2) BH(i - 1, j) = BH(i - 1, j) - cr(i - 1, j - 1) * BH(i, j);
            if (j > 2) BH(i, j - 1) = BH(i, j - 1) - ct(i - 1, j - 1) * BH(i, j);
        }
    }
}

}  // namespace

void p_sipsqelim(IPlane& cb, IPlane& cl, IPlane& cc, IPlane& cr, IPlane& ct, Plane& in, Plane& BH) {
    sweeps(Sweep::sip, cb, cl, cc, cr, ct, in, BH);
}

void p_lusqelim(IPlane& cb, IPlane& cl, IPlane& cc, IPlane& cr, IPlane& ct, Plane& in, Plane& BH) {
    sweeps(Sweep::lu, cb, cl, cc, cr, ct, in, BH);
}

void p_sqelim(IPlane& unused1, IPlane& unused2, IPlane& cc, IPlane& cr, IPlane& ct, Plane& in, Plane& BH) {
    sweeps(Sweep::sq, unused1, unused2, cc, cr, ct, in, BH);
}

namespace {

// A divisor of the iteration that cannot be used: zero or not finite.
inline bool unusable(double d) { return d == 0.0 || !std::isfinite(d); }

// r = S - A X on the interior (A X first refreshes the halo of X), r̂ = r,
// p = v = 0: the start of the iteration from the X it is given. Returns the
// residual norm; rho is (r, r̂) for the first pass, which is (r, r) itself,
// product for product, since r̂ is a copy of r.
double start_iteration(Ctx& c, IPlane& AB, IPlane& AL, IPlane& AC, IPlane& AR, ATPlane& AT, IPlane& S, Plane& X,
                       Plane& r, Plane& rhat, Plane& p, Plane& v, double& rho) {
    p.fill(0.0);
    v.fill(0.0);
    p_sqprod(c, AB, AL, AC, AR, AT, X, r);
    for (int j = 2; j <= 49; ++j) {
        for (int i = 2; i <= 81; ++i) r(i, j) = S(i - 1, j - 1) - r(i, j);
    }
    cblas_dcopy(PLANE, r.data(), 1, rhat.data(), 1);
    double rr = 0.0;
    p_inprod(c, r, r, rr);
    rho = rr;
    return std::sqrt(rr);
}

}  // namespace

void p_bicgstab_le(Ctx& c, IPlane& AB, IPlane& AL, IPlane& AC, IPlane& AR, ATPlane& AT, IPlane& S, Plane& X,
                   IPlane& cb, IPlane& cl, IPlane& cc, IPlane& cr, IPlane& ct, Plane& r, Plane& rhat, Plane& p,
                   Plane& v, Plane& s, Plane& t, Plane& y, Plane& z) {
    double rho_old = 1.0, alpha = 1.0, omega = 1.0;
    double rho = 0.0, beta = 0.0, r0n = 0.0, rn = 0.0, tmp = 0.0;
    // (r, r̂) for the next pass, formed with the residual norm of this one: r
    // does not change in between, and a pass that ends the solve leaves it unused.
    double rho_next = 0.0;
    i32 it = 0;
    c.bicg.passes = 0;
    c.bicg.restarted = 0;

    r0n = start_iteration(c, AB, AL, AC, AR, AT, S, X, r, rhat, p, v, rho_next);

    // A right-hand side that is not finite comes from a state that has blown
    // up: X is left as it was and the step's blow-up check reports the state.
    if (!(r0n < kStartBound) && std::isfinite(r0n)) {
        for (;;) {
            ++it;
            // A breakdown (a divisor zero or not finite) is met before X is
            // changed in the pass, except for (t, t) = 0, where the half step
            // X + alpha y is still sound and is taken. The iteration restarts
            // once from the X reached with a fresh shadow residual; a second
            // breakdown stops the run before X can carry a value that is not
            // a number into P0.
            bool broke = false;
            rho = rho_next;
            if (unusable(rho)) {
                broke = true;
            } else {
                beta = (rho / rho_old) * (alpha / omega);
                cblas_daxpy(PLANE, -omega, v.data(), 1, p.data(), 1);
                cblas_dscal(PLANE, beta, p.data(), 1);
                cblas_daxpy(PLANE, 1.0, r.data(), 1, p.data(), 1);
                p_sipsqelim(cb, cl, cc, cr, ct, p, y);
                p_sqprod(c, AB, AL, AC, AR, AT, y, v);
                p_inprod(c, rhat, v, tmp);
                if (unusable(tmp)) broke = true;
            }
            if (!broke) {
                alpha = rho / tmp;
                cblas_dcopy(PLANE, r.data(), 1, s.data(), 1);
                cblas_daxpy(PLANE, -alpha, v.data(), 1, s.data(), 1);
                p_sipsqelim(cb, cl, cc, cr, ct, s, z);
                p_sqprod(c, AB, AL, AC, AR, AT, z, t);
                double tt = 0.0, ts = 0.0;
                inprod_pair(c, t, t, t, s, tt, ts);
                if (!std::isfinite(tt) || !std::isfinite(ts) || !std::isfinite(alpha)) {
                    broke = true;
                } else {
                    // t = 0: s = 0 (the half step solved the system) or A M^-1 s = 0;
                    // take the half step, and restart unless it met the test.
                    omega = tt == 0.0 ? 0.0 : ts / tt;
                    cblas_daxpy(PLANE, alpha, y.data(), 1, X.data(), 1);
                    cblas_daxpy(PLANE, omega, z.data(), 1, X.data(), 1);
                    cblas_dcopy(PLANE, s.data(), 1, r.data(), 1);
                    cblas_daxpy(PLANE, -omega, t.data(), 1, r.data(), 1);
                    inprod_pair(c, r, r, r, rhat, tmp, rho_next);
                    rn = std::sqrt(tmp);
                    rho_old = rho;
                    if (!std::isfinite(rn)) broke = true;
                    if (tt == 0.0 && bicg_stopping_test(rn, r0n, it) == BicgNext::pass_again) broke = true;
                }
            }
            if (broke) {
                if (c.bicg.restarted != 0) {
                    if (c.mpicomm.myid == 0) {
                        fmt::out((fmt::Line() << "bi-cgstab: breakdown at itf=" << c.scaglo.itf << "pass=" << it
                                              << "after a restart; run stopped")
                                     .str());
                    }
                    stop_run(c);
                }
                c.bicg.restarted = 1;
                rho_old = alpha = omega = 1.0;
                rn = start_iteration(c, AB, AL, AC, AR, AT, S, X, r, rhat, p, v, rho_next);
                if (!std::isfinite(rn)) continue;  // the next pass meets it as a second breakdown
                if (rn < kStartBound) break;
                continue;
            }

            const BicgNext next = bicg_stopping_test(rn, r0n, it);
            if (next == BicgNext::pass_again) continue;
            // A solve stagnating above the absolute bound is cut off; the
            // iterate reached is kept and the step goes on with it.
            if (next == BicgNext::cut_off && c.mpicomm.myid == 0) {
                fmt::out((fmt::Line() << "bi-cgstab: no convergence at itf=" << c.scaglo.itf << "after" << it
                                      << "passes, residual=" << rn)
                             .str());
            }
            break;
        }
        MPI_Barrier(c.mpicomm.comm3d);
    }
    c.bicg.passes = it;
    solver_halo_exchange(c, X);
}

}  // namespace hc
