// The elliptic solvers of the surface-pressure equation.
#pragma once

#include "var/state.hpp"

namespace hc {

using ATPlane = Mat<double, NXI, NYI + 1>;  // the north coefficient AT, 80 x 49

// Selects the solver named by lsolver (and has its coefficients read, or for
// the marching solver built).
void init_solver(Ctx& c);

// BiCGStab with the block SIP preconditioner (lsolver = 2).
void p_bicgstab_le(Ctx& c, IPlane& AB, IPlane& AL, IPlane& AC, IPlane& AR, ATPlane& AT, IPlane& S, Plane& X,
                   IPlane& cb, IPlane& cl, IPlane& cc, IPlane& cr, IPlane& ct, Plane& r, Plane& rhat, Plane& p,
                   Plane& v, Plane& s, Plane& t, Plane& y, Plane& z);
// B = A X on the interior, after the exchange of X's halo lines but its four
// corners (in place; the stencil reads no corner).
void p_sqprod(Ctx& c, IPlane& AB, IPlane& AL, IPlane& AC, IPlane& AR, ATPlane& AT, Plane& X, Plane& B);
// BH = M^-1 applied to the input on the interior; BH's halo is the input's.
void p_sipsqelim(IPlane& cb, IPlane& cl, IPlane& cc, IPlane& cr, IPlane& ct, Plane& in, Plane& BH);
// The two other sweeps of the same contract (uncalled).
void p_sqelim(IPlane& unused1, IPlane& unused2, IPlane& cc, IPlane& cr, IPlane& ct, Plane& in, Plane& BH);
void p_lusqelim(IPlane& cb, IPlane& cl, IPlane& cc, IPlane& cr, IPlane& ct, Plane& in, Plane& BH);
// result = global sum of the interior products A1 A2, on every process.
void p_inprod(Ctx& c, Plane& A1, Plane& A2, double& result);
// One-point halo exchange of a solver plane: columns, then rows, tag 1.
void solver_halo_exchange(Ctx& c, Plane& X);
// Passes of a BiCGStab solve that stagnates above the absolute bound.
inline constexpr int kBicgMaxPasses = 10000;
// Single-precision bounds of the BiCGStab stopping test, widened to double.
inline constexpr double kBicgAbsBound = 9.999999717180685e-10;   // 1.0e-9
inline constexpr double kBicgRelBound = 0.0010000000474974513;   // 1.0e-3

// The stopping test after pass `it` with residual norm rn (r0n at the start):
// above the absolute bound another pass, up to the pass cap; at or below it,
// another pass while the relative bound is not met and `it` is no multiple of
// 1000. Both bounds count as met when equalled.
enum class BicgNext { pass_again, converged, cut_off };
inline BicgNext bicg_stopping_test(double rn, double r0n, i32 it) {
    if (rn > kBicgAbsBound) return it < kBicgMaxPasses ? BicgNext::pass_again : BicgNext::cut_off;
    if (rn / r0n > kBicgRelBound && it % 1000 != 0) return BicgNext::pass_again;
    return BicgNext::converged;
}

// The marching solver (lsolver = 1); rep2 is rep without the timers.
// The sum over a process column of six rows of n values, v[r] the row of
// process row r, into out, in the order of a binomial tree rooted at process
// row `root`: with w_k = v[(root + k) mod 6], (w0 + ((w1 + w3) + w5)) +
// (w2 + w4). This is the order in which Open MPI's reduction with the sum
// over a column of six processes (`commy`) adds its operands; the marching
// solver's corrections, once such reductions, keep it.
void column_sum(const double* const* v, int root, int n, double* out);
void rep(Ctx& c, IPlane& AL, IPlane& AB, IPlane& AC, IPlane& AR, ATPlane& AT, RinvSlabs& RINV, Rinv1Slabs& RINV1,
         Mat<double, NX, 12>& DUM0, EvpqRow& evpq, Vec<double, NX>& evpe, EvpgRow& evpg, IPlane& S, Plane& X,
         Vec<i32, 12>& IE);
void rep2(Ctx& c, IPlane& AL, IPlane& AB, IPlane& AC, IPlane& AR, ATPlane& AT, RinvSlabs& RINV, Rinv1Slabs& RINV1,
          Mat<double, NX, 12>& DUM0, EvpqRow& evpq, Vec<double, NX>& evpe, EvpgRow& evpg, IPlane& S, Plane& X,
          Vec<i32, 12>& IE);
// The memory the processes of a process row share for the marching solver's
// corrected rows and the S and X of a solve's start (collective over the row;
// once per run, a later call keeps what the first opened). Where the row's
// processes cannot share memory nothing is opened: S and X are gathered over
// the row and each process corrects the whole row itself; the values are the
// same.
void open_row_share(Ctx& c);
void close_row_share(Ctx& c);
// IE and the influence matrices RINV, RINV1 of the marching solver, from the
// coefficients in block sevp (collective over all 24 processes).
void build_marching_matrices(Ctx& c);

// The five-point surface-pressure operator of one tile, from the tile's masks
// (KB, IU, IV, IU0, IV0, halo rows and columns included), metrics (ODX, OCS,
// ODY, CSV, ODYV), depths (ODZ), process row (myidy: the walls of rows 0 and
// 5) and run parameters (lfsrf, g, odt, dt) as the context holds them:
// writes AL, AB, AC, AR (80 x 48) and AT (80 x 49) of block sevp.
// land_sheet: give every closed face a thin sheet of the surface layer, so
// that AT is nonzero at every marched point (the marching solver's variant);
// otherwise closed faces count for nothing and X on land follows its
// neighbours (the BiCGStab variant written to evp.nc). docs/surface-pressure.md.
void build_surface_pressure_operator(Ctx& c, bool land_sheet);
// The free-surface term added to AC on wet rows: odt / (g * tau), tau the
// time between two updates of P0 (one step, dt / 2); 0 with the rigid lid.
double free_surface_term(const Ctx& c);
// Factors cl, cb, cc, cr, ct of the block SIP preconditioner of the tile,
// from AL, AB, AC, AR, AT of block sevp (Stone's parameter alpha; 0 gives
// the plain incomplete factorisation).
void build_sip_factors(Ctx& c, double alpha);
// Stone's parameter of the factors written to evp.nc.
inline constexpr double kSipAlpha = 0.9;

}  // namespace hc
