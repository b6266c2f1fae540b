// The main program: start-up, time loop, calendar, wall-clock slots, stop.
#pragma once

#include "var/state.hpp"

namespace hc {

// Flush denormal results to zero and treat denormal operands as zero.
void set_fp_mode();

void init(Ctx& c);
void run(Ctx& c);
void finalize(Ctx& c);

// The calendar of step itf: days, year (from 1) and day of the 360-day year.
struct Calendar {
    double days;
    i32 iyear;
    i32 iday;
};
Calendar calendar(i32 itf, double daodt);

}  // namespace hc
