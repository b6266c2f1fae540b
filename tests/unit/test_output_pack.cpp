// Packing orders, running means, history names and the save schedule.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "io/output.hpp"
#include "main/model.hpp"

using namespace hc;

namespace {

double tag(int i, int j, int k, int m = 1) { return i + 100.0 * j + 1.0e4 * k + 1.0e6 * m; }

}  // namespace

// Each packer's first values and its last value tell its loop order and offsets.
TEST(OutputPack, OrdersAndOffsets) {
    const int ni = 5, nj = 4, nk = 3, nm = 2;
    std::vector<double> fd(ni * nj * nk * nm);
    std::vector<i16> fi(ni * nj * nk);
    for (int m = 1; m <= nm; ++m)
        for (int k = 1; k <= nk; ++k)
            for (int j = 1; j <= nj; ++j)
                for (int i = 1; i <= ni; ++i) {
                    fd[(i - 1) + ni * (j - 1) + ni * nj * (k - 1) + ni * nj * nk * (m - 1)] = tag(i, j, k, m);
                    if (m == 1) fi[(i - 1) + ni * (j - 1) + ni * nj * (k - 1)] = i16(-(i + 10 * j + 100 * k));
                }
    // A 3 x 2 block at offsets (1, 1).
    std::vector<double> r(3 * 2 * nk * nm);
    mtx2rvec(fd.data(), r.data(), ni, nj, 3, 2, nk, 1, 1);
    EXPECT_EQ(r[0], tag(2, 2, 1));
    EXPECT_EQ(r[1], tag(2, 2, 2));  // level fastest
    EXPECT_EQ(r[3], tag(2, 3, 1));  // then j
    EXPECT_EQ(r[6], tag(3, 2, 1));  // i slowest
    EXPECT_EQ(r[17], tag(4, 3, 3));

    mtx2rvec2(fd.data(), r.data(), ni, nj, 3, 2, nk, 1, 1);
    EXPECT_EQ(r[0], tag(2, 2, 1));
    EXPECT_EQ(r[1], tag(3, 2, 1));  // i fastest
    EXPECT_EQ(r[3], tag(2, 3, 1));
    EXPECT_EQ(r[6], tag(2, 2, 2));  // level slowest
    EXPECT_EQ(r[17], tag(4, 3, 3));

    // Months outer, only mk = 2 of the 3 levels.
    mtx2rvec_m(fd.data(), r.data(), ni, nj, nk, 3, 2, 2, nm, 1, 1);
    EXPECT_EQ(r[6], tag(2, 2, 2, 1));
    EXPECT_EQ(r[12], tag(2, 2, 1, 2));
    EXPECT_EQ(r[23], tag(4, 3, 2, 2));

    std::vector<i32> ri(3 * 2 * nk);
    mtx2ivec(fi.data(), ri.data(), ni, nj, 3, 2, nk, 1, 1);
    EXPECT_EQ(ri[0], -(2 + 20 + 100));  // sign-extended
    EXPECT_EQ(ri[1], -(3 + 20 + 100));
    EXPECT_EQ(ri[17], -(4 + 30 + 300));
}

TEST(OutputPack, MaskedInteriorAndPlane) {
    auto f = std::make_unique<Field>("F");
    auto m = std::make_unique<Box<i16, NX, NY, KM>>("M");
    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                (*f)(i, j, k) = tag(i, j, k);
                (*m)(i, j, k) = (i + j) % 2;
            }
    std::vector<double> r(KM * INTERIOR);
    mtx2vec_c(*f, *m, r.data());
    EXPECT_EQ(r[0], 0.0);            // (2, 2): land
    EXPECT_EQ(r[1], tag(3, 2, 1));  // i fastest over the interior only
    EXPECT_EQ(r[80], tag(2, 3, 1));
    EXPECT_EQ(r[INTERIOR], 0.0);
    EXPECT_EQ(r[KM * INTERIOR - 1], 0.0);  // (81, 49)
    EXPECT_EQ(r[KM * INTERIOR - 2], tag(80, 49, 40));

    // The 2-D plane of the restart file: latitude fastest.
    std::vector<double> d(INTERIOR);
    mtx2dvec(f->data(), d.data());
    EXPECT_EQ(d[0], tag(2, 2, 1));
    EXPECT_EQ(d[1], tag(2, 3, 1));
    EXPECT_EQ(d[48], tag(3, 2, 1));
}

