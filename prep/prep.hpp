// halocline-prep: the case, its grid and its run parameters, and the filling
// of one tile's context from them.
#pragma once

#include <string>
#include <vector>

#include "var/state.hpp"

namespace prep {

// Horizontal grid: 320 columns of 1.125 degrees from 0 E, 288 rows of
// 0.5625 degrees from 75.9375 S to 86.0625 N; values at cell centres.
inline constexpr double DLON = 1.125;
inline constexpr double DLAT = 0.5625;
inline constexpr double LAT_SOUTH = -75.9375;
inline constexpr double RADIUS = 6.371e8;   // earth radius, cm
inline constexpr double OMEGA = 7.292e-5;   // earth rotation, 1/s
inline constexpr double PI = 3.14159265358979323846;

// Global column I (any integer; 1..320 interior) wrapped into 1..320.
int wrap_col(int I);
// Longitude (degrees east, 0..360) of the centre of global column I.
double lon_deg(int I);
// Latitude of the centre of global row J (1..288 interior, 0 and 289 the
// halo rows beyond the walls; any J by the same formula).
double lat_deg(int J);
// Latitude of face row J, between rows J and J + 1 (0 the southern wall, 288 the northern).
double latv_deg(int J);

// The case options that change geometry and forcing.
struct Options {
    std::string case_name = "global";
    std::string out;
    std::string data_dir;       // where the coastline grids live
    bool no_land = false;       // only the closed southern and northern walls
    int flat_levels = 0;        // > 0: every ocean column that many levels deep
    bool uniform_climate = false;  // one T, S profile at every point and month
    bool no_wind = false;       // zero wind stress
    bool short_periods = false; // one step a day: 30-step history and save periods
    std::vector<std::pair<std::string, std::string>> sets;  // --set NAME=VALUE, in order
};

// One scalar (or text) of the run configuration file.
struct Scalar {
    std::string name;
    enum Kind { Real, Int, Text } kind;
    double value = 0;
    std::string text;  // for Text
    int length = 0;    // characters of a Text
};

// Everything the tool writes is made from this.
struct Case {
    Options opt;
    std::vector<Scalar> scalars;  // in the order of the configuration file
    double Z[82] = {};            // Z(1..81), cm
    double ODZ[41] = {};          // ODZ(1..40)
    double ODZW[42] = {};         // ODZW(1..41)
    std::vector<int> kb;          // KB of the 320 x 288 interior, column fastest
    std::vector<double> dist_km;  // distance to the coast, km (global case)

    // KB at global cell (I, J): columns wrap, rows 0 and 289 (and beyond) are land.
    int kbg(int I, int J) const;
    const Scalar& scalar(const std::string& name) const;
    Scalar& scalar(const std::string& name);
    double real(const std::string& name) const { return scalar(name).value; }
    int integer(const std::string& name) const { return int(scalar(name).value); }
};

// Parses the command line into options; on a usage error prints it and
// returns false.
bool parse_args(int argc, char** argv, Options& o);
// Builds the case: depth table, bottom levels, run parameters (with the
// --set overrides applied). Returns false with a message on bad input.
bool build_case(const Options& o, Case& cs, std::string& err);
// Thickness of the 40 levels in cm and the depth table they make.
void depth_table(Case& cs);

// Fills c for tile (px, py) exactly as the model holds it after reading the
// prepared files: masks and KB with halos, metric vectors, the depth table,
// the run parameters and derived scalars, and the tile's place in the
// process grid (myidx, myidy, jbeg, jend). Nothing else is touched, so a
// test may fill its own process's context with its own (px, py).
void fill_tile(hc::Ctx& c, const Case& cs, int px, int py);

// Analytic forcing of the global case (all zonal): temperature (deg C) and
// salinity at latitude lat, depth zm (m), month m (1..12).
double clim_temp(const Case& cs, double lat, double zm, int m);
double clim_salt(const Case& cs, double lat, double zm, int m);
// Wind stress, N/m^2.
double wind_taux(const Case& cs, double lat, int m);
double wind_tauy(const Case& cs, double lat, int m);
// Gas exchange: sea-ice fraction, transfer factor (m/s), sea-level pressure (atm).
double gas_fice(double lat, int m);
double gas_xkw(const Case& cs, double lat, int m);
double gas_patm(double lat);

// Writes the whole run directory. Returns false with a message on failure.
bool write_run_directory(const Case& cs, std::string& err);

// The atmospheric CFC history: one line per year 1931..1999 from the
// reference record (year, north CFC-11, north CFC-12, south CFC-11, south CFC-12).
struct CfcYear {
    double year, n11, n12, s11, s12;
};
bool read_cfc_record(const std::string& path, std::vector<CfcYear>& rows, std::string& err);
// Writes the history file in the model's layout: six header lines, then
// one line per year "F7.2, 4F8.2".
bool write_cfc_history(const std::string& path, const std::vector<CfcYear>& rows, std::string& err);

}  // namespace prep
