// The time step's own stages and kernels: what fsglo runs besides the
// procedures declared in driver.hpp, split so that the parts without
// communication can be run on one tile.
#pragma once

#include "var/state.hpp"

namespace hc {

// 1/12 and 1/24 formed in single precision and widened: the weights of the
// fourth-order interpolations (12 * c12 and 24 * c24 are slightly above 1).
inline constexpr double c12 = 0.0833333358168602;
inline constexpr double c24 = 0.0416666679084301;

// Stage tests on the step counter (truncating remainders): the mixing
// coefficients of stages 1 and 5 are renewed at itf = 1, 5, 9, ...; the
// monthly update of stage 11 runs on the last step of every 30-day month,
// itf = 30 nday - 1, 60 nday - 1, ... (never when 30 nday is not positive).
bool mixing_step(i32 itf);
bool monthly_update_step(i32 itf, i32 nday);

// Stage 2: month weights wnext, wthis and month indices mnext, mthis from days.
void month_weights(Ctx& c);

// Stage 4 kernel: in-situ density from temperature, salinity and the depth of
// the level centre (cm); the limits apply to local copies only.
double insitu_density(double t, double s, double zc);

// Stage 6: barrier, then the one-point halo of the three time levels of U, V,
// T, S, C and of P (communication time into timer slot 3).
void opening_exchange(Ctx& c);

// Stage 7: surface flux, then for every level the pressure gradient, the
// vertical, longitudinal and latitudinal fluxes and the flux-form update.
// The flux kernels and the update work on the advected fields n0..n1-1 of
// U, V, S, T, C (all five by default).
inline constexpr int NADVECTED = 5;
void step_level_loop(Ctx& c);
void compute_pressure_gradient(Ctx& c, i32& K);
void compute_vertical_fluxes(Ctx& c, i32& K, i32& KSLOT);
void compute_longitudinal_fluxes(Ctx& c, i32& K, int n0 = 0, int n1 = NADVECTED);
void compute_latitudinal_fluxes(Ctx& c, i32& K, int n0 = 0, int n1 = NADVECTED);

// The tile-local parts of the level loop.
// Pressure gradient of level K: face differences XP (j = 2..49, i = 1..81),
// YP (j = jbeg..jend, i = 2..81), then PX, PY from XP, YP with the lines
// that exchange_level_lines received from the neighbours in place.
void pressure_x_differences(Ctx& c, int K);
void pressure_y_differences(Ctx& c, int K);
void pressure_gradient_terms(Ctx& c, int K);
// Vertical fluxes through the bottom face of level K into slot KSLOT.
void vertical_fluxes_of_level(Ctx& c, int K, int KSLOT, int n0 = 0, int n1 = NADVECTED);
// Before the first level: the pressure-difference lines and the second-halo
// lines of X2 of every level, one transfer per neighbour (Levelwork).
void exchange_level_lines(Ctx& c);
// The second-halo columns and rows of level K into SCR from what
// exchange_level_lines received.
void second_halo_of_level(Ctx& c, int K);
// Through the sea surface into slot 1 of the vertical fluxes.
void surface_vertical_flux(Ctx& c);
// DHX, DHY from DMX, DMY of level k.
void copy_level_viscosity(Ctx& c, int k);
// X2 := X1 - dt * flux divergence for the five fields at level k.
void flux_form_update(Ctx& c, int k, int kz, int ko, int n0 = 0, int n1 = NADVECTED);

// Stage 14: barrier, one-point halo of U2 and V2 (into timer slot 3).
void velocity_exchange(Ctx& c);

// Tile-local parts of the face interpolation (stage 15) and of the cell
// reconstruction (stage 19, second half); the transfers H1..H8 lie between.
void face_u_sums(Ctx& c);
void face_u_finish(Ctx& c);
void face_v_sums(Ctx& c);
void face_v_finish(Ctx& c);
void cell_sums(Ctx& c);
void cell_u_finish(Ctx& c);
void cell_v_finish(Ctx& c);

// Stage 21: barrier, one-point halo of U2, V2, T2, S2, C2, time filter.
void filter_stage(Ctx& c);
// Stage 22: barrier, halo of level 1 of T1, S1, C1, then the land fill.
void closing_stage(Ctx& c);
// The surface land fill of T1, S1 and C1 alone.
void surface_land_fill(Ctx& c);

}  // namespace hc
