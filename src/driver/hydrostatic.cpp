// Density, hydrostatic pressure and the pressure gradient of one level.
//
// The equation of state keeps its coefficients as the single-precision values
// they were fitted in, widened to double; its sums go in the grouping written
// below. The pressure gradient interpolates the masked face differences of the
// pressure to the cell centre with fourth-order weights (7, 7, -1, -1) / 12,
// falling back to the plain mean of the two faces when either face of the
// cell is closed. The stencil reaches one face beyond the tile: that face
// difference comes from the neighbour, sent straight from its XP column or YP
// row into ours.
#include "comm/comm.hpp"
#include "driver/driver.hpp"
#include "driver/step.hpp"

namespace hc {

double insitu_density(double t, double s, double zc) {
    const double T = t < -1.7999999523162842 ? -1.7999999523162842 : t;
    const double S = s > 41.0 ? 41.0 : (s < 0.0 ? 0.0 : s);
    // Pressure in bar from the depth of the level centre, 1 bar per 1000 cm.
    const double p1 = ((zc * 0.0010000000474974513 + 5884.81689453125) +
                       ((0.00042911330820061266 * T - 0.3191477060317993) * T + 39.803733825683594) * T) +
                      2.6126277446746826 * S;
    const double d = (((11.51587963104248 - T * 0.04633103311061859) * T + 1747.450927734375) -
                      (T * 0.013539849780499935 + 3.8542964458465576) * S) +
                     0.7028422951698303 * p1;
    return p1 / d;
}

void solve_hydrostatic_equation(Ctx& c) {
    auto& b = c.bglo;
    auto& z = c.zfsglo;
    for (int k = 1; k <= KM; ++k) {
        const double zc = z.Z(2 * k);
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) b.RHO(i, j, k) = insitu_density(b.T2(i, j, k), b.S2(i, j, k), zc);
    }
    // Surface pressure carried to the first level's centre with that level's
    // density, then the mean density of each pair of levels over the
    // distance between their centres. Land points are integrated as well.
    const double g = c.controglo.g;
    const double gz = g * z.Z(2);
    for (int j = 2; j <= 49; ++j)
        for (int i = 2; i <= 81; ++i) b.P(i, j, 1) = b.RHO(i, j, 1) * gz + b.P0(i, j);
    for (int k = 1; k <= KMM1; ++k) {
        const double h = 0.5 * g / z.ODZW(k + 1);
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) b.P(i, j, k + 1) = (b.RHO(i, j, k) + b.RHO(i, j, k + 1)) * h + b.P(i, j, k);
    }
}

void pressure_x_differences(Ctx& c, int K) {
    auto& P = c.bglo.P;
    auto& IU = c.bathyglo.IU;
    auto& XP = c.blank.XP;
    for (int j = 2; j <= 49; ++j)
        for (int i = 1; i <= 81; ++i) XP(i, j) = double(IU(i, j, K)) * (P(i + 1, j, K) - P(i, j, K));
}

void pressure_y_differences(Ctx& c, int K) {
    auto& P = c.bglo.P;
    auto& IV = c.bathyglo.IV;
    auto& YP = c.blank.YP;
    for (int j = c.mpicomm.jbeg; j <= c.mpicomm.jend; ++j)
        for (int i = 2; i <= 81; ++i) YP(i, j) = double(IV(i, j, K)) * (P(i, j + 1, K) - P(i, j, K));
}

void pressure_gradient_terms(Ctx& c, int K) {
    auto& bt = c.bathyglo;
    auto& XP = c.blank.XP;
    auto& YP = c.blank.YP;
    auto& PX = c.bglo.PX;
    auto& PY = c.bglo.PY;
    if (K == 1) {
        // The surface masks close faces of the first level, the lines
        // received from the neighbours included.
        for (int j = 2; j <= 49; ++j)
            for (int i = 0; i <= 82; ++i) XP(i, j) *= double(bt.IU0(i, j));
        for (int j = 0; j <= 50; ++j)
            for (int i = 2; i <= 81; ++i) YP(i, j) *= double(bt.IV0(i, j));
    }
    for (int j = 2; j <= 49; ++j)
#pragma GCC ivdep
        for (int i = 2; i <= 81; ++i) {
            PX(i, j) = (XP(i, j) + XP(i - 1, j)) * 6.0;
            PY(i, j) = (YP(i, j) + YP(i, j - 1)) * 6.0;
        }
    for (int j = 2; j <= 49; ++j)
#pragma GCC ivdep
        for (int i = 2; i <= 81; ++i)
            PX(i, j) += (((XP(i, j) + XP(i - 1, j)) - XP(i + 1, j)) - XP(i - 2, j)) *
                        double(bt.IU(i - 1, j, K) * bt.IU(i, j, K));
    // At the southern and northern walls the correction stops one row short:
    // the wall face is zero and the cell next to it keeps the plain mean.
    for (int j = c.mpicomm.jbeg + 1; j <= c.mpicomm.jend; ++j)
#pragma GCC ivdep
        for (int i = 2; i <= 81; ++i)
            PY(i, j) += (((YP(i, j) + YP(i, j - 1)) - YP(i, j + 1)) - YP(i, j - 2)) *
                        double(bt.IV(i, j - 1, K) * bt.IV(i, j, K));
    for (int j = 2; j <= 49; ++j)
        for (int i = 2; i <= 81; ++i) {
            PX(i, j) *= c12;
            PY(i, j) *= c12;
        }
}

void compute_pressure_gradient(Ctx& c, i32& K) {
    auto& m = c.mpicomm;
    auto& w = c.levelwork;
    auto& XP = c.blank.XP;
    auto& YP = c.blank.YP;
    // The neighbours' lines of level K, as exchange_level_lines received
    // them: XP column 2 of the east neighbour for i = 82, column 80 of the
    // west neighbour for i = 0, YP row 2 of the north neighbour for j = 50,
    // row 48 of the south neighbour for j = 0.
    pressure_x_differences(c, K);
    for (int j = 1; j <= NY; ++j) {
        XP(82, j) = w.west_r(j, 1, K);
        XP(0, j) = w.east_r(j, 1, K);
    }
    pressure_y_differences(c, K);
    if (m.inorth != MPI_PROC_NULL)
        for (int i = 1; i <= NX; ++i) YP(i, 50) = w.south_r(i, 1, K);
    if (m.isouth != MPI_PROC_NULL)
        for (int i = 1; i <= NX; ++i) YP(i, 0) = w.north_r(i, 1, K);
    pressure_gradient_terms(c, K);
}

}  // namespace hc
