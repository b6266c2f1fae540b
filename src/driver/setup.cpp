// Fixed coefficient fields built once from the configuration, the grid and
// the masks: wet area per level, relaxation rates, starting lateral
// viscosities and the extra vertical viscosity.
#include "driver/setup.hpp"

#include <algorithm>
#include <cmath>

#include "driver/driver.hpp"

namespace hc {

double tile_wet_area(const Ctx& c, int k) {
    const auto& in = c.bathyglo.IN;
    const auto& m = c.metricglo;
    double sum = 0.0;
    for (int j = 2; j <= 49; ++j)
        for (int i = 2; i <= 81; ++i) sum += static_cast<double>(in(i, j, k)) * (m.DX(j) * m.DY(j));
    return sum;
}

void set_area(Ctx& c) {
    for (int k = 1; k <= KM; ++k) {
        double sum = tile_wet_area(c, k);
        c.mpicomm.ierr = MPI_Allreduce(&sum, c.metricglo.A.at(k), 1, MPI_DOUBLE, MPI_SUM, c.mpicomm.comm3d);
    }
}

double nudging_taper(double y, double y_south) {
    if (y >= 83.0 || y <= -69.5) return 1.0;
    if (y >= 81.0 && y < 83.0) return std::exp(-0.275 * std::fabs((y - 83.0) / (y - y_south)));
    if (y > -69.5 && y <= -67.5) return std::exp(-0.275 * std::fabs((y + 69.5) / (y - y_south)));
    return 0.0;
}

void set_ts_nudging(Ctx& c) {
    auto& n = c.nudging;
    const auto& kb = c.bathyglo.KB;
    const auto& ydeg = c.metricglo.YDEG;
    const double r = std::max(1.0 / (90.0 * c.controglo.daodt), 0.0);
    for (int j = 2; j <= 49; ++j) {
        const double f = nudging_taper(ydeg(j), ydeg(j - 1));
        for (int i = 2; i <= 81; ++i) {
            const bool shallow =
                kb(i, j) <= 1 || kb(i - 1, j) <= 1 || kb(i + 1, j) <= 1 || kb(i, j - 1) <= 1 || kb(i, j + 1) <= 1;
            n.T_NUDGE(i, j) = r;
            n.S_NUDGE(i, j) = shallow ? 0.0 : r;
            const double h = shallow ? 0.0 : r * f;
            for (int k = 1; k <= KMP1; ++k) n.HMEAN_NUDGE(i, j, k) = h;
        }
    }
}

namespace {

struct Spot {
    double x0, y0;
};
// Centres in degrees (single-precision values widened), in the order of
// their weights: 5.0e5 for the first two, 2.0e6 for the next five, 1.0e6
// for the last three.
constexpr Spot kSpots[10] = {
    {109.5, 15.5},
    {114.5, -9.5},
    {300.8999938964844, 45.11000061035156},
    {298.70001220703125, 43.68000030517578},
    {276.20001220703125, 56.66999816894531},
    {181.6999969482422, 64.22000122070313},
    {164.8000030517578, 58.849998474121094},
    {142.3000030517578, 56.66999816894531},
    {143.39999389648438, 45.11000061035156},
    {135.60000610351563, 42.209999084472656},
};

}  // namespace

double lateral_enhancement(int Jg, double x, double y) {
    // Southern and northern walls, in single precision.
    const int ds = Jg - 2, dn = 289 - Jg;
    const float wall = 1.0e6f * (std::exp(-0.001f * static_cast<float>(ds * ds)) +
                                 std::exp(-0.001f * static_cast<float>(dn * dn)));
    const double W = static_cast<double>(wall);
    const double Q = std::exp(-(0.0010000000474974513 * y) * y);
    double G[10];
    for (int n = 0; n < 10; ++n) {
        const double dx = x - kSpots[n].x0, dy = y - kSpots[n].y0;
        G[n] = std::exp(-0.009999999776482582 * (dx * dx + dy * dy));
    }
    return 2.0e6 * (Q + G[2] + G[3] + G[4] + G[5] + G[6]) + (1.0e6 * (G[7] + G[8] + G[9]) + (5.0e5 * (G[0] + G[1]) + W));
}

void set_lateral_mixing(Ctx& c) {
    auto& f = c.filterglo;
    const auto& m = c.metricglo;
    const double dm0 = c.controglo.dm0;
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) {
            const double d = dm0 + lateral_enhancement(48 * c.mpicomm.myidy + j, m.XDEG(i), m.YDEG(j));
            for (int k = 1; k <= KM; ++k) {
                f.DMX(i, j, k) = d;
                f.DMY(i, j, k) = d;
            }
        }
}

double floor_depth(const Ctx& c, int kb) { return c.zfsglo.Z(2 * kb + 1); }

double centre_depth(const Ctx& c, int kb) { return c.zfsglo.Z(std::max(2 * kb, 1)); }

void set_extra_vertical_eddy_viscosity(Ctx& c) {
    const auto& kb = c.bathyglo.KB;
    const auto& m = c.metricglo;
    const auto& z = c.zfsglo.Z;
    auto& add = c.tauglo.ADD;
    for (int j = 2; j <= 49; ++j)
        for (int i = 2; i <= 81; ++i) {
            const int ii = std::min(std::max(i, 3), 80), jj = std::min(std::max(j, 3), 48);
            const double H = floor_depth(c, kb(ii, jj));
            const double sx = (centre_depth(c, kb(ii + 1, jj)) - centre_depth(c, kb(ii - 1, jj))) * m.ODX(jj);
            const double sy = (centre_depth(c, kb(ii, jj + 1)) - centre_depth(c, kb(ii, jj - 1))) * m.ODY(jj);
            const double s = 5.0 * std::sqrt(sx * sx + sy * sy);
            const double q = m.YDEG(jj) / (m.YDEG(jj + 1) - m.YDEG(jj));
            const double top = 0.5 * std::exp(-std::min(10.0, 0.00019999999494757503 * H) - (0.009999999776482582 * q) * q);
            for (int k = 1; k <= KMM1; ++k) {
                const double d = H - z(2 * k + 1);
                add(i - 1, j - 1, k) =
                    (top + c.windmxglo.vbk(k)) + std::min(5.0, s * std::exp(-(9.99999993922529e-09 * d) * d));
            }
        }
}

}  // namespace hc
