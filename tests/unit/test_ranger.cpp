#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "util/blowup.hpp"
#include "var/state.hpp"

using namespace hc;

namespace {

struct Tile {
    Mat<double, 6, 5> f{"FLD"};
    Mat<i16, 6, 5> m{"IN"};
    i32 lo[2] = {-1, -1}, hi[2] = {-1, -1};
    double amin = -7, amax = -7;
    void scan() { rangerle(f.data(), m.data(), 6, 5, 2, 2, 5, 4, lo, hi, amin, amax); }
};

}  // namespace

TEST(Rangerle, TiesGoToTheFirstPointInScanOrder) {
    Tile t;
    t.m.fill(1);
    t.f.fill(5.0);
    t.f(4, 2) = -3.0;
    t.f(3, 3) = -3.0;  // same value later in scan order (larger j)
    t.f(5, 3) = 9.0;
    t.f(2, 4) = 9.0;
    t.f(1, 1) = -100.0;  // outside the section
    t.scan();
    EXPECT_EQ(t.amin, -3.0);
    EXPECT_EQ(t.amax, 9.0);
    EXPECT_EQ(t.lo[0], 3);  // section-relative: i = 4 is the 3rd column from i1 = 2
    EXPECT_EQ(t.lo[1], 1);
    EXPECT_EQ(t.hi[0], 4);
    EXPECT_EQ(t.hi[1], 2);
}

TEST(Rangerle, MaskValuesOtherThanOneAndNaNArePassedOver) {
    Tile t;
    t.m.fill(1);
    t.f.fill(1.0);
    t.m(3, 3) = 2;  // only exactly 1 takes part
    t.f(3, 3) = -50.0;
    t.f(4, 3) = std::numeric_limits<double>::quiet_NaN();
    t.f(5, 4) = 2.0;
    t.scan();
    EXPECT_EQ(t.amin, 1.0);
    EXPECT_EQ(t.amax, 2.0);

    t.f.fill(std::numeric_limits<double>::quiet_NaN());
    t.scan();
    EXPECT_EQ(t.amin, 0.0);  // nothing compares: +infinity is beyond the clamp
    EXPECT_EQ(t.amax, 0.0);
}

TEST(Rangerle, AllLandAndHugeValues) {
    Tile t;
    t.m.fill(0);
    t.f.fill(3.0);
    t.scan();
    EXPECT_EQ(t.amin, 0.0);
    EXPECT_EQ(t.amax, 0.0);
    EXPECT_EQ(t.lo[0], 0);
    EXPECT_EQ(t.lo[1], 0);
    EXPECT_EQ(t.hi[0], 0);
    EXPECT_EQ(t.hi[1], 0);

    t.m.fill(1);
    t.f.fill(2e20);  // above the single-precision 1.0e20
    t.scan();
    EXPECT_EQ(t.amin, 0.0);
    EXPECT_EQ(t.amax, 2e20);
    t.f.fill(-2e20);
    t.scan();
    EXPECT_EQ(t.amax, 0.0);
    EXPECT_EQ(t.amin, -2e20);
}

TEST(Ranger, LastEqualPointWinsAndMaximumFirst) {
    Mat<double, 6, 5> f{"FLD"};
    Mat<i16, 6, 5> m{"IN"};
    m.fill(1);
    f.fill(4.0);
    f(2, 2) = 1.0;
    f(5, 4) = 1.0;
    f(3, 3) = 8.0;
    f(4, 4) = 8.0;
    i32 ilo = 0, jlo = 0, ihi = 0, jhi = 0;
    double amin, amax;
    ranger(f.data(), m.data(), 6, 2, 2, 5, 4, ilo, jlo, ihi, jhi, amin, amax);
    EXPECT_EQ(amin, 1.0);
    EXPECT_EQ(amax, 8.0);
    EXPECT_EQ(ilo, 5);  // tile indices, last equal point
    EXPECT_EQ(jlo, 4);
    EXPECT_EQ(ihi, 4);
    EXPECT_EQ(jhi, 4);
}

// The blow-up check's scan for values that are not finite: every prognostic
// field is looked at over the interior, all levels; a NaN or an infinity is
// found where it is, the halo is not looked at.
TEST(NonFinite, FoundInEveryFieldOverTheInteriorOnly) {
    std::unique_ptr<Ctx> c(make_ctx());
    auto& b = c->bglo;
    NonFinite at{nullptr, 0, 0, 0};
    EXPECT_FALSE(find_nonfinite(*c, at));
    EXPECT_EQ(at.field, nullptr);

    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct Case {
        Field* f;  // null: the surface pressure P0
        const char* name;
        int i, j, k;
        double v;
    };
    const Case cases[] = {
        {&b.U2, "u2", 2, 2, 1, nan},   {&b.V2, "v2", 81, 49, 40, inf}, {&b.T2, "t2", 40, 20, 17, nan},
        {&b.S2, "s2", 5, 49, 3, -inf}, {&b.C2, "c2", 81, 2, 40, nan},  {nullptr, "p0", 33, 7, 1, nan},
    };
    for (const Case& cs : cases) {
        double& v = cs.f ? (*cs.f)(cs.i, cs.j, cs.k) : b.P0(cs.i, cs.j);
        v = cs.v;
        ASSERT_TRUE(find_nonfinite(*c, at)) << cs.name;
        EXPECT_STREQ(at.field, cs.name);
        EXPECT_EQ(at.i, cs.i) << cs.name;
        EXPECT_EQ(at.j, cs.j) << cs.name;
        EXPECT_EQ(at.k, cs.k) << cs.name;
        v = 1.0;
    }
    // Halo points of every field hold copies of a neighbour's interior.
    b.T2(1, 10, 5) = nan;
    b.U2(82, 10, 5) = nan;
    b.V2(10, 1, 1) = inf;
    b.C2(10, 50, 40) = nan;
    b.P0(1, 1) = nan;
    EXPECT_FALSE(find_nonfinite(*c, at));
}
