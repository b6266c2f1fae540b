// The case: grid geometry, depth table, bottom levels and run parameters.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "prep.hpp"

namespace prep {

int wrap_col(int I) { return ((I - 1) % hc::IMT + hc::IMT) % hc::IMT + 1; }
double lon_deg(int I) { return (wrap_col(I) - 0.5) * DLON; }
double lat_deg(int J) { return LAT_SOUTH + (J - 0.5) * DLAT; }
double latv_deg(int J) { return LAT_SOUTH + J * DLAT; }

int Case::kbg(int I, int J) const {
    if (J < 1 || J > hc::JMT) return 0;
    return kb[std::size_t(J - 1) * hc::IMT + std::size_t(wrap_col(I) - 1)];
}

const Scalar& Case::scalar(const std::string& name) const {
    for (const Scalar& s : scalars)
        if (s.name == name) return s;
    std::fprintf(stderr, "halocline-prep: internal error: no scalar %s\n", name.c_str());
    std::exit(2);
}
Scalar& Case::scalar(const std::string& name) {
    return const_cast<Scalar&>(static_cast<const Case&>(*this).scalar(name));
}

void depth_table(Case& cs) {
    // Level thickness grows from 10 m at the surface as the 1.5th power of
    // the level number, scaled so that the 40 levels reach 5500 m.
    double shape[hc::KM + 1], sum = 0;
    for (int k = 1; k <= hc::KM; ++k) {
        shape[k] = std::pow(double(k - 1) / (hc::KM - 1), 1.5);
        sum += shape[k];
    }
    const double top = 1000.0, total = 550000.0;  // cm
    const double grow = (total - hc::KM * top) / sum;
    cs.Z[1] = 0;
    for (int k = 1; k <= hc::KM; ++k) {
        const double dz = top + grow * shape[k];
        cs.Z[2 * k + 1] = cs.Z[2 * k - 1] + dz;
        cs.Z[2 * k] = cs.Z[2 * k - 1] + 0.5 * dz;
        cs.ODZ[k] = 1.0 / dz;
    }
    // Face k: distance between the centres of levels k - 1 and k; the
    // surface and bottom faces use the half level next to them.
    cs.ODZW[1] = 1.0 / (cs.Z[2] - cs.Z[1]);
    for (int k = 2; k <= hc::KM; ++k) cs.ODZW[k] = 1.0 / (cs.Z[2 * k] - cs.Z[2 * k - 2]);
    cs.ODZW[hc::KMP1] = 1.0 / (cs.Z[hc::NZT] - cs.Z[hc::NZT - 1]);
}

namespace {

void add_real(Case& cs, const char* n, double v) { cs.scalars.push_back({n, Scalar::Real, v, "", 0}); }
void add_int(Case& cs, const char* n, int v) { cs.scalars.push_back({n, Scalar::Int, double(v), "", 0}); }
void add_text(Case& cs, const char* n, const std::string& t, int len) {
    cs.scalars.push_back({n, Scalar::Text, 0, t, len});
}

// Default run parameters of a stable run on this grid (docs/prep.md explains each).
void default_scalars(Case& cs, const std::string& describ) {
    // 48 steps a day; dt is the span of one leapfrog update, two steps.
    const double dt = 3600.0;
    add_text(cs, "case", cs.opt.no_land ? "aqua" : "globe", 5);
    add_text(cs, "describ", describ, 63);
    add_real(cs, "dt", dt);
    add_real(cs, "tlz", cs.Z[hc::NZT]);
    add_real(cs, "b", 0.0);
    add_real(cs, "g", 980.6);
    add_real(cs, "dm0", 4.0e7);
    add_real(cs, "de0", 4.0e7);
    add_real(cs, "dmz0", 1.0);
    add_real(cs, "rzmx", 1.0);
    add_real(cs, "drag", 1.3e-3);
    add_real(cs, "fltw", 0.1);
    add_real(cs, "daodt", cs.opt.short_periods ? 1.0 : 48.0);
    add_real(cs, "odt", 1.0 / dt);
    add_real(cs, "prn", 1.0);
    add_real(cs, "orzmx", 1.0);
    add_real(cs, "ofltw", 0.9);
    add_real(cs, "rawf", 1.0);
    add_int(cs, "ktrm", 0);
    add_int(cs, "lrstrt", 0);
    add_int(cs, "mxit", 96);
    add_int(cs, "isav", 0);
    add_int(cs, "mxsav", 0);
    add_int(cs, "lopen", 0);
    add_int(cs, "lmovi", 0);
    add_int(cs, "mvi", 0);
    add_int(cs, "lfsrf", 1);
    add_int(cs, "lsolver", 1);
    add_int(cs, "lprecon", 1);
}

bool apply_sets(Case& cs, std::string& err) {
    bool odt_set = false;
    for (const auto& [name, value] : cs.opt.sets) {
        Scalar* s = nullptr;
        for (Scalar& q : cs.scalars)
            if (q.name == name) s = &q;
        if (!s) {
            err = "--set " + name + ": no such scalar in rundata.nc";
            return false;
        }
        if (s->kind == Scalar::Text) {
            s->text = value;
            continue;
        }
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(v)) {
            err = "--set " + name + "=" + value + ": not a number";
            return false;
        }
        if (s->kind == Scalar::Int && (v != std::floor(v) || std::fabs(v) > 2147483647.0)) {
            err = "--set " + name + "=" + value + ": not a 32-bit integer";
            return false;
        }
        s->value = v;
        if (name == "odt") odt_set = true;
    }
    // The surface-pressure update is consistent when odt is 1/dt.
    if (!odt_set) cs.scalar("odt").value = 1.0 / cs.real("dt");
    if (cs.real("dt") <= 0 || cs.real("daodt") <= 0) {
        err = "dt and daodt must be positive";
        return false;
    }
    return true;
}

// Reads one of the committed 288 x 320 grids of integers.
bool read_grid(const std::string& path, std::vector<double>& v, std::string& err) {
    std::ifstream f(path);
    if (!f) {
        err = "cannot open " + path + " (made by scripts/make-coast-grids.sh)";
        return false;
    }
    v.clear();
    v.reserve(std::size_t(hc::IMT) * hc::JMT);
    std::string line;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        double x;
        while (ls >> x) v.push_back(x);
    }
    if (v.size() != std::size_t(hc::IMT) * hc::JMT) {
        err = path + ": expected 288 rows of 320 values";
        return false;
    }
    return true;
}

