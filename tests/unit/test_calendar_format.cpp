#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "main/model.hpp"
#include "util/format.hpp"

using namespace hc;

TEST(Calendar, StepsOfAYearWithFortyEightStepsADay) {
    struct Case {
        int itf;
        double days;
        int iyear, iday;
    } cases[] = {
        {48, 1.0, 1, 1},          {1440, 30.0, 1, 30},     {17277, 17277 / 48.0, 1, 360},
        {17279, 17279 / 48.0, 2, 0}, {17280, 360.0, 2, 0},  {1, 1 / 48.0, 1, 0},
        {34560, 720.0, 3, 0},     {17328, 361.0, 2, 1},
    };
    for (const auto& k : cases) {
        Calendar cal = calendar(k.itf, 48.0);
        EXPECT_EQ(cal.days, k.days) << "itf " << k.itf;
        EXPECT_EQ(cal.iyear, k.iyear) << "itf " << k.itf;
        EXPECT_EQ(cal.iday, k.iday) << "itf " << k.itf;
    }
}

TEST(Format, FixedFields) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::string got, want;
    } cases[] = {
        {fmt::I(42, 5), "   42"},
        {fmt::I(-42, 5), "  -42"},
        {fmt::I(123456, 5), "*****"},
        {fmt::I0(5, 3), "005"},
        {fmt::I0(30, 3), "030"},
        {fmt::I0(1000, 3), "***"},
        {fmt::F(3.14159, 8, 3), "   3.142"},
        {fmt::F(-0.0004, 8, 3), "   0.000"},
        {fmt::F(12345.678, 8, 3), "********"},
        {fmt::F(nan, 8, 3), "     NaN"},
        {fmt::E(0.00125, 10, 2), "  1.25E-03"},
        {fmt::E(-123456.0, 12, 4), " -1.2346E+05"},
        {fmt::E(1.0, 5, 2), "*****"},
        {fmt::E(nan, 9, 2), "      NaN"},
        {fmt::A("abc", 5), "abc  "},
        {fmt::A("abcdefg", 5), "abcde"},
        {fmt::F(1e30, 8, 3), "********"},
    };
    for (const auto& k : cases) EXPECT_EQ(k.got, k.want);
}

TEST(Format, FreeFormatLine) {
    EXPECT_EQ((fmt::Line() << "mxit,itf,days" << 10 << 0 << 0.0).str(), " mxit,itf,days 10 0 0");
    EXPECT_EQ((fmt::Line() << "ng0=" << 24 << " is not equal to nproc=" << 23).str(),
              " ng0= 24  is not equal to nproc= 23");
    EXPECT_EQ(fmt::free_item(0.1), "0.1");
    EXPECT_EQ(fmt::free_item(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(fmt::free_item(1.25e-7), "1.25E-07");
    EXPECT_EQ(fmt::free_item(1940.0), "1940");
    EXPECT_EQ(fmt::free_item(40.0), "40");
    EXPECT_EQ(fmt::free_item(1940.5), "1940.5");
    EXPECT_EQ(fmt::free_item(-0.020833333333333332), "-0.020833333333333332");
    EXPECT_EQ(std::strtod(fmt::free_item(2.0 / 3.0e20).c_str(), nullptr), 2.0 / 3.0e20);
}
