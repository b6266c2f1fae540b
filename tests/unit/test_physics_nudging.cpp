// Water-mass nudging and the learned surface flux correction on one tile.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "driver/driver.hpp"
#include "driver/nudging.hpp"
#include "driver/step.hpp"

using namespace hc;

namespace {

// Month weights of model day days, as the step sets them before anything else.
void weights_at(Ctx& c, double days) {
    c.scaglo.days = days;
    month_weights(c);
}

std::unique_ptr<Ctx> tile() {
    std::unique_ptr<Ctx> c{make_ctx()};
    c->bathyglo.IN.fill(1);
    auto& cl = c->climatglo;
    for (int m = 1; m <= NMONTH; ++m)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                cl.TCLIS(i, j, 1, m) = 10.0 + m;
                cl.SCLIS(i, j, 1, m) = 30.0 + m;
            }
    return c;
}

}  // namespace

// Below the surface T1, S1 relax at the local rate; land and rate 0 keep
// their values. At the surface S1 relaxes to the blended climatology unless
// the second level is land.
TEST(PhysNudging, WaterMassRelaxation) {
    auto c = tile();
    auto& b = c->bglo;
    auto& cl = c->climatglo;
    b.T1.fill(4.0);
    b.S1.fill(34.0);
    cl.TCLIM.fill(2.0);
    cl.SCLIM.fill(35.0);
    c->nudging.HMEAN_NUDGE.fill(0.25);
    c->nudging.HMEAN_NUDGE(6, 6, 3) = 0.0;
    c->nudging.S_NUDGE.fill(1.0);
    c->nudging.S_NUDGE(8, 8) = 0.5;
    c->bathyglo.IN(5, 5, 3) = 0;
    c->bathyglo.IN(7, 7, 2) = 0;
    weights_at(*c, 345.0);  // months 12 and 1, half each: 36.5
    ts_nudging_for_watermass(*c);
    EXPECT_DOUBLE_EQ(b.T1(4, 4, 3), 0.75 * 4.0 + 0.25 * 2.0);
    EXPECT_DOUBLE_EQ(b.S1(4, 4, 40), 0.75 * 34.0 + 0.25 * 35.0);
    EXPECT_EQ(b.T1(5, 5, 3), 4.0);
    EXPECT_EQ(b.T1(6, 6, 3), 4.0);
    EXPECT_EQ(b.T1(4, 4, 1), 4.0);
    EXPECT_EQ(b.T1(1, 4, 3), 4.0);  // halo
    EXPECT_DOUBLE_EQ(b.S1(4, 4, 1), 36.5);
    EXPECT_DOUBLE_EQ(b.S1(8, 8, 1), 34.0 + 0.5 * 2.5);
    EXPECT_EQ(b.S1(7, 7, 1), 34.0);
}

// The current month's correction goes into all three levels of T at the
// surface; the new surface temperature then relaxes to the climatology and
// the change is summed. Land takes the climatology with no correction.
TEST(PhysNudging, SurfaceFluxCorrection) {
    auto c = tile();
    auto& b = c->bglo;
    auto& cl = c->climatglo;
    b.T1.fill(1.0);
    b.T2.fill(5.0);
    b.TLF.fill(3.0);
    weights_at(*c, 45.0);  // months 2 and 3: Tc = 12.5
    cl.QAVG.fill(0.5);
    for (int jp = 1; jp <= NYI; ++jp)
        for (int ip = 1; ip <= NXI; ++ip) cl.QAVG(ip, jp, 3) = 99.0;  // not this month
    cl.TNUDGE.fill(1.0);
    auto& TN = c->nudging.T_NUDGE;
    TN(4, 4) = 0.0;
    TN(5, 5) = 1.0;
    TN(6, 6) = 0.25;
    c->bathyglo.IN(7, 7, 1) = 0;
    surface_flux_correction(*c);
    EXPECT_EQ(b.T2(4, 4, 1), 5.5);
    EXPECT_EQ(b.T1(4, 4, 1), 1.5);
    EXPECT_EQ(b.TLF(4, 4, 1), 3.5);
    EXPECT_EQ(cl.TNUDGE(3, 3), 1.0);
    EXPECT_EQ(b.T2(5, 5, 1), 12.5);
    EXPECT_DOUBLE_EQ(cl.TNUDGE(4, 4), 1.0 + 12.5 - 5.5);
    EXPECT_DOUBLE_EQ(b.T2(6, 6, 1), 0.25 * 12.5 + 0.75 * 5.5);
    EXPECT_EQ(b.T2(7, 7, 1), 12.5);
    EXPECT_EQ(b.T1(7, 7, 1), 1.0);
    EXPECT_EQ(b.TLF(7, 7, 1), 3.0);
    EXPECT_DOUBLE_EQ(cl.TNUDGE(6, 6), 1.0 + 12.5 - 5.0);
    EXPECT_EQ(b.T2(4, 4, 2), 5.0);
}

