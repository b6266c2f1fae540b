// The blow-up check across the 24 tiles: a surface v range below 1000 cm/s
// goes on, a range of exactly 1000 stops every process after its log lines
// and its dump. The stop ends the program, so the dump is checked by an exit
// handler that turns a wrong dump into a failing exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "io/log.hpp"
#include "mpi_fixture.hpp"
#include "util/blowup.hpp"

using namespace hc;
using hc::test::ctx;

namespace {

void set_surface_range(Ctx& c, double lo, double hi) {
    c.bglo.V2.fill(0.0);
    c.bathyglo.IN.fill(1);
    for (int j = 2; j <= 49; ++j)
        for (int i = 2; i <= 81; ++i) c.bglo.V2(i, j, 1) = 0.5 * (lo + hi);
    // The extremes sit on two different tiles; land elsewhere is passed over.
    if (c.mpicomm.myid == 3) c.bglo.V2(10, 20, 1) = lo;
    if (c.mpicomm.myid == 17) c.bglo.V2(70, 5, 1) = hi;
    c.bglo.V2(1, 1, 1) = 5000.0;   // halo: outside the section searched
    c.bglo.V2(30, 30, 2) = 5000.0; // below the surface
}

std::vector<unsigned char> slurp(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void check_dump_at_exit() {
    Ctx& c = ctx();
    std::fflush(c.io.log);
    auto bytes = slurp(std::string("data/blow_check") + c.grdglo.name);
    bool ok = bytes.size() == 5248008u;
    if (ok) {
        std::uint32_t head, tail;
        std::memcpy(&head, bytes.data(), 4);
        std::memcpy(&tail, bytes.data() + 5248004, 4);
        ok = head == 5248000u && tail == 5248000u;
        double v;  // V2(10, 20, 1) is the second array's element (10, 20, 1)
        std::memcpy(&v, bytes.data() + 4 + 1312000 + 8 * (9 + 82 * 19), 8);
        ok = ok && v == c.bglo.V2(10, 20, 1);
    }
    std::ifstream log(std::string("data/glo") + c.grdglo.name);
    std::string l1, l2;
    std::getline(log, l1);
    std::getline(log, l2);
    ok = ok && l1.rfind("itf,ilo,jlo,vlo,ihi,jhi,vhi,vmx-vmn|l,vmx-vmn|g=     123", 0) == 0;
    ok = ok && l1.size() == 48 + 8 + 6 * 5 + 2 * 8 && l1.substr(l1.size() - 8) == "1000.000";
    ok = ok && l2 == "stop. unix-pectedly large velocity at itf=    123";
    if (c.mpicomm.myid == 3) ok = ok && l1.substr(56, 15) == "    9   19 -500";
    if (!ok) {
        std::printf("rank %d: blow-up dump or log lines wrong:\n%s\n%s\n", c.mpicomm.myid, l1.c_str(), l2.c_str());
        std::fflush(stdout);
        std::_Exit(1);
    }
}

}  // namespace

TEST(Blowup, RangeBelowThousandGoesOn) {
    Ctx& c = ctx();
    set_surface_range(c, -500.0, 499.999);
    check_blowup(c);  // returns
    SUCCEED();
}

TEST(Blowup, RangeOfExactlyThousandStopsWithDump) {
    Ctx& c = ctx();
    mkdir("data", 0755);
    init_io(c);
    c.scaglo.itf = 123;
    set_surface_range(c, -500.0, 500.0);
    hc::test::expect_stop();
    std::atexit(check_dump_at_exit);
    check_blowup(c);  // does not return
    ADD_FAILURE() << "check_blowup returned on a range of 1000";
}
