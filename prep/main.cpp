// halocline-prep: makes a complete run directory for the model.
//
//   halocline-prep [--case global] --out DIR [case options] [--set NAME=VALUE ...]
#include <mpi.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "comm/comm.hpp"
#include "prep.hpp"

namespace prep {

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: halocline-prep [--case global] --out DIR [options] [--set NAME=VALUE ...]\n"
                 "  --case NAME            case to prepare (only 'global')\n"
                 "  --out DIR              run directory to create (DIR/work, DIR/output)\n"
                 "  --no-land              no land: only the closed southern and northern walls\n"
                 "  --flat-bottom N        every ocean column exactly N levels deep (1..40)\n"
                 "  --uniform-climatology  one temperature and salinity profile everywhere, every month\n"
                 "  --no-wind              zero wind stress\n"
                 "  --short-periods        one step a day (daodt = 1): 30-step history and save periods\n"
                 "  --data DIR             coastline grids and CFC record (default: the source's prep/data)\n"
                 "  --set NAME=VALUE       override a scalar of rundata.nc (mxit, dt, daodt, lfsrf, ...)\n");
}

}  // namespace

bool parse_args(int argc, char** argv, Options& o) {
    for (int a = 1; a < argc; ++a) {
        const std::string s = argv[a];
        auto value = [&](std::string& dst) {
            if (a + 1 >= argc) return false;
            dst = argv[++a];
            return true;
        };
        std::string v;
        if (s == "--case") {
            if (!value(o.case_name)) return usage(), false;
        } else if (s == "--out") {
            if (!value(o.out)) return usage(), false;
        } else if (s == "--data") {
            if (!value(o.data_dir)) return usage(), false;
        } else if (s == "--no-land") {
            o.no_land = true;
        } else if (s == "--flat-bottom") {
            char* end = nullptr;
            if (!value(v)) return usage(), false;
            o.flat_levels = int(std::strtol(v.c_str(), &end, 10));
            if (v.empty() || *end != '\0' || o.flat_levels < 1 || o.flat_levels > hc::KM) {
                std::fprintf(stderr, "halocline-prep: --flat-bottom takes a number of levels from 1 to 40\n");
                return false;
            }
        } else if (s == "--uniform-climatology") {
            o.uniform_climate = true;
        } else if (s == "--no-wind") {
            o.no_wind = true;
        } else if (s == "--short-periods") {
            o.short_periods = true;
        } else if (s == "--set") {
            if (!value(v)) return usage(), false;
            const auto eq = v.find('=');
            if (eq == std::string::npos || eq == 0) {
                std::fprintf(stderr, "halocline-prep: --set takes NAME=VALUE, not '%s'\n", v.c_str());
                return false;
            }
            o.sets.push_back({v.substr(0, eq), v.substr(eq + 1)});
        } else if (s == "--help" || s == "-h") {
            return usage(), false;
        } else {
            std::fprintf(stderr, "halocline-prep: unknown argument '%s'\n", s.c_str());
            return usage(), false;
        }
    }
    if (o.case_name != "global") {
        std::fprintf(stderr, "halocline-prep: unknown case '%s' (known: global)\n", o.case_name.c_str());
        return false;
    }
    if (o.out.empty()) {
        std::fprintf(stderr, "halocline-prep: --out DIR is required\n");
        return usage(), false;
    }
    return true;
}

}  // namespace prep

int main(int argc, char** argv) {
    // The same MPI-IO components as the model: no named semaphore per file
    // name that a killed run could leave locked.
    hc::select_io_components();
    MPI_Init(&argc, &argv);
    const auto t0 = std::chrono::steady_clock::now();
    int status = 1;
    prep::Options o;
    if (prep::parse_args(argc, argv, o)) {
        auto cs = std::make_unique<prep::Case>();
        std::string err;
        if (!prep::build_case(o, *cs, err) || !prep::write_run_directory(*cs, err)) {
            std::fprintf(stderr, "halocline-prep: %s\n", err.c_str());
        } else {
            long wet = 0;
            for (int v : cs->kb) wet += v > 0;
            // Ocean share of the surface between the walls, weighted by cell area.
            double ocean = 0, all = 0;
            for (int J = 1; J <= hc::JMT; ++J) {
                const double w = std::cos(prep::lat_deg(J) * prep::PI / 180.0);
                for (int I = 1; I <= hc::IMT; ++I) {
                    all += w;
                    ocean += cs->kbg(I, J) > 0 ? w : 0;
                }
            }
            const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            std::printf("halocline-prep: case %s written to %s: %ld ocean columns, ocean %.1f%% of the surface, "
                        "%.1f s\n",
                        o.case_name.c_str(), o.out.c_str(), wet, 100.0 * ocean / all, secs);
            const double dt = cs->real("dt"), span = 2.0 * 86400.0 / cs->real("daodt");
            if (dt != span)
                std::printf("halocline-prep: note: dt = %g s, but a leapfrog update spans two steps of 86400/daodt "
                            "= %g s: the calendar and the physics run at different rates\n",
                            dt, span);
            status = 0;
        }
    }
    MPI_Finalize();
    return status;
}