// Depth of the sea floor (m) at a distance d (km) from the coast: a shelf
// deepening from 40 to 200 m over 150 km, a continental slope centred 250 km
// offshore, and an abyssal plain deepening from 4500 m to 5500 m between 500
// and 2000 km from the coast.
double depth_from_coast(double d) {
    const double shelf = 40.0 + 160.0 * std::min(d / 150.0, 1.0);
    const double abyss = 4500.0 + 1000.0 * std::min(std::max(d - 500.0, 0.0) / 1500.0, 1.0);
    const double s = 0.5 * (1.0 + std::tanh((d - 250.0) / 70.0));
    return shelf + (abyss - shelf) * s;
}

// Number of levels whose centre lies above the sea floor, at least 2.
int levels_for_depth(const Case& cs, double depth_m) {
    int k = 0;
    while (k < hc::KM && cs.Z[2 * (k + 1)] <= depth_m * 100.0) ++k;
    return std::max(k, 2);
}

std::size_t at(int I, int J) { return std::size_t(J - 1) * hc::IMT + std::size_t(wrap_col(I) - 1); }

// Ocean cells with three or four land faces become land (one-cell inlets and
// holes), then every ocean cell not joined face to face to the largest ocean
// becomes land (lakes and cut-off seas).
void clean_ocean(std::vector<char>& wet) {
    auto w = [&](int I, int J) { return J >= 1 && J <= hc::JMT && wet[at(I, J)]; };
    for (bool changed = true; changed;) {
        changed = false;
        for (int J = 1; J <= hc::JMT; ++J)
            for (int I = 1; I <= hc::IMT; ++I)
                if (wet[at(I, J)] && w(I - 1, J) + w(I + 1, J) + w(I, J - 1) + w(I, J + 1) <= 1) {
                    wet[at(I, J)] = 0;
                    changed = true;
                }
    }
    std::vector<int> label(wet.size(), 0);
    std::vector<std::size_t> size(1, 0);
    std::vector<std::pair<int, int>> stack;
    for (int J0 = 1; J0 <= hc::JMT; ++J0)
        for (int I0 = 1; I0 <= hc::IMT; ++I0) {
            if (!wet[at(I0, J0)] || label[at(I0, J0)]) continue;
            const int l = int(size.size());
            size.push_back(0);
            stack.assign(1, {I0, J0});
            label[at(I0, J0)] = l;
            while (!stack.empty()) {
                auto [I, J] = stack.back();
                stack.pop_back();
                ++size[l];
                const int nb[4][2] = {{I - 1, J}, {I + 1, J}, {I, J - 1}, {I, J + 1}};
                for (auto& n : nb)
                    if (w(n[0], n[1]) && !label[at(n[0], n[1])]) {
                        label[at(n[0], n[1])] = l;
                        stack.push_back({wrap_col(n[0]), n[1]});
                    }
            }
        }
    std::size_t best = 0;
    for (std::size_t l = 1; l < size.size(); ++l)
        if (size[l] > size[best]) best = l;
    for (std::size_t n = 0; n < wet.size(); ++n)
        if (label[n] != int(best)) wet[n] = 0;
}

