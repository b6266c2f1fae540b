// The atmospheric CFC history: taken from the published record and written
// in the layout the model's reader takes.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "prep.hpp"

namespace prep {

namespace {
constexpr int FIRST_YEAR = 1931, LAST_YEAR = 1999;
}

bool read_cfc_record(const std::string& path, std::vector<CfcYear>& rows, std::string& err) {
    std::ifstream f(path);
    if (!f) {
        err = "cannot open the CFC record " + path;
        return false;
    }
    rows.clear();
    std::string line;
    int expect = FIRST_YEAR;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        CfcYear y{};
        if (!(ls >> y.year >> y.n11 >> y.n12 >> y.s11 >> y.s12)) {
            err = path + ": a data line without five numbers: " + line;
            return false;
        }
        const int yr = int(std::floor(y.year));
        if (yr < FIRST_YEAR || yr > LAST_YEAR) continue;
        if (yr != expect) {
            err = path + ": year " + std::to_string(yr) + " where " + std::to_string(expect) + " was expected";
            return false;
        }
        rows.push_back(y);
        ++expect;
    }
    if (expect != LAST_YEAR + 1) {
        err = path + ": the years 1931 to 1999 are not all there";
        return false;
    }
    return true;
}

bool write_cfc_history(const std::string& path, const std::vector<CfcYear>& rows, std::string& err) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        err = "cannot create " + path;
        return false;
    }
    std::fprintf(f, "Atmospheric CFC-11 and CFC-12, dry-air mole fractions (ppt), mid-year values, 1931-1999\n");
    std::fprintf(f, "Source: Bullister (2015), NDP-095(2015), CDIAC, doi:10.3334/CDIAC/otg.CFC_ATM_Hist_2015\n");
    std::fprintf(f, "after Walker, Weiss and Salameh (2000), J. Geophys. Res. 105(C6)\n");
    std::fprintf(f, "Columns: year, north CFC-11, north CFC-12, south CFC-11, south CFC-12\n");
    std::fprintf(f, "Written by halocline-prep\n");
    std::fprintf(f, "   year  n-f11   n-f12   s-f11   s-f12\n");
    for (const CfcYear& y : rows) std::fprintf(f, "%7.2f%8.2f%8.2f%8.2f%8.2f\n", y.year, y.n11, y.n12, y.s11, y.s12);
    const bool ok = std::fclose(f) == 0;
    if (!ok) err = "cannot write " + path;
    return ok;
}

}  // namespace prep