// The running mean touches the interior only, of exactly nk levels.
TEST(OutputPack, RunningMeanInteriorOnly) {
    auto src = std::make_unique<FieldW>("S");
    auto acc = std::make_unique<FieldW>("A");
    src->fill(2.0);
    acc->fill(1.0);
    timeavg(src->data(), acc->data(), KM, 0.25);
    EXPECT_EQ((*acc)(2, 2, 1), 1.5);
    EXPECT_EQ((*acc)(81, 49, 40), 1.5);
    EXPECT_EQ((*acc)(1, 2, 1), 1.0);
    EXPECT_EQ((*acc)(82, 49, 1), 1.0);
    EXPECT_EQ((*acc)(2, 50, 1), 1.0);
    EXPECT_EQ((*acc)(2, 2, 41), 1.0);
}

// History names at the period ends of a run of daodt = nday steps per day.
TEST(OutputNames, HistoryFilesFromTheCalendar) {
    struct Case {
        int nday, days;
        const char* name;
    };
    const Case cases[] = {{1, 30, "../output/d001_030.nc"},
                          {48, 30, "../output/d001_030.nc"},
                          {48, 360, "../output/d002_000.nc"},
                          {48, 390, "../output/d002_030.nc"},
                          {4, 720, "../output/d003_000.nc"}};
    for (const Case& t : cases) {
        Calendar k = calendar(t.days * t.nday, t.nday);
        EXPECT_EQ(hist_name(k.iyear, k.iday), t.name) << t.nday << " " << t.days;
    }
    // A year past 999 widens the field instead of filling it with asterisks.
    EXPECT_EQ(hist_name(1000, 30), "../output/d1000_030.nc");
    EXPECT_EQ(zero_padded(7, 3), "007");
    EXPECT_EQ(zero_padded(12345, 3), "12345");
}

TEST(OutputSave, ScheduleTable) {
    struct Case {
        i32 itf, nday, mxit;
        bool save, backup;
    };
    const Case cases[] = {
        {30, 1, 60, true, false},      {31, 1, 60, false, false},  {60, 1, 60, true, false},
        {45, 1, 45, true, false},      {44, 1, 45, false, false},  {1, 1, 1, true, false},
        {120, 4, 500, true, false},    {10800, 1, 20000, true, true}, {21600, 2, 30000, true, true},
        {10800, 2, 30000, true, false}, {10830, 2, 30000, false, false}, {5, 0, 7, false, false},    {7, 0, 7, true, false},
    };
    for (const Case& t : cases) {
        EXPECT_EQ(save_due(t.itf, 30, t.nday, t.mxit), t.save) << t.itf << " " << t.nday << " " << t.mxit;
        EXPECT_EQ(backup_due(t.itf, t.nday), t.backup) << t.itf << " " << t.nday;
    }
}

TEST(OutputSave, BackupCommands) {
    auto c = std::unique_ptr<Ctx>(make_ctx());
    backup_commands(*c, 30);
    EXPECT_STREQ(c->sys1, "test -e opt030 || mkdir opt030");
    EXPECT_EQ(std::string(c->sys1).size(), 30u);
    const std::string copy = c->sys2;
    EXPECT_EQ(copy.rfind("cp data/rerun.nc data/u1.nc data/u2.nc data/ul.nc", 0), 0u);
    for (const char* f : {" data/wc.nc", " data/cl.nc", " data/pp.nc", " data/initial.nc opt030"})
        EXPECT_NE(copy.find(f), std::string::npos) << f;
    EXPECT_EQ(copy.substr(copy.size() - 7), " opt030");

    backup_commands(*c, 1234);
    EXPECT_STREQ(c->sys1, "test -e opt1234 || mkdir opt1234");
    EXPECT_EQ(std::string(c->sys2).substr(std::string(c->sys2).size() - 8), " opt1234");
}
