#include "io/log.hpp"

#include <cstdio>

#include "comm/comm.hpp"
#include "io/nc.hpp"
#include "util/format.hpp"

namespace hc {

void init_io(Ctx& c) {
    std::string name = std::string("data/glo") + c.grdglo.name;
    c.io.log = std::fopen(name.c_str(), "w");
    // Without its log a process cannot report what it does. Each process has
    // a log of its own name, so the open may fail on some processes only: all
    // agree before any stops, or the others would wait in the next collective
    // call for ever.
    if (!c.io.log)
        fmt::out((fmt::Line() << "cannot open the log file" << name << "myid =" << c.mpicomm.myid).str());
    if (nc::any(c, !c.io.log)) stop_run(c);
}

void log_line(Ctx& c, const std::string& line) {
    if (!c.io.log) return;
    std::fputs(line.c_str(), c.io.log);
    std::fputc('\n', c.io.log);
}

void log_flush(Ctx& c) {
    if (c.io.log) std::fflush(c.io.log);
}

}  // namespace hc
