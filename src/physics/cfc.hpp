// The steps of the CFC surface flux that cfcsurf runs in order, and the
// reader of the atmospheric history apart from its fatal stop.
#pragma once

#include <string>

#include "var/state.hpp"

namespace hc {

// First call: the start-up lines, the gas-exchange fields, the atmospheric
// history, the history calendar at 1990 month 1, the extremes' sentinels and
// the latitudes of the tile.
void cfc_first_call(Ctx& c);
// The history calendar at model day days (month and new-year steps with their
// lines) and the atmospheric values of the moment for every interior point;
// returns the year fraction.
double cfc_atmosphere(Ctx& c, double days);
// The relaxation of level 1 of C2 towards saturation, and the tile's part of
// the running extremes.
void cfc_flux(Ctx& c, Field& C2, Field& T2, Field& S2, double dt, double odz1);
// One barrier and two reductions (maxima, minima) that make the sixteen
// extremes global.
void cfc_global_extremes(Ctx& c);

// Reads the history file at path as read_cfcatm does (YEAR of kmax values,
// P11 and P12 of kmax x n), writing the read-back lines when echo is set.
// Returns false with a message naming the file and the line when the file
// is missing, ends early or holds a data line without five numbers.
bool load_cfcatm(const char* path, i32 n, i32 k0, i32 kmax, double* YEAR, double* P11, double* P12, bool echo,
                 std::string& error);

}  // namespace hc