// The monthly update at the last step of a month: which month planes it
// reads and writes, the count rule after ten years and the year-one
// carry-over (at the end of day 360, not of day 390).
TEST(PhysNudging, MonthlyUpdate) {
    const int N = 4, P = 30 * N;
    struct Case {
        const char* name;
        int itf;
        int mthis, mnext;
        bool carry;
        int count;  // NSOMBO(mthis) after the update
    };
    const Case cases[] = {
        {"end of month 1", P - 1, 1, 2, true, 2},
        {"end of day 360", 12 * P - 1, 12, 1, true, 2},
        {"end of day 390", 13 * P - 1, 1, 2, false, 2},
        {"last update of year ten", 120 * P - 1, 12, 1, false, 2},
        {"first update after year ten", 121 * P - 1, 1, 2, false, 3},
    };
    auto c = tile();
    auto& cl = c->climatglo;
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.name);
        c->scaglo.nday = N;
        c->scaglo.itf = cs.itf;
        c->scaglo.days = double(cs.itf) / N;
        month_weights(*c);
        ASSERT_EQ(c->klimatglo.mthis, cs.mthis);
        ASSERT_EQ(c->klimatglo.mnext, cs.mnext);
        cl.NSOMBO.fill(2);
        for (int m = 1; m <= NMONTH; ++m)
            for (int jp = 1; jp <= NYI; ++jp)
                for (int ip = 1; ip <= NXI; ++ip) cl.QAVG(ip, jp, m) = 0.01 * m;
        cl.TNUDGE.fill(0.3);
        c->bglo.T2.fill(10.0);
        c->bathyglo.IN(2, 2, 1) = 0;  // land: out of the area sum
        for (int j = 1; j <= NY; ++j) {
            c->metricglo.DX(j) = 2.0;
            c->metricglo.DY(j) = 3.0;
        }
        monthly_flux_update_tile(*c);
        EXPECT_EQ(cl.NSOMBO(cs.mthis), cs.count);
        const double rate = double(1.0f / float(P)) * double(1.0f / float(cs.count));
        EXPECT_NE(rate, 1.0 / P / cs.count);  // the single-precision reciprocals show
        const double want = 0.01 * cs.mthis + rate * ((0.3 + (10.0 + cs.mnext)) - 10.0);
        EXPECT_DOUBLE_EQ(cl.QAVG(5, 5, cs.mthis), want);
        EXPECT_DOUBLE_EQ(cl.QAVG(5, 5, cs.mnext), cs.carry ? want : 0.01 * cs.mnext);
        EXPECT_EQ(cl.QAVG(5, 5, cs.mnext % 12 + 1), 0.01 * (cs.mnext % 12 + 1));
        EXPECT_EQ(cl.TNUDGE(5, 5), 0.0);
        // The tile's sum is over the next month's correction before the update.
        EXPECT_NEAR(c->controglo.qsum, (INTERIOR - 1) * 6.0 * 0.01 * cs.mnext, 1e-9);
    }
}
