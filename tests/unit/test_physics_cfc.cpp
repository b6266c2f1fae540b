// The CFC air-sea flux on one tile: solubility and Schmidt number against the
// published fits, the latitude blend, the flux's own calendar with the end of
// the atmospheric history, the flux and its extremes, and the history reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "physics/cfc.hpp"
#include "physics/physics.hpp"

using namespace hc;

namespace {

// Warner and Weiss (1985), volumetric: ln F = a1 + a2 (100/T) + a3 ln(T/100)
// + a4 (T/100)^2 + S (b1 + b2 (T/100) + b3 (T/100)^2), F in mol/(l atm).
double published_solubility(int kn, double tc, double s) {
    const double c11[7] = {-229.9261, 319.6552, 119.4471, -1.39165, -0.142382, 0.091459, -0.0157274};
    const double c12[7] = {-218.0971, 298.9702, 113.8049, -1.39165, -0.143566, 0.091015, -0.0153924};
    const double* a = kn == 11 ? c11 : c12;
    const double x = (tc + 273.16) / 100.0;
    const double lnf = a[0] + a[1] / x + a[2] * std::log(x) + a[3] * x * x + s * (a[4] + a[5] * x + a[6] * x * x);
    return std::exp(lnf) * 1.0e3 * 1.0e-12;  // mol/(m3 ppt)
}

// Zheng et al. (1998): Sc = a1 + a2 T + a3 T^2 + a4 T^3.
double published_schmidt(int kn, double t) {
    if (kn == 11) return 3501.8 - 210.31 * t + 6.1851 * t * t - 0.07513 * t * t * t;
    return 3845.4 - 228.95 * t + 6.1908 * t * t - 0.06743 * t * t * t;
}

// A context as the first call of the flux leaves it, without its files.
std::unique_ptr<Ctx> after_first_call() {
    std::unique_ptr<Ctx> c{make_ctx()};
    auto& s = c->cfc;
    s.FIRST_CALL = false;
    s.INDX1 = 90;
    s.INDX2 = 91;
    s.MONTH = 1;
    s.DAY0 = 0.0;
    for (int k = 31; k <= 99; ++k) {
        s.P11(k, 1) = k;
        s.P11(k, 2) = 0.5 * k;
    }
    s.STMAX = s.SSMAX = s.CMAX = s.CFCMAX = s.KWMAX = s.SCMAX = s.ALPHAMAX = s.XKWMAX = -9999.0;
    s.STMIN = s.SSMIN = s.CMIN = s.CFCMIN = s.KWMIN = s.SCMIN = s.ALPHAMIN = s.XKWMIN = 9999.0;
    s.RLAT.fill(45.0);  // northern hemisphere: the northern value
    return c;
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

}  // namespace

TEST(PhysCfc, SolubilityAndSchmidtNumberFollowThePublishedFits) {
    for (int kn : {11, 12}) {
        for (double t : {-1.8, 10.0, 28.0}) {
            for (double s : {0.0, 35.0}) {
                double alpha = 0, sc = 0;
                sol_cfc(t, s, kn, alpha);
                sc_cfc(t, kn, sc);
                EXPECT_NEAR(alpha / published_solubility(kn, t, s), 1.0, 2e-4) << kn << " " << t << " " << s;
                EXPECT_NEAR(sc / published_schmidt(kn, t), 1.0, 1e-6) << kn << " " << t;
            }
        }
    }
    double alpha = 0, sc = 0;
    sol_cfc(10.0, 35.0, 13, alpha);
    sc_cfc(10.0, 13, sc);
    EXPECT_TRUE(std::isnan(alpha));
    EXPECT_TRUE(std::isnan(sc));
}

// Northern value from 10 degrees on, southern from -10, linear between; the
// weights are those of the first call.
TEST(PhysCfc, LatitudeBlend) {
    std::unique_ptr<Ctx> c{make_ctx()};
    const double lat[7] = {-30, -10, -5, 0, 5, 10, 30};
    const double north[2] = {100, 7}, south[2] = {60, 3};
    double atm[14];
    cfc_interp(*c, 2, north, south, lat, 7, 1, atm);
    const double x[7] = {0, 0, 0.25, 0.5, 0.75, 1, 1};
    for (int n = 0; n < 7; ++n) {
        EXPECT_DOUBLE_EQ(atm[n], 60 + 40 * x[n]) << lat[n];
        EXPECT_DOUBLE_EQ(atm[7 + n], 3 + 4 * x[n]) << lat[n];
    }
    const double moved[7] = {30, 30, 30, 30, 30, 30, 30};
    cfc_interp(*c, 2, north, south, moved, 7, 1, atm);
    EXPECT_DOUBLE_EQ(atm[0], 60.0);
    EXPECT_EQ(c->cfc.IENTRY, 2);
}

// The flux's calendar over ten model years of daily steps: month and new-year
// lines, the year fraction, and the end of the history (1999) held from the
// ninth new year on, said once.
TEST(PhysCfc, CalendarAndTheEndOfTheHistory) {
    auto c = after_first_call();
    auto& s = c->cfc;
    // Values of each day, checked once the lines are captured.
    std::vector<double> f(3601), north(3601), south(3601), atm(3601);
    std::vector<int> month(3601);
    testing::internal::CaptureStdout();
    for (int d = 1; d <= 3600; ++d) {
        f[d] = cfc_atmosphere(*c, double(d));
        north[d] = s.PNORTH(1);
        south[d] = s.PSOUTH(1);
        atm[d] = s.CFCATM(1, 1, 1);
        month[d] = s.MONTH;
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(" month= 12\n New year: month,year1,year2= 1 91 92\n"), std::string::npos);
    EXPECT_EQ(count(out, "New year"), 10);
    EXPECT_EQ(count(out, " month= "), 120);
    EXPECT_NE(out.find(" New year: month,year1,year2= 1 99 100\n"), std::string::npos);
    EXPECT_EQ(count(out, "history ends with 1999"), 1);
    EXPECT_EQ(s.INDX2, 101);
    EXPECT_EQ(month[29], 1);
    EXPECT_EQ(month[30], 2);
    EXPECT_EQ(month[359], 12);
    EXPECT_EQ(month[360], 1);
    EXPECT_DOUBLE_EQ(north[180], 90.5);
    EXPECT_EQ(f[360], 0.0);
    EXPECT_EQ(north[360], 91.0);
    EXPECT_EQ(south[360], 45.5);
    EXPECT_NEAR(north[3239], 99.0, 0.01);
    for (int d = 3240; d <= 3600; ++d) {
        ASSERT_NEAR(north[d], 99.0, 1e-12) << d;
        ASSERT_NEAR(atm[d], 99.0, 1e-12) << d;
    }
}

// Water relaxes towards saturation; land and full ice cover keep their
// tracer; every point enters the extremes, land included, and the first
// point replaces the sentinels.
TEST(PhysCfc, FluxAndExtremes) {
    auto c = after_first_call();
    auto& s = c->cfc;
    auto& b = c->bglo;
    c->bathyglo.IN.fill(1);
    b.T2.fill(10.0);
    b.S2.fill(35.0);
    s.CFCATM.fill(200.0);
    s.MONTH = 2;
    s.XKW.fill(9.0);  // other months: must not enter
    for (int jp = 1; jp <= NYI; ++jp)
        for (int ip = 1; ip <= NXI; ++ip) s.XKW(ip, jp, 2) = 5.0e-4;
    c->bathyglo.IN(5, 5, 1) = 0;
    b.C2(5, 5, 1) = 5.0;
    b.T2(5, 5, 1) = 30.0;
    s.FICE(6, 6, 2) = 1.0;  // tile point (7, 7)
    b.C2(7, 7, 1) = 3.0;
    cfc_flux(*c, b.C2, b.T2, b.S2, 3600.0, 1.0e-3);
    EXPECT_EQ(b.C2(5, 5, 1), 5.0);
    EXPECT_EQ(b.C2(7, 7, 1), 3.0);
    // CFC-11 saturation at 10 degrees, 35 psu and 200 ppt is about 3 pmol/kg.
    double alpha;
    sol_cfc(10.0, 35.0, 11, alpha);
    const double csat = alpha * 1.0e12 * 200.0 / 1030.0;
    EXPECT_GT(csat, 2.0);
    EXPECT_LT(csat, 5.0);
    const double c9 = b.C2(9, 9, 1);
    EXPECT_GT(c9, 0.0);
    EXPECT_LT(c9, csat);
    EXPECT_EQ(s.STMAX, 30.0);
    EXPECT_EQ(s.STMIN, 10.0);
    EXPECT_EQ(s.SSMAX, 35.0);
    EXPECT_EQ(s.CMAX, 5.0);
    EXPECT_EQ(s.CMIN, c9);
    EXPECT_EQ(s.KWMIN, 0.0);
    EXPECT_EQ(s.XKWMAX, 5.0e-4);
    EXPECT_NEAR(s.CFCMAX, csat, 1e-6 * csat);  // the coldest water saturates most
    EXPECT_LT(s.CFCMIN, csat);
}

// The size of the gas-transfer velocity and of the step towards saturation,
// worked out apart from the model for 20 degrees, 35 psu, 250 ppt, a quarter
// of ice and a transfer factor of 5e-4 in month 3, dt = 3600 s and a first
// level of 10 m: Sc = 1168.6001234054565, Kw = 100 / sqrt(Sc / 660) dt
// ODZ(1) (1 - 0.25) 5e-4, Csat = 2.191475753506363 pmol/kg.
TEST(PhysCfc, GasTransferVelocityPinned) {
    auto c = after_first_call();
    auto& s = c->cfc;
    auto& b = c->bglo;
    c->bathyglo.IN.fill(1);
    b.T2.fill(20.0);
    b.S2.fill(35.0);
    b.C2.fill(1.0);
    s.CFCATM.fill(250.0);
    s.MONTH = 3;
    s.FICE.fill(0.25);
    s.XKW.fill(5.0e-4);
    cfc_flux(*c, b.C2, b.T2, b.S2, 3600.0, 0.001);
    EXPECT_EQ(s.SCMAX, 1168.6001234054565);
    EXPECT_EQ(s.KWMAX, 0x1.9f8f1c5e10f5fp-4);  // 0.10145484047921859
    EXPECT_EQ(s.KWMIN, s.KWMAX);
    EXPECT_NEAR(s.CFCMAX, 2.191475753506363, 1e-14);
    EXPECT_NEAR(b.C2(40, 20, 1), 1.1208809825068449, 1e-14);
    EXPECT_EQ(b.C2(40, 20, 2), 1.0);
}

// The history file: six header lines, then 69 lines of five numbers taken in
// order; a missing or short file, or a line without five numbers, is refused
// with the file and the line named.
TEST(PhysCfc, HistoryFileReader) {
    const std::string dir = testing::TempDir();
    auto write = [&](const std::string& name, int headers, int lines, int bad_line, const char* bad) {
        const std::string path = dir + name;
        std::FILE* f = std::fopen(path.c_str(), "w");
        for (int h = 0; h < headers; ++h) std::fprintf(f, "header %d\n", h);
        for (int n = 0; n < lines; ++n) {
            const int line = headers + n + 1;
            const double y = 1931.5 + n;
            if (line == bad_line)
                std::fprintf(f, "%s\n", bad);
            else if (n % 2)
                std::fprintf(f, "%7.2f,%8.2f,%8.2f,%8.2f,%8.2f  trailing words\n", y, n + 0.25, n + 0.5, n + 0.75, n + 1.0);
            else
                std::fprintf(f, "%7.2f%8.2f%8.2f%8.2f%8.2f\r\n", y, n + 0.25, n + 0.5, n + 0.75, n + 1.0);
        }
        std::fclose(f);
        return path;
    };
    auto year = std::make_unique<Vec<double, 99>>("YEAR");
    auto p11 = std::make_unique<Mat<double, 99, 2>>("P11");
    auto p12 = std::make_unique<Mat<double, 99, 2>>("P12");
    std::string err;
    const std::string good = write("cfc_good.atm", 6, 69, 0, "");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(load_cfcatm(good.c_str(), 2, 31, 99, year->data(), p11->data(), p12->data(), true, err)) << err;
    const std::string echo = testing::internal::GetCapturedStdout();
    EXPECT_EQ(count(echo, " read cfcatm file "), 69);
    EXPECT_EQ(echo.rfind(" read cfcatm file 1931 0.25 0.5 0.75 1\n", 0), 0u);
    EXPECT_EQ((*year)(31), 1931.0);
    EXPECT_EQ((*year)(90), 1990.0);
    EXPECT_EQ((*p11)(90, 1), 59.25);  // line 59 of the data, written with commas
    EXPECT_EQ((*p12)(90, 1), 59.5);
    EXPECT_EQ((*p11)(90, 2), 59.75);
    EXPECT_EQ((*p12)(99, 2), 69.0);
    EXPECT_EQ((*year)(30), 0.0);
    EXPECT_EQ((*p11)(30, 1), 0.0);

    struct Case {
        const char* name;
        std::string path;
        std::string want;
    };
    const Case cases[] = {
        {"missing", dir + "cfc_none.atm", "cannot open " + dir + "cfc_none.atm"},
        {"short header", write("cfc_h.atm", 5, 0, 0, ""), "cfc_h.atm ends before line 6 "},
        {"short data", write("cfc_d.atm", 6, 40, 0, ""), "cfc_d.atm ends before line 47 "},
        {"four numbers", write("cfc_4.atm", 6, 69, 20, "1945.50 1.0 2.0 3.0"), "cfc_4.atm line 20:"},
        {"not a number", write("cfc_x.atm", 6, 69, 75, "1999.50 1.0 n/a 3.0 4.0"), "cfc_x.atm line 75:"},
    };
    for (const Case& cs : cases) {
        err.clear();
        EXPECT_FALSE(load_cfcatm(cs.path.c_str(), 2, 31, 99, year->data(), p11->data(), p12->data(), false, err))
            << cs.name;
        EXPECT_NE(err.find(cs.want), std::string::npos) << cs.name << ": " << err;
    }
}
