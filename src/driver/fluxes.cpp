// Advection and diffusion of one level in flux form (stage 7 of the step).
//
// For each level from the surface down: the pressure gradient, the flux
// through the bottom face of every cell (whose value serves again as the top
// flux of the level below, so two slots suffice), the x-face and y-face
// fluxes, then X2 := X1 - dt * divergence for U, V, S, T and C. Face values
// are fourth-order interpolations of the current level X2, reduced to the
// plain mean where either neighbouring face is closed; diffusion uses the
// older level X1. The stencils reach two cells across a tile edge: the one
// extra column or row of every level, with the pressure differences' lines,
// comes from the neighbour in one transfer per direction before the first
// level and is put per level into a work plane of SCR, never into the field's
// halo.
#include <span>
#include <type_traits>

#include "comm/comm.hpp"
#include "driver/step.hpp"

namespace hc {

namespace {

// Coefficient of the vertical flux relative to HV (the single-precision 0.1
// for salinity).
constexpr double kSaltVertical = 0.10000000149011612;

enum class Kind { momentum, salt, tracer };

// One of the five fields as the flux routines see it.
struct Advected {
    Field* X1;
    Field* X2;
    Field* XLF;
    FluxSet* F;
    int face;  // SCR plane of the face values
    int xh;    // SCR plane of the x second halo (columns 3 and 80)
    int yh;    // SCR plane of the y second halo (rows 3 and 48)
    Kind kind;
};

struct Five {
    Advected f[NADVECTED];
    explicit Five(Ctx& c) {
        auto& b = c.bglo;
        auto& x = c.flxglo;
        f[0] = {&b.U1, &b.U2, &b.ULF, &x.U, 1, 5, 9, Kind::momentum};
        f[1] = {&b.V1, &b.V2, &b.VLF, &x.V, 2, 6, 10, Kind::momentum};
        f[2] = {&b.S1, &b.S2, &b.SLF, &x.S, 3, 7, 11, Kind::salt};
        f[3] = {&b.T1, &b.T2, &b.TLF, &x.T, 4, 8, 12, Kind::tracer};
        f[4] = {&b.C1, &b.C2, &b.CLF, &x.C, 13, 14, 15, Kind::tracer};
    }
};

// Face value of the line q(m-1), q(m), q(m+1), q(m+2) between m and m+1:
// with M = 1 (both neighbouring faces open) (7 (q(m) + q(m+1)) - q(m-1) -
// q(m+2)) / 12, with M = 0 the plain mean (times 12 c12).
inline double face_value(double qm1, double q0, double q1, double q2, double M) {
    double s = (q0 + q1) * 6.0;
    s = (((q0 - qm1) + q1) - q2) * M + s;
    return s * c12;
}

}  // namespace

void surface_vertical_flux(Ctx& c) {
    Five five(c);
    auto& W = c.cgridglo.W;
    const bool free_surface = c.controglo.lfsrf != 0;
    for (auto& a : five.f) {
        auto& XZ = a.F->XZ;
        auto& X2 = *a.X2;
        for (int j = 1; j <= NYI; ++j)
#pragma GCC ivdep
            for (int i = 1; i <= NXI; ++i) XZ(i, j, 1) = free_surface ? W(i + 1, j + 1, 1) * X2(i + 1, j + 1, 1) : 0.0;
    }
}

void copy_level_viscosity(Ctx& c, int k) {
    auto& d = c.filterglo;
    auto& bl = c.blank;
    for (int j = 1; j <= 50; ++j)
#pragma GCC ivdep
        for (int i = 1; i <= 81; ++i) bl.DHX(i, j) = d.DMX(i, j, k);
    for (int j = 1; j <= 49; ++j)
#pragma GCC ivdep
        for (int i = 1; i <= 82; ++i) bl.DHY(i, j) = d.DMY(i, j, k);
}

void vertical_fluxes_of_level(Ctx& c, int K, int KSLOT, int n0, int n1) {
    Five five(c);
    const std::span<Advected> fields(five.f + n0, five.f + n1);
    auto& SCR = c.scratchglo.SCR;
    auto& W = c.cgridglo.W;
    auto& IW = c.bathyglo.IW;
    if (K == KM) {
        // Nothing crosses the bottom of the model.
        for (auto& a : fields) {
            auto& XZ = a.F->XZ;
            for (int j = 1; j <= NYI; ++j)
#pragma GCC ivdep
                for (int i = 1; i <= NXI; ++i) XZ(i, j, KSLOT) = 0.0;
        }
        return;
    }
    // The fourth-order term needs the level above (taken from the filtered
    // level: X2 there already holds the new value) and the one two below;
    // next to the surface and to the bottom level the value is the plain mean.
    const bool fourth = K >= 2 && K <= KM - 2;
    for (auto& a : fields) {
        auto& X1 = *a.X1;
        auto& X2 = *a.X2;
        auto& XLF = *a.XLF;
        auto& XZ = a.F->XZ;
        const int p = a.face;
        for (int j = 2; j <= 49; ++j) {
            if (fourth) {
#pragma GCC ivdep
                for (int i = 2; i <= 81; ++i)
                    SCR(i, j, p) = face_value(XLF(i, j, K - 1), X2(i, j, K), X2(i, j, K + 1), X2(i, j, K + 2),
                                              double(IW(i, j, K) * IW(i, j, K + 2)));
            } else {
#pragma GCC ivdep
                for (int i = 2; i <= 81; ++i) SCR(i, j, p) = ((X2(i, j, K) + X2(i, j, K + 1)) * 6.0) * c12;
            }
        }
        auto& coef = a.kind == Kind::momentum ? c.bglo.EV : c.bglo.HV;
        // The salinity test is made once per field, so that the loop is
        // one expression per point.
        auto fluxes = [&](auto salt) {
            for (int j = 2; j <= 49; ++j)
#pragma GCC ivdep
                for (int i = 2; i <= 81; ++i) {
                    const double cf = salt ? coef(i - 1, j - 1, K) * kSaltVertical : coef(i - 1, j - 1, K);
                    XZ(i - 1, j - 1, KSLOT) = W(i, j, K + 1) * SCR(i, j, p) -
                                              ((X1(i, j, K + 1) - X1(i, j, K)) * cf) * double(IW(i, j, K + 1));
                }
        };
        if (a.kind == Kind::salt)
            fluxes(std::true_type{});
        else
            fluxes(std::false_type{});
    }
}

void exchange_level_lines(Ctx& c) {
    Five five(c);
    auto& m = c.mpicomm;
    auto& w = c.levelwork;
    auto& XP = c.blank.XP;
    auto& YP = c.blank.YP;
    // Nothing in the level loop changes P, nor X2 of a level before that
    // level's update, nor the rows of XP and YP that the differences leave
    // alone: the lines of every level are those the level would send.
    for (int k = 1; k <= KM; ++k) {
        pressure_x_differences(c, k);
        pressure_y_differences(c, k);
        for (int j = 1; j <= NY; ++j) {
            w.west_s(j, 1, k) = XP(2, j);
            w.east_s(j, 1, k) = XP(80, j);
        }
#pragma GCC ivdep
        for (int i = 1; i <= NX; ++i) {
            w.south_s(i, 1, k) = YP(i, 2);
            w.north_s(i, 1, k) = YP(i, 48);
        }
        for (int n = 0; n < 5; ++n) {
            auto& X2 = *five.f[n].X2;
            for (int j = 1; j <= NY; ++j) {
                w.west_s(j, n + 2, k) = X2(3, j, k);
                w.east_s(j, n + 2, k) = X2(80, j, k);
            }
#pragma GCC ivdep
            for (int i = 1; i <= NX; ++i) {
                w.south_s(i, n + 2, k) = X2(i, 3, k);
                w.north_s(i, n + 2, k) = X2(i, 48, k);
            }
        }
    }
    constexpr int ncol = int(Levelwork::Cols::size), nrow = int(Levelwork::Rows::size);
    // The rows were packed before any column arrived, so all four go at once.
    const LineTransfer t[4] = {{w.west_s.data(), m.iwest, w.west_r.data(), m.ieast, ncol},
                               {w.east_s.data(), m.ieast, w.east_r.data(), m.iwest, ncol},
                               {w.south_s.data(), m.isouth, w.south_r.data(), m.inorth, nrow},
                               {w.north_s.data(), m.inorth, w.north_r.data(), m.isouth, nrow}};
    transfer_round(c, t, 4, MPI_DOUBLE);
}

void second_halo_of_level(Ctx& c, int K) {
    Five five(c);
    auto& m = c.mpicomm;
    auto& w = c.levelwork;
    auto& SCR = c.scratchglo.SCR;
    // The east neighbour's column 3 stands for i = 83, the west neighbour's
    // column 80 for i = 0; the north neighbour's row 3 for j = 51, the south
    // neighbour's row 48 for j = 0. A missing neighbour leaves the row alone.
    for (int n = 0; n < 5; ++n) {
        const int xh = five.f[n].xh, yh = five.f[n].yh;
        for (int j = 1; j <= NY; ++j) {
            SCR(3, j, xh) = w.west_r(j, n + 2, K);
            SCR(80, j, xh) = w.east_r(j, n + 2, K);
        }
        if (m.inorth != MPI_PROC_NULL)
#pragma GCC ivdep
            for (int i = 1; i <= NX; ++i) SCR(i, 3, yh) = w.south_r(i, n + 2, K);
        if (m.isouth != MPI_PROC_NULL)
#pragma GCC ivdep
            for (int i = 1; i <= NX; ++i) SCR(i, 48, yh) = w.north_r(i, n + 2, K);
    }
}

void compute_vertical_fluxes(Ctx& c, i32& K, i32& KSLOT) {
    vertical_fluxes_of_level(c, K, KSLOT);
    second_halo_of_level(c, K);
}

void compute_longitudinal_fluxes(Ctx& c, i32& K, int n0, int n1) {
    Five five(c);
    auto& SCR = c.scratchglo.SCR;
    auto& U = c.cgridglo.U;
    auto& IU = c.bathyglo.IU;
    auto& ODX = c.metricglo.ODX;
    auto& DMX = c.filterglo.DMX;
    auto& DHX = c.blank.DHX;
    for (auto& a : std::span<Advected>(five.f + n0, five.f + n1)) {
        auto& X1 = *a.X1;
        auto& X2 = *a.X2;
        auto& XX = a.F->XX;
        const int p = a.face, h = a.xh;
        const bool momentum = a.kind == Kind::momentum;
        for (int j = 2; j <= 49; ++j) {
            // Faces 1 and 81 reach the neighbours' columns 80 and 3.
            SCR(1, j, p) = face_value(SCR(80, j, h), X2(1, j, K), X2(2, j, K), X2(3, j, K),
                                      double(IU(0, j, K) * IU(2, j, K)));
            for (int i = 2; i <= 80; ++i)
                SCR(i, j, p) = face_value(X2(i - 1, j, K), X2(i, j, K), X2(i + 1, j, K), X2(i + 2, j, K),
                                          double(IU(i - 1, j, K) * IU(i + 1, j, K)));
            SCR(81, j, p) = face_value(X2(80, j, K), X2(81, j, K), X2(82, j, K), SCR(3, j, h),
                                       double(IU(80, j, K) * IU(82, j, K)));
            const double odx = ODX(j);
            // The row of the viscosity the field uses, chosen once per row.
            const double* cf = momentum ? DMX.at(1, j, K) : DHX.at(1, j);
            auto flux = [&](int i) {
                XX(i, j - 1) = double(IU(i, j, K)) *
                               (U(i, j, K) * SCR(i, j, p) - (X1(i + 1, j, K) - X1(i, j, K)) * (odx * cf[i - 1]));
            };
            flux(1);  // alone, so that the run 2..81 has no remainder
#pragma GCC ivdep
            for (int i = 2; i <= 81; ++i) flux(i);
        }
    }
}

void compute_latitudinal_fluxes(Ctx& c, i32& K, int n0, int n1) {
    Five five(c);
    auto& SCR = c.scratchglo.SCR;
    auto& V = c.cgridglo.V;
    auto& IV = c.bathyglo.IV;
    auto& mt = c.metricglo;
    auto& DMY = c.filterglo.DMY;
    auto& DHY = c.blank.DHY;
    const int jb = c.mpicomm.jbeg, je = c.mpicomm.jend;
    // The wall faces outside jbeg..jend are never written: they stay zero.
    for (auto& a : std::span<Advected>(five.f + n0, five.f + n1)) {
        auto& X1 = *a.X1;
        auto& X2 = *a.X2;
        auto& XY = a.F->XY;
        const int p = a.face, h = a.yh;
        const bool momentum = a.kind == Kind::momentum;
        for (int j = jb; j <= je; ++j) {
            if (j == 1) {
#pragma GCC ivdep
                for (int i = 2; i <= 81; ++i)
                    SCR(i, j, p) = face_value(SCR(i, 48, h), X2(i, 1, K), X2(i, 2, K), X2(i, 3, K),
                                              double(IV(i, 0, K) * IV(i, 2, K)));
            } else if (j == 49) {
#pragma GCC ivdep
                for (int i = 2; i <= 81; ++i)
                    SCR(i, j, p) = face_value(X2(i, 48, K), X2(i, 49, K), X2(i, 50, K), SCR(i, 3, h),
                                              double(IV(i, 48, K) * IV(i, 50, K)));
            } else {
#pragma GCC ivdep
                for (int i = 2; i <= 81; ++i)
                    SCR(i, j, p) = face_value(X2(i, j - 1, K), X2(i, j, K), X2(i, j + 1, K), X2(i, j + 2, K),
                                              double(IV(i, j - 1, K) * IV(i, j + 1, K)));
            }
            const double csv = mt.CSV(j), odyv = mt.ODYV(j);
            const double* cf = momentum ? DMY.at(1, j, K) : DHY.at(1, j);
#pragma GCC ivdep
            for (int i = 2; i <= 81; ++i)
                XY(i - 1, j) = (double(IV(i, j, K)) * csv) *
                               (V(i, j, K) * SCR(i, j, p) - (X1(i, j + 1, K) - X1(i, j, K)) * (odyv * cf[i - 1]));
        }
    }
}

void flux_form_update(Ctx& c, int k, int kz, int ko, int n0, int n1) {
    Five five(c);
    auto& mt = c.metricglo;
    auto& IN = c.bathyglo.IN;
    auto& PX = c.bglo.PX;
    auto& PY = c.bglo.PY;
    const double dt = c.controglo.dt;
    const double odz = c.zfsglo.ODZ(k);
    // The field's form of the divergence (n = 0 with PX, n = 1 with PY) is
    // chosen once per field, so that the loop is one expression per point.
    auto update = [&](auto n, Advected& a) {
        auto& X1 = *a.X1;
        auto& X2 = *a.X2;
        auto& XX = a.F->XX;
        auto& XY = a.F->XY;
        auto& XZ = a.F->XZ;
        for (int j = 2; j <= 49; ++j) {
            const double odx = mt.ODX(j), ody = mt.ODY(j), cy = mt.OCS(j) * mt.ODY(j);
#pragma GCC ivdep
            for (int i = 2; i <= 81; ++i) {
                const double dx = XX(i, j - 1) - XX(i - 1, j - 1);
                const double dy = (XY(i - 1, j) - XY(i - 1, j - 1)) * cy;
                const double dz = (XZ(i - 1, j - 1, kz) - XZ(i - 1, j - 1, ko)) * odz;
                double r;
                if constexpr (n == 0)
                    r = (((dx + PX(i, j)) * odx) + dy) + dz;
                else if constexpr (n == 1)
                    r = (((dx * odx) + dy) + (ody * PY(i, j))) + dz;
                else
                    r = ((dx * odx) + dy) + dz;
                X2(i, j, k) = X1(i, j, k) - r * (double(IN(i, j, k)) * dt);
            }
        }
    };
    for (int n = n0; n < n1; ++n) {
        if (n == 0)
            update(std::integral_constant<int, 0>{}, five.f[0]);
        else if (n == 1)
            update(std::integral_constant<int, 1>{}, five.f[1]);
        else
            update(std::integral_constant<int, 2>{}, five.f[n]);
    }
}

void step_level_loop(Ctx& c) {
    surface_vertical_flux(c);
    exchange_level_lines(c);
    i32 kz = 2, ko = 1;
    for (i32 k = 1; k <= KM; ++k) {
        copy_level_viscosity(c, k);
        compute_pressure_gradient(c, k);
        second_halo_of_level(c, k);
        // Field by field: the fluxes and the update of a field read no other
        // field's results (each has its own SCR planes and flux set), and its
        // planes of the level are still in the cache for the next pass.
        for (int n = 0; n < NADVECTED; ++n) {
            vertical_fluxes_of_level(c, k, kz, n, n + 1);
            compute_longitudinal_fluxes(c, k, n, n + 1);
            compute_latitudinal_fluxes(c, k, n, n + 1);
            flux_form_update(c, k, kz, ko, n, n + 1);
        }
        const i32 t = kz;
        kz = ko;
        ko = t;
    }
}

}  // namespace hc
