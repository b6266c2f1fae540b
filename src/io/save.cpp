// Save control at the end of every step: the restart save (or the
// bred-vector rescaling in its place), the 30-year backup of the restart set
// and the end of the run.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "comm/comm.hpp"
#include "io/io.hpp"
#include "io/log.hpp"
#include "io/output.hpp"
#include "util/format.hpp"

namespace hc {

std::string zero_padded(long long v, int w) {
    const int digits = static_cast<int>(std::to_string(v < 0 ? -v : v).size()) + (v < 0 ? 1 : 0);
    return fmt::I0(v, digits > w ? digits : w);
}

std::string hist_name(i32 iyear, i32 iday) {
    return "../output/d" + zero_padded(iyear, 3) + "_" + zero_padded(iday, 3) + ".nc";
}

// A run with fewer than one whole step per day has no save periods: it saves
// only at its last step and never backs up.
bool save_due(i32 itf, i32 noutd, i32 nday, i32 mxit) {
    const i32 period = noutd * nday;
    return (period >= 1 && itf % period == 0) || itf == mxit;
}

bool backup_due(i32 itf, i32 nday) {
    const i32 period = 10800 * nday;
    return period >= 1 && itf % period == 0;
}

std::string backup_dir(i32 yyy) { return "opt" + zero_padded(yyy, 3); }

void backup_commands(Ctx& c, i32 yyy) {
    const std::string dir = backup_dir(yyy);
    std::snprintf(c.sys1, sizeof c.sys1, "%s", ("test -e " + dir + " || mkdir " + dir).c_str());
    // The whole restart set and the annual-mean file that a restart reads with it.
    std::string copy = "cp data/rerun.nc";
    for (const RestartFile& f : kRestartFiles) copy += std::string(" data/") + f.tag + ".nc";
    copy += " data/initial.nc " + dir;
    std::snprintf(c.sys2, sizeof c.sys2, "%s", copy.c_str());
}

bool save_control(Ctx& c) {
    auto& s = c.scaglo;
    auto& m = c.mpicomm;
    // The bred-vector mode takes its window and target sizes at the first
    // step of every run.
    if (c.bred.lbred == 1 && s.itf == 1) initbred(c);

    if (save_due(s.itf, c.fullopt.noutd, s.nday, c.controglo.mxit)) {
        if (m.myid == 0) fmt::out((fmt::Line() << "write rerun file").str());
        if (c.bred.lbred == 1) rescbred(c);
        if (c.bred.lbred == 0) write_rerun(c);
    }

    if (backup_due(s.itf, s.nday)) {
        i32 flag = 1;
        const i32 yyy = s.itf / (360 * s.nday);
        if (m.myid == 0) {
            backup_commands(c, yyy);
            // An earlier run's backup of the same number is kept under a
            // numbered name; if it cannot be moved, no backup goes into it.
            const std::string dir = backup_dir(yyy);
            if (keep_earlier(dir)) {
                int rc = std::system(c.sys1);
                rc = std::system(c.sys2);
                (void)rc;
                fmt::out((fmt::Line() << "saving rerun files in opt" << yyy).str());
            } else {
                fmt::out(" backup " + dir + " not made");
            }
            flag = 0;
        }
        MPI_Bcast(&flag, 1, MPI_INT, 0, m.comm3d);
    }

    if (s.itf >= c.controglo.mxit) return true;
    log_line(c, "save at day" + fmt::I(s.iday, 4) + ", year" + fmt::I(s.iyear, 3));
    return false;
}

void restart(Ctx& c) {
    if (save_control(c)) stop_run(c);
}

}  // namespace hc