// A column deeper than all four of its neighbours is a one-cell pit at its
// lowest levels: lower it to its deepest neighbour, until none is left.
void fill_pits(std::vector<int>& kb) {
    auto k = [&](int I, int J) { return (J >= 1 && J <= hc::JMT) ? kb[at(I, J)] : 0; };
    for (bool changed = true; changed;) {
        changed = false;
        for (int J = 1; J <= hc::JMT; ++J)
            for (int I = 1; I <= hc::IMT; ++I) {
                const int m = std::max(std::max(k(I - 1, J), k(I + 1, J)), std::max(k(I, J - 1), k(I, J + 1)));
                int& c = kb[at(I, J)];
                if (c > 0 && m >= 2 && c > m) {
                    c = m;
                    changed = true;
                }
            }
    }
}

bool bottom_levels(Case& cs, std::string& err) {
    const std::size_t n = std::size_t(hc::IMT) * hc::JMT;
    cs.kb.assign(n, 0);
    std::vector<char> wet(n, 1);
    if (!cs.opt.no_land) {
        std::vector<double> mask;
        if (!read_grid(cs.opt.data_dir + "/ocean-mask.txt", mask, err)) return false;
        if (!read_grid(cs.opt.data_dir + "/coast-distance.txt", cs.dist_km, err)) return false;
        for (std::size_t p = 0; p < n; ++p) wet[p] = mask[p] > 0.5;
        clean_ocean(wet);
    }
    for (int J = 1; J <= hc::JMT; ++J)
        for (int I = 1; I <= hc::IMT; ++I) {
            const std::size_t p = at(I, J);
            if (!wet[p]) continue;
            if (cs.opt.flat_levels > 0)
                cs.kb[p] = cs.opt.flat_levels;
            else if (cs.opt.no_land)
                cs.kb[p] = hc::KM;
            else
                cs.kb[p] = levels_for_depth(cs, depth_from_coast(cs.dist_km[p]));
        }
    if (cs.opt.flat_levels == 0 && !cs.opt.no_land) fill_pits(cs.kb);
    return true;
}

std::string description(const Options& o) {
    std::string d = o.no_land ? "Aquaplanet between walls" : "Global ocean";
    d += ", 1.125 x 0.5625 deg, 40 levels";
    if (o.flat_levels > 0) d += ", flat " + std::to_string(o.flat_levels);
    if (o.uniform_climate) d += ", uniform T/S";
    if (o.no_wind) d += ", no wind";
    return d.substr(0, 63);
}

}  // namespace

bool build_case(const Options& o, Case& cs, std::string& err) {
    cs.opt = o;
    if (cs.opt.data_dir.empty()) cs.opt.data_dir = HC_PREP_DATA_DIR;
    if (o.flat_levels < 0 || o.flat_levels > hc::KM) {
        err = "--flat-bottom takes a number of levels from 1 to 40";
        return false;
    }
    depth_table(cs);
    if (!bottom_levels(cs, err)) return false;
    default_scalars(cs, description(cs.opt));
    return apply_sets(cs, err);
}

}  // namespace prep
