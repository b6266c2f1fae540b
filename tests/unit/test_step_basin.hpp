// A flat-bottomed basin for the time step's tests: water at every point and
// level, every face open except the southern and northern walls of the
// outer process rows, 40 levels of 50 m, mid-latitude metrics.
#pragma once

#include <cmath>

#include "var/state.hpp"

namespace hc::test {

inline void make_step_basin(Ctx& c, int myidy) {
    auto& m = c.mpicomm;
    m.myidy = myidy;
    m.jbeg = myidy == 0 ? 2 : 1;
    m.jend = myidy == LASTROW ? 48 : 49;
    c.controglo.g = 980.6;
    c.controglo.dt = 3600.0;
    c.controglo.lfsrf = 1;
    auto& z = c.zfsglo;
    const double dz = 5000.0;
    for (int k = 1; k <= KM; ++k) {
        z.Z(2 * k) = (k - 0.5) * dz;
        z.Z(2 * k + 1) = k * dz;
        z.ODZ(k) = 1.0 / dz;
    }
    z.Z(1) = 0.0;
    for (int k = 1; k <= KMP1; ++k) z.ODZW(k) = 1.0 / dz;
    auto& mt = c.metricglo;
    const double pi = 3.14159265358979323846, rad = 6.371e8;
    const double dy = rad * 0.625 * pi / 180.0, dlon = 1.125 * pi / 180.0;
    for (int j = 1; j <= NY; ++j) {
        const double lat = (-80.0 + 0.625 * (48 * myidy + j - 1.5)) * pi / 180.0;
        mt.cs(j) = std::cos(lat);
        mt.OCS(j) = 1.0 / mt.cs(j);
        mt.DX(j) = rad * mt.cs(j) * dlon;
        mt.ODX(j) = 1.0 / mt.DX(j);
        mt.DY(j) = dy;
        mt.ODY(j) = 1.0 / dy;
        if (j < NY) {
            mt.CSV(j) = std::cos(lat + 0.3125 * pi / 180.0);
            mt.ODYV(j) = 1.0 / dy;
        }
    }
    auto& b = c.bathyglo;
    b.KB.fill(KM);
    b.IN.fill(1);
    b.IU.fill(1);
    b.IV.fill(1);
    b.IU0.fill(1);
    b.IV0.fill(1);
    b.IW.fill(1);
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) b.IW(i, j, KMP1) = 0;
    for (int i = 1; i <= NX; ++i) {
        if (myidy == 0) {
            b.IV0(i, 0) = b.IV0(i, 1) = 0;
            for (int k = 1; k <= KM; ++k) b.IV(i, 0, k) = b.IV(i, 1, k) = 0;
        }
        if (myidy == LASTROW) {
            b.IV0(i, 49) = b.IV0(i, 50) = 0;
            for (int k = 1; k <= KM; ++k) b.IV(i, 49, k) = b.IV(i, 50, k) = 0;
        }
    }
}

}  // namespace hc::test
