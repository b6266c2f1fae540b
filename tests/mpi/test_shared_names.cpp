// A run killed while it wrote a history file can leave behind, locked, the
// named semaphore that Open MPI's default shared-file-pointer component keeps
// per file name ("/dev/shm/sem.OMPIO_" + the name without its directory),
// shared by every run on the machine. The model's processes must still create
// and write a history file of that name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pnetcdf.h>
#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "io/io.hpp"
#include "io/output.hpp"
#include "mpi_fixture.hpp"

using namespace hc;
using hc::test::ctx;

namespace {

char g_sem[64] = {};

// A process left waiting for the semaphore ends the program (the test fails)
// instead of the suite's time limit, and the semaphore goes with it.
void on_alarm(int) {
    if (g_sem[0]) sem_unlink(g_sem);
    _exit(4);
}

}  // namespace

TEST(SharedNames, LockedSemaphoreOfTheHistoryFileName) {
    Ctx& c = ctx();
    const bool root = c.mpicomm.myid == 0;
    // A year that no run of the suite reaches, from process 0's id: the
    // semaphore's name is this test's own and stops no other run.
    int year = root ? 100 + int(getpid() % 900) : 0;
    MPI_Bcast(&year, 1, MPI_INT, 0, c.mpicomm.comm3d);
    const std::string file = hist_name(year, 30);
    std::snprintf(g_sem, sizeof g_sem, "/OMPIO_%s", file.substr(file.rfind('/') + 1).c_str());
    if (root) {
        mkdir("../output", 0755);
        std::remove(file.c_str());
        sem_unlink(g_sem);
        sem_t* s = sem_open(g_sem, O_CREAT | O_EXCL, 0644, 0);  // created locked
        EXPECT_NE(s, SEM_FAILED) << g_sem;
        if (s != SEM_FAILED) sem_close(s);
    }
    MPI_Barrier(c.mpicomm.comm3d);

    std::signal(SIGALRM, on_alarm);
    alarm(120);
    c.scaglo.nday = 1;
    c.fullopt.noutd = 30;
    c.fullopt.wavg = 1.0 / 30.0;
    c.scaglo.itf = 30;
    c.scaglo.iyear = year;
    c.scaglo.iday = 30;
    write_hist(c);
    alarm(0);
    if (root) sem_unlink(g_sem);

    int id = -1, v = -1, ndims = 0;
    ASSERT_EQ(ncmpi_open(c.mpicomm.comm3d, file.c_str(), NC_NOWRITE, MPI_INFO_NULL, &id), NC_NOERR) << file;
    EXPECT_EQ(ncmpi_inq_varid(id, "temperature", &v), NC_NOERR);
    ncmpi_inq_varndims(id, v, &ndims);
    EXPECT_EQ(ndims, 3);
    ncmpi_close(id);
    MPI_Barrier(c.mpicomm.comm3d);
    if (root) std::remove(file.c_str());
}
