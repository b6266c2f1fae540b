// CFC-11 air-sea gas exchange: the top level of the tracer relaxes towards
// its saturation with the atmosphere at a rate set by the gas-transfer
// velocity. The atmosphere comes from a yearly history of both hemispheres,
// interpolated within the model year on the flux's own calendar (starting at
// 1990 on the first call of every run) and blended across the tropics.
#include "physics/cfc.hpp"

#include <mpi.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "io/io.hpp"
#include "physics/physics.hpp"
#include "util/format.hpp"

namespace hc {

namespace {

constexpr const char* kAtmFile = "data/cfc1112_new.atm";
constexpr int kHeaderLines = 6;
constexpr int kFirstYear = 31;  // year index of the history's first data line (1931)
constexpr int kLastYear = 99;   // and of its last (1999)
constexpr int kIjmax = 40000;   // capacity of the latitude weights

// Coefficients of the solubility (Warner and Weiss 1985, volumetric units) and
// of the Schmidt number (Zheng et al. 1998), single precision widened;
// index 0 is CFC-11, index 1 CFC-12.
struct SolCoef {
    double a1, a2, a3, a4, b1, b2, b3;
};
constexpr SolCoef kSol[2] = {
    {-229.9261016845703, 319.65521240234375, 119.44709777832031, -1.3916499614715576, -0.14238199591636658,
     0.0914589986205101, -0.01572740077972412},
    {-218.09710693359375, 298.97021484375, 113.80490112304688, -1.3916499614715576, -0.14356599748134613,
     0.09101500362157822, -0.015392400324344635},
};
struct ScCoef {
    double a1, a2, a3, a4;
};
constexpr ScCoef kSc[2] = {
    {3501.800048828125, -210.30999755859375, 6.185100078582764, -0.07513000071048737},
    {3845.39990234375, -228.9499969482422, 6.190800189971924, -0.06742999702692032},
};

int gas_index(i32 kn) { return kn == 11 ? 0 : kn == 12 ? 1 : -1; }

bool root(const Ctx& c) { return c.mpicomm.myid == 0; }

// One line of a text file without its end-of-line; false at the end of the file.
bool next_line(std::FILE* f, std::string& line) {
    line.clear();
    int ch;
    while ((ch = std::fgetc(f)) != EOF) {
        if (ch == '\n') return true;
        line += char(ch);
    }
    return !line.empty();
}

// The first five numbers of a line, separated by blanks or commas; false when
// the line holds fewer (anything after the fifth is ignored).
bool five_numbers(const std::string& line, double (&v)[5]) {
    const char* p = line.c_str();
    for (int n = 0; n < 5; ++n) {
        while (*p == ' ' || *p == '\t' || *p == ',' || *p == '\r') ++p;
        if (*p == '\0') return false;
        char* end = nullptr;
        errno = 0;
        v[n] = std::strtod(p, &end);
        if (end == p || errno == ERANGE || !std::isfinite(v[n])) return false;
        if (*end != '\0' && *end != ' ' && *end != '\t' && *end != ',' && *end != '\r') return false;
        p = end;
    }
    return true;
}

}  // namespace

void sol_cfc(double T, double S, i32 kn, double& alpha) {
    const int g = gas_index(kn);
    if (g < 0) {
        alpha = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    const SolCoef& k = kSol[g];
    const double ta = (T + double(273.16f)) * double(0.01f);
    alpha = std::exp(k.a1 + k.a2 / ta + k.a3 * std::log(ta) + k.a4 * (ta * ta) + S * ((k.b3 * ta + k.b2) * ta + k.b1)) *
            1000.0 * double(1.0e-12f);
}

void sc_cfc(double T, i32 kn, double& sc) {
    const int g = gas_index(kn);
    if (g < 0) {
        sc = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    const ScCoef& k = kSc[g];
    sc = ((k.a4 * T + k.a3) * T + k.a2) * T + k.a1;
}

bool load_cfcatm(const char* path, i32 n, i32 k0, i32 kmax, double* YEAR, double* P11, double* P12, bool echo,
                 std::string& error) {
    auto year = View<double, 1>::shape(YEAR, {kmax}, "YEAR");
    auto p11 = View<double, 2>::shape(P11, {kmax, n}, "P11");
    auto p12 = View<double, 2>::shape(P12, {kmax, n}, "P12");
    for (int k = 1; k <= kmax; ++k) {
        year(k) = 0.0;
        for (int h = 1; h <= n; ++h) p11(k, h) = p12(k, h) = 0.0;
    }
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) {
        error = std::string("read_cfcatm: cannot open ") + path;
        return false;
    }
    const int want = kHeaderLines + (kmax - k0 + 1);
    std::string line;
    int lineno = 0;
    auto short_file = [&]() {
        error = std::string("read_cfcatm: ") + path + " ends before line " + std::to_string(lineno + 1) + " (" +
                std::to_string(kHeaderLines) + " header lines and " + std::to_string(kmax - k0 + 1) +
                " data lines expected, " + std::to_string(want) + " lines in all)";
        std::fclose(f);
        return false;
    };
    for (int h = 0; h < kHeaderLines; ++h) {
        if (!next_line(f, line)) return short_file();
        ++lineno;
    }
    for (int k = k0; k <= kmax; ++k) {
        if (!next_line(f, line)) return short_file();
        ++lineno;
        double v[5];
        if (!five_numbers(line, v)) {
            error = std::string("read_cfcatm: ") + path + " line " + std::to_string(lineno) +
                    ": a data line needs five numbers (year, northern CFC-11 and CFC-12, southern CFC-11 and CFC-12)";
            std::fclose(f);
            return false;
        }
        year(k) = v[0] - 0.5;
        p11(k, 1) = v[1];
        p12(k, 1) = v[2];
        if (n > 1) {
            p11(k, 2) = v[3];
            p12(k, 2) = v[4];
        }
        if (echo) {
            fmt::Line l;
            l << "read cfcatm file" << year(k) << p11(k, 1) << p12(k, 1);
            if (n > 1) l << p11(k, 2) << p12(k, 2);
            fmt::out(l.str());
        }
    }
    std::fclose(f);
    return true;
}

// Every process reads the file; one that cannot read it reports the file and
// the line and ends with status 2, which ends the run.
void read_cfcatm(Ctx& c, i32 n, i32 k0, i32 kmax, double* YEAR, double* P11, double* P12) {
    std::string error;
    if (!load_cfcatm(kAtmFile, n, k0, kmax, YEAR, P11, P12, root(c), error)) {
        fmt::out(error);
        std::fflush(stderr);
        std::exit(2);
    }
}

void cfc_interp(Ctx& c, i32 n, const double* PNORTH, const double* PSOUTH, const double* RLAT, i32 imax, i32 jmax,
                double* CFCATM) {
    auto& s = c.cfc;
    s.IENTRY = s.IENTRY + 1;
    if (imax * jmax > kIjmax) {
        fmt::out((fmt::Line() << "cfc_interp: ERROR -> ijmax must be at least" << imax * jmax).str());
        std::exit(0);
    }
    auto lat = View<const double, 2>::shape(RLAT, {imax, jmax}, "RLAT");
    auto atm = View<double, 3>::shape(CFCATM, {imax, jmax, n}, "CFCATM");
    if (s.IENTRY == 1) {
        for (int j = 1; j <= jmax; ++j) {
            for (int i = 1; i <= imax; ++i) {
                const double L = lat(i, j);
                s.XINTP(i + (j - 1) * imax) = L >= 10.0 ? 1.0 : L <= -10.0 ? 0.0 : (L + 10.0) / 20.0;
            }
        }
    }
    for (int m = 1; m <= n; ++m) {
        for (int j = 1; j <= jmax; ++j) {
            for (int i = 1; i <= imax; ++i) {
                const double x = s.XINTP(i + (j - 1) * imax);
                atm(i, j, m) = PNORTH[m - 1] * x + (1.0 - x) * PSOUTH[m - 1];
            }
        }
    }
}

void cfc_first_call(Ctx& c) {
    auto& s = c.cfc;
    if (root(c)) {
        fmt::out((fmt::Line() << "first call Read CFC gas and atm!").str());
        fmt::out((fmt::Line() << "i0,i1,i2=" << 82 << 81 << 80).str());
        fmt::out((fmt::Line() << "j0,j1,j2=" << 50 << 49 << 48).str());
    }
    read_gas(c, s.FICE, s.XKW, s.PATM);
    read_cfcatm(c, 2, kFirstYear, kLastYear, s.YEAR.data(), s.P11.data(), s.P12.data());
    s.INDX1 = 90;
    s.INDX2 = 91;
    s.MONTH = 1;
    s.DAY0 = 0.0;
    if (root(c)) fmt::out((fmt::Line() << "initial year,month:" << 1990 << 1).str());
    s.STMAX = s.SSMAX = s.CMAX = s.CFCMAX = s.KWMAX = s.SCMAX = s.ALPHAMAX = s.XKWMAX = -9999.0;
    s.STMIN = s.SSMIN = s.CMIN = s.CFCMIN = s.KWMIN = s.SCMIN = s.ALPHAMIN = s.XKWMIN = 9999.0;
    for (int jp = 1; jp <= NYI; ++jp) {
        for (int ip = 1; ip <= NXI; ++ip) s.RLAT(ip, jp) = c.metricglo.YDEG(jp + 1);
    }
    s.FIRST_CALL = false;
}

double cfc_atmosphere(Ctx& c, double days) {
    auto& s = c.cfc;
    if (std::fmod(days, 30.0) == 0.0) {
        s.MONTH = std::min(s.MONTH + 1, 12);
        if (root(c)) fmt::out((fmt::Line() << "month=" << s.MONTH).str());
    }
    if (std::fmod(days, 360.0) == 0.0) {
        s.DAY0 = days;
        s.INDX1 = s.INDX2;
        s.INDX2 = s.INDX2 + 1;
        s.MONTH = 1;
        if (root(c)) fmt::out((fmt::Line() << "New year: month,year1,year2=" << 1 << s.INDX1 << s.INDX2).str());
    }
    // The history ends with 1999: from the year that would need 2000 on, the
    // last year's values are held.
    if (s.INDX2 > kLastYear && !s.held_last_year) {
        s.held_last_year = true;
        if (root(c)) fmt::out((fmt::Line() << "cfcsurf: atmospheric history ends with 1999; holding its values").str());
    }
    const int k1 = std::clamp(s.INDX1, 1, kLastYear);
    const int k2 = std::clamp(s.INDX2, 1, kLastYear);
    const double f = (days - s.DAY0) / 360.0;
    s.PNORTH(1) = (1.0 - f) * s.P11(k1, 1) + f * s.P11(k2, 1);
    s.PSOUTH(1) = (1.0 - f) * s.P11(k1, 2) + f * s.P11(k2, 2);
    cfc_interp(c, 2, s.PNORTH.data(), s.PSOUTH.data(), s.RLAT.data(), NXI, NYI, s.CFCATM.data());
    return f;
}

void cfc_flux(Ctx& c, Field& C2, Field& T2, Field& S2, double dt, double odz1) {
    auto& s = c.cfc;
    const auto& IN = c.bathyglo.IN;
    const int m = s.MONTH;
    for (int j = 2; j <= NY - 1; ++j) {
        for (int i = 2; i <= NX - 1; ++i) {
            const int ip = i - 1, jp = j - 1;
            const double T = T2(i, j, 1), S = S2(i, j, 1);
            double sc, alpha;
            sc_cfc(T, 11, sc);
            sol_cfc(T, S, 11, alpha);
            // Saturation in pmol/kg: alpha in mol/(m3 ppt), sea water of 1030 kg/m3.
            const double csat = alpha * double(1.0e12f) * s.CFCATM(ip, jp, 1) / 1030.0;
            const double xkw = s.XKW(ip, jp, m);
            const double kw = 100.0 / std::sqrt(sc / 660.0) * dt * odz1 * (1.0 - s.FICE(ip, jp, m)) * xkw;
            C2(i, j, 1) = C2(i, j, 1) + double(IN(i, j, 1)) * (csat - C2(i, j, 1)) * kw;
            // Every point enters the extremes, land included.
            const double cnew = C2(i, j, 1);
            s.STMAX = std::max(s.STMAX, T);
            s.STMIN = std::min(s.STMIN, T);
            s.SSMAX = std::max(s.SSMAX, S);
            s.SSMIN = std::min(s.SSMIN, S);
            s.CMAX = std::max(s.CMAX, cnew);
            s.CMIN = std::min(s.CMIN, cnew);
            s.CFCMAX = std::max(s.CFCMAX, csat);
            s.CFCMIN = std::min(s.CFCMIN, csat);
            s.KWMAX = std::max(s.KWMAX, kw);
            s.KWMIN = std::min(s.KWMIN, kw);
            s.SCMAX = std::max(s.SCMAX, sc);
            s.SCMIN = std::min(s.SCMIN, sc);
            s.ALPHAMAX = std::max(s.ALPHAMAX, alpha);
            s.ALPHAMIN = std::min(s.ALPHAMIN, alpha);
            s.XKWMAX = std::max(s.XKWMAX, xkw);
            s.XKWMIN = std::min(s.XKWMIN, xkw);
        }
    }
}

void cfc_global_extremes(Ctx& c) {
    auto& s = c.cfc;
    auto& mc = c.mpicomm;
    // The eight maxima in one reduction, the eight minima in another: each
    // value is reduced over the same processes with the same operation as
    // on its own.
    double* const hi[8] = {&s.CMAX, &s.CFCMAX, &s.KWMAX, &s.SCMAX, &s.ALPHAMAX, &s.STMAX, &s.SSMAX, &s.XKWMAX};
    double* const lo[8] = {&s.CMIN, &s.CFCMIN, &s.KWMIN, &s.SCMIN, &s.ALPHAMIN, &s.STMIN, &s.SSMIN, &s.XKWMIN};
    double local[2][8], global[2][8];
    for (int n = 0; n < 8; ++n) {
        local[0][n] = *hi[n];
        local[1][n] = *lo[n];
    }
    mc.ierr = MPI_Barrier(mc.comm3d);
    mc.ierr = MPI_Allreduce(local[0], global[0], 8, MPI_DOUBLE, MPI_MAX, mc.comm3d);
    mc.ierr = MPI_Allreduce(local[1], global[1], 8, MPI_DOUBLE, MPI_MIN, mc.comm3d);
    for (int n = 0; n < 8; ++n) {
        *hi[n] = global[0][n];
        *lo[n] = global[1][n];
    }
}

// Called by fsglo every step after windglo, on every process: it ends with
// collective reductions.
void cfcsurf(Ctx& c, Field& C2, Field& T2, Field& S2, double& days, double& dt, double& odz1) {
    auto& s = c.cfc;
    if (s.FIRST_CALL) cfc_first_call(c);
    const double f = cfc_atmosphere(c, days);
    cfc_flux(c, C2, T2, S2, dt, odz1);
    cfc_global_extremes(c);
    if (days == std::trunc(days) && root(c)) {
        fmt::out((fmt::Line() << "CFC check! DT=" << dt).str());
        fmt::out((fmt::Line() << days << s.MONTH << days - s.DAY0 << s.DAY0 << f << s.INDX1 << s.INDX2).str());
        fmt::out((fmt::Line() << s.STMAX << s.SSMAX << s.CMAX << s.CFCMAX << s.KWMAX << s.SCMAX << s.ALPHAMAX).str());
        fmt::out((fmt::Line() << s.STMIN << s.SSMIN << s.CMIN << s.CFCMIN << s.KWMIN << s.SCMIN << s.ALPHAMIN).str());
        fmt::out((fmt::Line() << s.XKWMAX << s.XKWMIN << odz1 << 100.0 * dt * odz1).str());
    }
}

}  // namespace hc
