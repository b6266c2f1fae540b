// GoogleTest under 24 ranks: every rank runs every test; rank 0 reports, and
// the program fails when any rank failed any test.
#include <gtest/gtest.h>
#include <mpi.h>

#include "mpi_fixture.hpp"

namespace hc::test {
Ctx* g_ctx = nullptr;
}

int main(int argc, char** argv) {
    hc::set_fp_mode();
    ::testing::InitGoogleTest(&argc, argv);
    hc::test::g_ctx = hc::make_ctx();
    hc::init_comm(*hc::test::g_ctx);
    hc::mpi_grid_gen(*hc::test::g_ctx);
    int rank = hc::test::g_ctx->mpicomm.myid;
    if (rank != 0) {
        auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
        delete listeners.Release(listeners.default_result_printer());
    }
    int failed = RUN_ALL_TESTS() != 0 ? 1 : 0;
    int any = 0;
    MPI_Allreduce(&failed, &any, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    if (failed) std::printf("rank %d: tests failed\n", rank);
    MPI_Finalize();
    return any;
}
