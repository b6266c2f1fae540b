// A small ocean on one tile for the solver's unit tests: a deep basin, a
// continent with a one-level shelf, an island, a two-level strait, metrics of
// a mid-latitude process row, 40 levels from 10 m to 300 m.
#pragma once

#include <cmath>

#include "var/state.hpp"

namespace hc::test {

inline void make_solver_tile(Ctx& c, int myidy, int lfsrf) {
    c.mpicomm.myidy = myidy;
    c.controglo.lfsrf = lfsrf;
    c.controglo.g = 980.6;
    c.controglo.daodt = 48.0;
    c.controglo.dt = 3600.0;
    c.scaglo.odt = 1.0 / c.controglo.dt;
    for (int k = 1; k <= KM; ++k) c.zfsglo.ODZ(k) = 1.0 / (1000.0 + 29000.0 * (k - 1) / 39.0);
    const double pi = 3.14159265358979323846, rad = 6.371e8;
    const double dy = rad * 0.5625 * pi / 180.0, dlon = 1.125 * pi / 180.0;
    for (int j = 1; j <= NY; ++j) {
        const double lat = (-75.9375 + 0.5625 * (48 * myidy + j - 1.5)) * pi / 180.0;
        const double latv = lat + 0.5 * 0.5625 * pi / 180.0;
        auto& m = c.metricglo;
        m.cs(j) = std::cos(lat);
        m.OCS(j) = 1.0 / m.cs(j);
        m.DX(j) = rad * m.cs(j) * dlon;
        m.ODX(j) = 1.0 / m.DX(j);
        m.DY(j) = dy;
        m.ODY(j) = 1.0 / dy;
        if (j <= NY - 1) {
            m.CSV(j) = std::cos(latv);
            m.ODYV(j) = 1.0 / dy;
        }
    }
    auto& b = c.bathyglo;
    for (int j = 1; j <= NY; ++j) {
        for (int i = 1; i <= NX; ++i) {
            int kb = 40;
            if (i >= 30 && i <= 45 && j >= 10 && j <= 35) kb = 0;                  // continent
            if ((i == 29 || i == 46) && j >= 10 && j <= 35) kb = 1;                // its shelf
            if (i >= 60 && i <= 62 && j >= 20 && j <= 22) kb = 0;                  // island
            if (i >= 30 && i <= 45 && j == 22) kb = 2;                              // strait
            if ((myidy == 0 && j == 1) || (myidy == LASTROW && j == NY)) kb = 0;  // wall halo rows
            b.KB(i, j) = i16(kb);
        }
    }
    for (int k = 1; k <= KM; ++k) {
        for (int j = 1; j <= NY; ++j) {
            for (int i = 1; i <= NX; ++i) b.IN(i, j, k) = i16(b.KB(i, j) >= k);
        }
        for (int j = 1; j <= NY; ++j) {
            for (int i = 1; i <= NX - 1; ++i) b.IU(i, j, k) = i16(b.IN(i, j, k) * b.IN(i + 1, j, k));
        }
        for (int j = 1; j <= NY - 1; ++j) {
            for (int i = 1; i <= NX; ++i) b.IV(i, j, k) = i16(b.IN(i, j, k) * b.IN(i, j + 1, k));
        }
    }
    for (int j = 1; j <= NY; ++j) {
        for (int i = 1; i <= NX - 1; ++i) b.IU0(i, j) = b.IU(i, j, 1);
    }
    for (int j = 1; j <= NY - 1; ++j) {
        for (int i = 1; i <= NX; ++i) b.IV0(i, j) = b.IV(i, j, 1);
    }
}

}  // namespace hc::test
