// Shared state of a 24-rank test program: one context per rank, with MPI
// started and the process grid built before the first test.
#pragma once

#include "comm/comm.hpp"
#include "main/model.hpp"
#include "var/state.hpp"

namespace hc::test {

extern Ctx* g_ctx;
inline Ctx& ctx() { return *g_ctx; }

// A test that means to end the program through the model's own stop (MPI
// finalized, exit status 0) says so first; any other exit before the tests
// are over fails the program.
void expect_stop();

// Global column and row of tile point (i, j) on this process.
inline int gcol(const Ctx& c, int i) { return 80 * c.mpicomm.myidx + i - 1; }
inline int grow(const Ctx& c, int j) { return 48 * c.mpicomm.myidy + j - 1; }

}  // namespace hc::test
