// The surface-pressure operator of one tile and the block SIP factors.
//
// One pass of the surface-pressure correction adds -ODX(j) (X(i+1,j) - X(i,j))
// to every u face at level 1 and, times IU, at the levels below (v faces
// likewise with ODYV and IV). The vertical integral of continuity that forms
// the right-hand side (W at the bottom with the rigid lid, -W at the surface
// with the free surface) then changes by minus the depth-weighted Laplacian of
// X; the operator below is that Laplacian, so one exact solve cancels the
// right-hand side. docs/surface-pressure.md gives the derivation and choices.
#include <cmath>

#include "solver/solver.hpp"

namespace hc {

namespace {

// Share of the surface layer that a closed face carries in the marching
// solver's operator. Each pass of the correction moves the surface layer of
// every face, and the next pass takes the flow off the closed ones again, so
// an operator that counts a closed face with weight w leaves a right-hand
// side of about w / (depth of the coastal column) for the next pass: with the
// whole surface layer (1) the passes shrank the flow on closed faces by only
// 0.7 a pass and stopped at nine. A thinner sheet closes them in three to six
// passes, but the marching divides by it at coasts, so it costs digits: at
// 0.001 a solve kept too few of them. 0.01 sits between the two limits.
constexpr double kLandSheet = 0.01;

// Depth moved by the correction of u face i (between cells i and i+1) of
// row j: the surface layer on the open faces, plus every open level below;
// with land_sheet a closed face carries the thin sheet instead of nothing.
double u_face_depth(const Ctx& c, int i, int j, bool land_sheet) {
    const auto& b = c.bathyglo;
    const auto& odz = c.zfsglo.ODZ;
    const double s = b.IU0(i, j) ? 1.0 : (land_sheet ? kLandSheet : 0.0);
    double h = (1.0 / odz(1)) * s;
    for (int k = 2; k <= KM; ++k) h += double(b.IU(i, j, k)) * (1.0 / odz(k));
    return h;
}

// Depth moved by the correction of v face j (between rows j and j+1); the two
// wall faces (face 1 of the southern process row, face 49 of the northern)
// are never corrected.
double v_face_depth(const Ctx& c, int i, int j, bool land_sheet) {
    const int p = c.mpicomm.myidy;
    if ((p == 0 && j == 1) || (p == LASTROW && j == NYI + 1)) return 0.0;
    const auto& b = c.bathyglo;
    const auto& odz = c.zfsglo.ODZ;
    const double s = b.IV0(i, j) ? 1.0 : (land_sheet ? kLandSheet : 0.0);
    double h = (1.0 / odz(1)) * s;
    for (int k = 2; k <= KM; ++k) h += double(b.IV(i, j, k)) * (1.0 / odz(k));
    return h;
}

// Depth of a land row's couplings in the BiCGStab variant: the full depth
// on every face but the walls, so that the row has the ocean rows' scale.
double land_face_depth(const Ctx& c, int j_face, double hfull) {
    const int p = c.mpicomm.myidy;
    if ((p == 0 && j_face == 1) || (p == LASTROW && j_face == NYI + 1)) return 0.0;
    return hfull;
}

// North coefficient of tile row j (1..49) at tile column i.
double north_coefficient(const Ctx& c, int i, int j, bool land_sheet, double hfull) {
    const auto& m = c.metricglo;
    const double cj = m.OCS(j) * m.ODY(j);
    const double h = !land_sheet && c.bathyglo.KB(i, j) < 1 ? land_face_depth(c, j, hfull)
                                                             : v_face_depth(c, i, j, land_sheet);
    return -cj * m.CSV(j) * m.ODYV(j) * h;
}

}  // namespace

double free_surface_term(const Ctx& c) {
    if (c.controglo.lfsrf != 1) return 0.0;
    // Time between two updates of P0: one step, half the span dt of a
    // leapfrog update. The calendar's 86400 / daodt equals it only when
    // calendar and physics run in step.
    const double tau = 0.5 * c.controglo.dt;
    return c.scaglo.odt / (c.controglo.g * tau);
}

void build_surface_pressure_operator(Ctx& c, bool land_sheet) {
    auto& e = c.sevp;
    const auto& m = c.metricglo;
    const auto& odz = c.zfsglo.ODZ;
    const double eps = free_surface_term(c);
    double hfull = 0.0;
    for (int k = 1; k <= KM; ++k) hfull += 1.0 / odz(k);

    for (int i = 2; i <= NX - 1; ++i) e.AT(i - 1, 1) = north_coefficient(c, i, 1, land_sheet, hfull);
    for (int j = 2; j <= NY - 1; ++j) {
        const double cj = m.OCS(j) * m.ODY(j);
        const double odx2 = m.ODX(j) * m.ODX(j);
        const double cs = m.CSV(j - 1) * m.ODYV(j - 1);
        const double cn = m.CSV(j) * m.ODYV(j);
        for (int i = 2; i <= NX - 1; ++i) {
            const bool wet = c.bathyglo.KB(i, j) >= 1;
            const bool land_row = !land_sheet && !wet;
            // A land row of the BiCGStab variant makes X on land the mean of
            // its neighbours, ocean or land, so that the surface correction
            // on closed coastal faces is a local gradient of X rather than X
            // itself; no ocean row couples to land (its faces are closed).
            const double hw = land_row ? hfull : u_face_depth(c, i - 1, j, land_sheet);
            const double he = land_row ? hfull : u_face_depth(c, i, j, land_sheet);
            const double hs = land_row ? land_face_depth(c, j - 1, hfull) : v_face_depth(c, i, j - 1, land_sheet);
            double al = -odx2 * hw;
            double ar = -odx2 * he;
            double ab = -cj * cs * hs;
            double at = north_coefficient(c, i, j, land_sheet, hfull);
            double ac = -(al + ar + ab + at);
            if (wet) {
                ac += eps;
                // A wet column with every face closed under the rigid lid has
                // no equation of its own: keep it as an identity row.
                if (ac == 0.0) ac = (odx2 * 2.0 + cj * (cs + cn)) * hfull;
            }
            e.AL(i - 1, j - 1) = al;
            e.AR(i - 1, j - 1) = ar;
            e.AB(i - 1, j - 1) = ab;
            e.AT(i - 1, j) = at;
            e.AC(i - 1, j - 1) = ac;
        }
    }
}

void build_sip_factors(Ctx& c, double alpha) {
    auto& e = c.sevp;
    // Factors of the point (i, j), 1-based interior indices: lw, ls the lower
    // couplings to the west and south, d the pivot, ue, un the upper couplings
    // to the east and north. Couplings that leave the tile are dropped.
    IPlane& lw = e.cl;  // work planes, reordered into the stored factors below
    IPlane& ls = e.cb;
    IPlane& ue = e.cr;
    IPlane& un = e.ct;
    IPlane& d = e.cc;
    for (int j = 1; j <= NYI; ++j) {
        for (int i = 1; i <= NXI; ++i) {
            const double unw = i > 1 ? un(i - 1, j) : 0.0;
            const double uew = i > 1 ? ue(i - 1, j) : 0.0;
            const double ues = j > 1 ? ue(i, j - 1) : 0.0;
            const double uns = j > 1 ? un(i, j - 1) : 0.0;
            const double w = e.AL(i, j) / (1.0 + alpha * unw);
            const double s = e.AB(i, j) / (1.0 + alpha * ues);
            const double dp = e.AC(i, j) + alpha * (w * unw + s * ues) - w * uew - s * uns;
            lw(i, j) = w;
            ls(i, j) = s;
            d(i, j) = dp;
            ue(i, j) = i < NXI ? (e.AR(i, j) - alpha * s * ues) / dp : 0.0;
            un(i, j) = j < NYI ? (e.AT(i, j + 1) - alpha * w * unw) / dp : 0.0;
        }
    }
    // Each factor is stored at the point that passes its value on: cl, cb
    // from P to its east and north neighbours, cr, ct to its west and south.
    for (int j = 1; j <= NYI; ++j) {
        for (int i = 1; i <= NXI; ++i) {
            d(i, j) = 1.0 / d(i, j);
            lw(i, j) = i < NXI ? lw(i + 1, j) : 0.0;  // cl(P) = lw(east of P)
        }
    }
    for (int j = 1; j <= NYI; ++j) {
        for (int i = 1; i <= NXI; ++i) ls(i, j) = j < NYI ? ls(i, j + 1) : 0.0;  // cb(P) = ls(north of P)
    }
    for (int j = NYI; j >= 1; --j) {
        for (int i = NXI; i >= 1; --i) {
            ue(i, j) = i > 1 ? ue(i - 1, j) : 0.0;  // cr(P) = ue(west of P)
            un(i, j) = j > 1 ? un(i, j - 1) : 0.0;  // ct(P) = un(south of P)
        }
    }
}

}  // namespace hc
