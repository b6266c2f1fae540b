// Analytic climatology, wind stress and gas-exchange fields of the cases.
// All are zonal (functions of latitude, depth and month only): smooth fields
// with the observed large-scale structure, documented in docs/prep.md.
#include <algorithm>
#include <cmath>

#include "prep.hpp"

namespace prep {

namespace {

double sq(double x) { return x * x; }
double bump(double x, double centre, double width) { return std::exp(-sq((x - centre) / width)); }
// Seasonal phase: 1 at month `peak`, -1 six months later.
double season(int m, double peak) { return std::cos(2.0 * PI * (m - peak) / 12.0); }
// Latitude of the horizontally uniform climatology.
constexpr double UNIFORM_LAT = 30.0;

}  // namespace

double clim_temp(const Case& cs, double lat, double zm, int m) {
    if (cs.opt.uniform_climate) {
        lat = UNIFORM_LAT;
        m = 0;
    }
    // Sea-surface temperature: 28 C in the tropics, near freezing poleward of 60 degrees.
    double ts = -1.8 + 30.0 * std::exp(-std::pow(std::fabs(lat) / 45.0, 4.0));
    // Seasonal cycle of the mixed layer, warmest in August in the north and
    // February in the south, largest in mid-latitudes.
    const double mixed = 30.0;  // m
    const double zs = std::max(0.0, zm - mixed);
    if (m > 0) ts += 3.0 * std::sin(2.0 * lat * PI / 180.0) * season(m, 8.0) * std::exp(-zs / 50.0);
    ts = std::max(ts, -1.8);
    // Thermocline of about 600 m over cold deep water.
    const double deep = 0.5 + 2.0 * std::exp(-zm / 2000.0);
    return deep + (ts - deep) * std::exp(-zs / 600.0);
}

double clim_salt(const Case& cs, double lat, double zm, int m) {
    if (cs.opt.uniform_climate) lat = UNIFORM_LAT;
    (void)m;
    const double a = std::fabs(lat);
    // Salty subtropics, fresher equator (rain belt) and subpolar seas.
    const double ss = 33.8 + 1.9 * bump(a, 23.0, 14.0) - 0.5 * bump(lat, 5.0, 6.0);
    const double zs = std::max(0.0, zm - 30.0);
    return 34.7 + (ss - 34.7) * std::exp(-zs / 500.0);
}

// Stress of the wind as it blows, whatever the case does with it.
static double taux_of(double lat, int m) {
    const double a = std::fabs(lat);
    // Westerlies near 48 degrees (stronger in the south), trades near 15
    // degrees, weak polar easterlies; each hemisphere's winter winds 25
    // percent stronger (January in the north, July in the south).
    const double west = (lat < 0 ? 0.18 : 0.12) * bump(a, 48.0, 12.0);
    const double trade = -0.07 * bump(a, 15.0, 10.0);
    const double polar = -0.02 * bump(a, 70.0, 6.0);
    const double cyc = 1.0 + 0.25 * season(m, lat < 0 ? 7.0 : 1.0);
    return (west + trade + polar) * cyc;
}

static double tauy_of(double lat, int m) {
    // The trades blow towards the equator.
    const double cyc = 1.0 + 0.25 * season(m, lat < 0 ? 7.0 : 1.0);
    return -0.02 * (lat < 0 ? -1.0 : 1.0) * bump(std::fabs(lat), 15.0, 10.0) * cyc;
}

double wind_taux(const Case& cs, double lat, int m) { return cs.opt.no_wind ? 0.0 : taux_of(lat, m); }
double wind_tauy(const Case& cs, double lat, int m) { return cs.opt.no_wind ? 0.0 : tauy_of(lat, m); }

double gas_fice(double lat, int m) {
    // Ice edge near 70 N (65 N in March, 75 N in September) and 63 S
    // (58 S in September, 68 S in March), 5 degrees of marginal ice zone,
    // at most 95 percent cover.
    const double edge = lat >= 0 ? 70.0 - 5.0 * season(m, 3.0) : 63.0 - 5.0 * season(m, 9.0);
    const double f = (std::fabs(lat) - edge) / 5.0 + 0.5;
    return std::clamp(f, 0.0, 0.95);
}

double gas_xkw(const Case& cs, double lat, int m) {
    // Wind speed from the stress (tau = rho_air Cd u^2, rho_air 1.22 kg/m^3,
    // Cd 1.3e-3) plus 16 m^2/s^2 of variance, in the quadratic law
    // k = 0.337 cm/h (m/s)^-2 u^2 (at Schmidt number 660), in m/s.
    (void)cs;
    const double tau = std::hypot(taux_of(lat, m), tauy_of(lat, m));
    const double u2 = tau / (1.22 * 1.3e-3) + 16.0;
    return 0.337 / (100.0 * 3600.0) * u2;
}

double gas_patm(double lat) {
    // Sea-level pressure: subtropical highs, the subpolar low near 62 degrees.
    const double a = std::fabs(lat);
    return 1.0 + 0.012 * bump(a, 30.0, 12.0) - 0.02 * bump(a, 62.0, 8.0);
}

}  // namespace prep
