// GoogleTest under 24 ranks: every rank runs every test; rank 0 reports, and
// the program fails when any rank failed any test.
#include <gtest/gtest.h>
#include <mpi.h>

#include "mpi_fixture.hpp"

#include <cstdlib>

namespace hc::test {
Ctx* g_ctx = nullptr;

namespace {
bool g_done = false;
bool g_stop_expected = false;

// A model routine that stops the run inside a test ends the program with
// status 0; unless the test expected it, turn that into a failure.
void unexpected_exit() {
    if (!g_done && !g_stop_expected) {
        std::printf("rank %d: the program ended inside a test\n", g_ctx ? g_ctx->mpicomm.myid : -1);
        std::fflush(stdout);
        std::_Exit(3);
    }
}
}  // namespace

void expect_stop() { g_stop_expected = true; }
}  // namespace hc::test

int main(int argc, char** argv) {
    hc::set_fp_mode();
    ::testing::InitGoogleTest(&argc, argv);
    hc::test::g_ctx = hc::make_ctx();
    std::atexit(hc::test::unexpected_exit);
    hc::init_comm(*hc::test::g_ctx);
    hc::mpi_grid_gen(*hc::test::g_ctx);
    int rank = hc::test::g_ctx->mpicomm.myid;
    if (rank != 0) {
        auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
        delete listeners.Release(listeners.default_result_printer());
    }
    int failed = RUN_ALL_TESTS() != 0 ? 1 : 0;
    hc::test::g_done = true;
    int any = 0;
    MPI_Allreduce(&failed, &any, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    if (failed) std::printf("rank %d: tests failed\n", rank);
    MPI_Finalize();
    return any;
}
