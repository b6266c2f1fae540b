// Build-time grid and process constants of the model.
#pragma once

namespace hc {

inline constexpr int NPROC = 24;      // processes: 6 rows along latitude by 4 columns along longitude
inline constexpr int NPROC_ROWS = 6;  // process rows (latitude, not periodic, row 0 southernmost)
inline constexpr int NPROC_COLS = 4;  // process columns (longitude, periodic)
inline constexpr int LASTROW = 5;     // the northernmost process row

inline constexpr int IMT = 320;  // global interior points along longitude
inline constexpr int JMT = 288;  // global interior points along latitude

inline constexpr int NX = 82;   // tile points along longitude, halo included (i = 1..82)
inline constexpr int NY = 50;   // tile points along latitude, halo included (j = 1..50)
inline constexpr int NXI = 80;  // tile interior along longitude (i = 2..81)
inline constexpr int NYI = 48;  // tile interior along latitude (j = 2..49)
inline constexpr int KM = 40;   // levels, k = 1 at the surface
inline constexpr int KMP1 = 41; // level faces
inline constexpr int KMM1 = 39; // interior interfaces
inline constexpr int NZT = 81;  // entries of the depth table
inline constexpr int NMONTH = 12;
inline constexpr int NSCR = 42;  // planes of the scratch array

inline constexpr int NOUTD = 30;  // days of an averaging and save period

inline constexpr int PLANE = NX * NY;        // 4100 values of one tile plane
inline constexpr int INTERIOR = NXI * NYI;   // 3840 values of a tile interior

}  // namespace hc
