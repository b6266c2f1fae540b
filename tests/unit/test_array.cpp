#include <gtest/gtest.h>

#include <memory>

#include "var/state.hpp"

using namespace hc;

TEST(StateBlocks, LayoutFirstIndexFastestAndZeroAtStart) {
    std::unique_ptr<Ctx> c(make_ctx());
    auto& U2 = c->bglo.U2;
    EXPECT_EQ(U2.at(2, 1, 1) - U2.at(1, 1, 1), 1);
    EXPECT_EQ(U2.at(1, 2, 1) - U2.at(1, 1, 1), 82);
    EXPECT_EQ(U2.at(1, 1, 2) - U2.at(1, 1, 1), 4100);
    auto& IU = c->bathyglo.IU;
    EXPECT_EQ(IU.at(1, 1, 1) - IU.at(0, 1, 1), 1);
    EXPECT_EQ(IU.at(0, 2, 1) - IU.at(0, 1, 1), 84);
    auto& IV0 = c->bathyglo.IV0;
    EXPECT_EQ(IV0.at(1, 1) - IV0.at(1, 0), 82);
    EXPECT_EQ(c->blank.XP.at(0, 2) - c->blank.XP.at(0, 1), 83);
    EXPECT_EQ(c->blank.YP.at(1, 1) - c->blank.YP.at(1, 0), 82);
    EXPECT_EQ(c->timer.t.bytes(), 80u);
    double sum = 0;
    for (std::size_t n = 0; n < Field::size; ++n) sum += std::abs(U2.data()[n]);
    EXPECT_EQ(sum, 0.0);
    EXPECT_EQ(c->climatglo.TCLIS.at(1, 1, 1, 2) - c->climatglo.TCLIS.at(1, 1, 1, 1), 164000);
    auto plane = c->bglo.T2.slice(3);
    plane(5, 6) = 7.0;
    EXPECT_EQ(c->bglo.T2(5, 6, 3), 7.0);
}

#ifdef HALOCLINE_BOUNDS_CHECK
TEST(StateBlocksDeathTest, SubscriptOutOfRangeNamesArrayPositionValueAndBound) {
    std::unique_ptr<Ctx> c(make_ctx());
    int k = 41;
    EXPECT_EXIT(c->bglo.U2(2, 3, k) = 1.0, ::testing::ExitedWithCode(2),
                "array U2, subscript 3, value 41, bound 1:40");
    int i = 84;
    EXPECT_EXIT(c->bathyglo.IU(i, 1, 1) = 1, ::testing::ExitedWithCode(2),
                "array IU, subscript 1, value 84, bound 0:83");
    auto v = c->bglo.T2.slice(2);
    int j = 0;
    EXPECT_EXIT(v(1, j) = 1.0, ::testing::ExitedWithCode(2), "array T2, subscript 2, value 0, bound 1:50");
}
#endif
