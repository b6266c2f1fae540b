// Wind stress on the top level and the penetrating heating procedure.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "physics/physics.hpp"

using namespace hc;

// At day 345 months 12 and 1 act half each; land (stress 0), lower levels and
// halo points keep their values; process 0 writes the day line, others not.
TEST(PhysWind, MonthBlendAndDayLine) {
    std::unique_ptr<Ctx> c{make_ctx()};
    auto& w = c->windsglo;
    for (int m = 1; m <= NMONTH; ++m)
        for (int jp = 1; jp <= NYI; ++jp)
            for (int ip = 1; ip <= NXI; ++ip) {
                w.TAUX(ip, jp, m) = m;
                w.TAUY(ip, jp, m) = -2.0 * m;
            }
    for (int m = 1; m <= NMONTH; ++m) w.TAUX(9, 9, m) = w.TAUY(9, 9, m) = 0.0;  // land
    auto& kl = c->klimatglo;
    kl.wthis = kl.wnext = 0.5;
    kl.mthis = 12;
    kl.mnext = 1;
    auto& b = c->bglo;
    b.U2.fill(1.0);
    b.V2.fill(1.0);
    double days = 345.0, dt = 100.0, odz1 = 1.0e-3;
    testing::internal::CaptureStdout();
    windglo(*c, b.U2, b.V2, days, dt, odz1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " days =  345\n");
    EXPECT_DOUBLE_EQ(b.U2(5, 5, 1), 1.0 + 6.5 * 0.1);
    EXPECT_DOUBLE_EQ(b.V2(5, 5, 1), 1.0 - 13.0 * 0.1);
    EXPECT_EQ(b.U2(10, 10, 1), 1.0);
    EXPECT_EQ(b.U2(5, 5, 2), 1.0);
    EXPECT_EQ(b.U2(1, 5, 1), 1.0);
    EXPECT_EQ(b.V2(5, 50, 1), 1.0);

    c->mpicomm.myid = 3;
    testing::internal::CaptureStdout();
    windglo(*c, b.U2, b.V2, days, dt, odz1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// Heating meant below the bottom goes into the bottom level; a land column
// (bottom level 0) receives nothing.
TEST(PhysWind, PenetratingHeatingStopsAtTheBottom) {
    auto T = std::make_unique<Field>("T");
    auto ODZ = std::make_unique<Vec<double, KM>>("ODZ");
    auto QPROF = std::make_unique<Vec<double, KM>>("QPROF");
    auto KB = std::make_unique<Mat<i16, NX, NY>>("KB");
    ODZ->fill(1.0);
    QPROF->fill(2.0);
    (*QPROF)(1) = 1.0;  // D = 1 at every level
    KB->fill(3);
    (*KB)(4, 4) = 0;
    double a = 2500.0;  // c = a * 10 * D / 25000 = D
    sunglo(*T, a, *ODZ, *QPROF, *KB);
    EXPECT_DOUBLE_EQ((*T)(5, 5, 1), 1.0);
    EXPECT_DOUBLE_EQ((*T)(5, 5, 2), 1.0);
    EXPECT_DOUBLE_EQ((*T)(5, 5, 3), 38.0);  // levels 3..40
    EXPECT_EQ((*T)(5, 5, 4), 0.0);
    for (int k = 1; k <= KM; ++k) EXPECT_EQ((*T)(4, 4, k), 0.0);
}
