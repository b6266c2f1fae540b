// An invalid lfsrf stops the run in the first pass of the surface-pressure
// correction, before any solve: every process ends with P0, X and S as they
// were. The stop ends the program, so an exit handler checks them and turns
// a changed value into a failing exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "../unit/test_step_basin.hpp"
#include "driver/driver.hpp"
#include "mpi_fixture.hpp"

using namespace hc;
using hc::test::ctx;

namespace {

void check_nothing_solved_at_exit() {
    Ctx& c = ctx();
    const bool ok = c.sevp.X(40, 20) == 5.0 && c.bglo.P0(40, 20) == 7.0 && c.sevp.S(39, 19) == -3.0;
    if (!ok) {
        std::printf("rank %d: a solve or a correction ran before the stop: X %g, P0 %g, S %g\n", c.mpicomm.myid,
                    c.sevp.X(40, 20), c.bglo.P0(40, 20), c.sevp.S(39, 19));
        std::fflush(stdout);
        std::_Exit(1);
    }
}

}  // namespace

TEST(SurfaceStop, LfsrfTwoStopsBeforeAnySolve) {
    Ctx& c = ctx();
    test::make_step_basin(c, c.mpicomm.myidy);
    c.controglo.lfsrf = 2;
    c.controglo.lsolver = 2;  // BiCGStab on an operator of zeros would leave no X unchanged
    c.scaglo.odt = 1.0;
    c.cgridglo.U.fill(0.01);
    c.cgridglo.V.fill(0.01);
    c.sevp.X.fill(5.0);
    c.bglo.P0.fill(7.0);
    c.sevp.S.fill(-3.0);
    hc::test::expect_stop();
    std::atexit(check_nothing_solved_at_exit);
    surface_pressure_correction(c);  // does not return
    ADD_FAILURE() << "the correction returned with lfsrf = 2";
}
