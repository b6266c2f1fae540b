// One model time step: the 22 stages in their order.
//
// Time levels: on entry X1 is the filtered level n-1, X2 level n and XLF the
// filtered level n. The level loop (stage 7) overwrites X2 with level n+1,
// which every later stage changes further; where a stage needs level n after
// that it reads XLF. The filter (stage 21) then makes the filtered level n the
// next X1 and the filtered level n+1 the next XLF.
//
// Every barrier is on comm3d; every collective is made by all 24 processes in
// the same order, and every stage test depends only on itf and nday.
#include <mpi.h>

#include "comm/comm.hpp"
#include "driver/driver.hpp"
#include "driver/step.hpp"
#include "filter/filter.hpp"
#include "physics/physics.hpp"

namespace hc {

bool mixing_step(i32 itf) { return itf % 4 == 1; }

bool monthly_update_step(i32 itf, i32 nday) {
    const i32 period = 30 * nday;
    return period > 0 && itf % period == period - 1;
}

void month_weights(Ctx& c) {
    auto& w = c.klimatglo;
    const double x = c.scaglo.days / 30.0;
    const i32 n = static_cast<i32>(x);
    w.wnext = x - n;
    w.wthis = 1.0 - w.wnext;
    const i32 r = n - 12 * (n / 12);
    w.mthis = r + 1;
    w.mnext = r + 2 == 13 ? 1 : r + 2;
}

void opening_exchange(Ctx& c) {
    auto& b = c.bglo;
    auto& t = c.timer.t;
    c.mpicomm.ierr = MPI_Barrier(c.mpicomm.comm3d);
    t(9) = MPI_Wtime();
    Field* f[] = {&b.U2, &b.V2, &b.T2, &b.S2, &b.U1, &b.V1, &b.T1, &b.S1,
                  &b.ULF, &b.VLF, &b.TLF, &b.SLF, &b.P, &b.C2, &b.C1, &b.CLF};
    exchange_fields(c, f, 16);
    t(3) = t(3) + (MPI_Wtime() - t(9));
}

void velocity_exchange(Ctx& c) {
    auto& t = c.timer.t;
    c.mpicomm.ierr = MPI_Barrier(c.mpicomm.comm3d);
    t(9) = MPI_Wtime();
    Field* f[] = {&c.bglo.U2, &c.bglo.V2};
    exchange_fields(c, f, 2);
    t(3) = t(3) + (MPI_Wtime() - t(9));
}

void filter_stage(Ctx& c) {
    auto& b = c.bglo;
    c.mpicomm.ierr = MPI_Barrier(c.mpicomm.comm3d);
    Field* f[] = {&b.U2, &b.V2, &b.T2, &b.S2, &b.C2};
    exchange_fields(c, f, 5);
    modified_filter(c);
}

void surface_land_fill(Ctx& c) {
    auto& b = c.bglo;
    auto& IN = c.bathyglo.IN;
    auto& SCR = c.scratchglo.SCR;
    struct {
        Field* X;
        int plane;
    } f[] = {{&b.T1, 1}, {&b.S1, 2}, {&b.C1, 13}};
    for (auto& e : f) {
        auto& X = *e.X;
        // A land point takes the mean of its four neighbours (west, east,
        // north, south) as they were before the fill; water keeps its value.
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) {
                const double in = double(IN(i, j, 1));
                const double w = double(0.25f * static_cast<float>(1 - IN(i, j, 1)));
                SCR(i, j, e.plane) =
                    in * X(i, j, 1) + w * (((X(i - 1, j, 1) + X(i + 1, j, 1)) + X(i, j + 1, 1)) + X(i, j - 1, 1));
            }
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) X(i, j, 1) = SCR(i, j, e.plane);
    }
}

void closing_stage(Ctx& c) {
    auto& b = c.bglo;
    c.mpicomm.ierr = MPI_Barrier(c.mpicomm.comm3d);
    mpi_exch_2d_r4(c, b.T1.at(1, 1, 1));
    mpi_exch_2d_r4(c, b.S1.at(1, 1, 1));
    mpi_exch_2d_r4(c, b.C1.at(1, 1, 1));
    surface_land_fill(c);
}

void fsglo(Ctx& c) {
    auto& s = c.scaglo;
    auto& b = c.bglo;
    auto& ct = c.controglo;
    const bool mixing = mixing_step(s.itf);

    // Stage 1: vertical mixing coefficients, every fourth step.
    if (mixing) pp82glonew(c);
    // Stage 2: month weights.
    month_weights(c);
    // Stage 3: interior relaxation of T1, S1 and surface relaxation of S1.
    ts_nudging_for_watermass(c);
    // Stage 4: density and hydrostatic pressure from T2, S2, P0.
    solve_hydrostatic_equation(c);
    // Stage 5: lateral viscosity, on the same steps as stage 1.
    if (mixing) smagglo(c);
    // Stage 6: opening exchange of the three time levels and of P.
    opening_exchange(c);
    // Stage 7: level loop; X2 becomes level n+1.
    step_level_loop(c);
    // Stage 8: surface forcing by wind, then the CFC air-sea flux.
    windglo(c, b.U2, b.V2, s.days, ct.dt, c.zfsglo.ODZ(1));
    cfcsurf(c, b.C2, b.T2, b.S2, s.days, ct.dt, c.zfsglo.ODZ(1));
    // Stage 9: open northern boundary, northern process row only.
    if (ct.lopen != 0 && c.mpicomm.myidy == LASTROW) open_northern_boundary(c);
    // Stage 10: surface heat-flux correction and SST nudging.
    surface_flux_correction(c);
    // Stage 11: monthly update of the flux correction, on the last step of
    // every 30-day month (its barrier, timer and global sum are inside).
    if (monthly_update_step(s.itf, s.nday)) monthly_flux_update(c);
    // Stage 12: quadratic bottom drag.
    bottom_drag(c);
    // Stage 13: Coriolis and metric rotation.
    coriolis_rotation(c);
    // Stage 14: halo of U2, V2.
    velocity_exchange(c);
    // Stage 15: C-grid face velocities U, V from U2, V2.
    face_velocities(c);
    // Stages 16 to 18: surface-pressure correction of P0 and of the faces.
    surface_pressure_correction(c);
    // Stage 19: W from the corrected faces, then U2, V2 rebuilt from them.
    rebuild_vertical_velocity(c);
    cell_velocities(c);
    // Stage 20: incompressibility diagnostic, removal of the mean of P0.
    incompressibility_and_mean_pressure(c);
    // Stage 21: halo of the new level and the time filter.
    filter_stage(c);
    // Stage 22: halo of level 1 of T1, S1, C1 and the surface land fill.
    closing_stage(c);
}

}  // namespace hc
