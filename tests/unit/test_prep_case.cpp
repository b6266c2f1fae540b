// The cases of the preparation tool: grid, bottom levels, options, run
// parameters, and the atmospheric history as the model's reader takes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "physics/cfc.hpp"
#include "prep.hpp"

namespace {

using prep::Case;
using prep::Options;

std::unique_ptr<Case> make_case(Options o) {
    auto cs = std::make_unique<Case>();
    std::string err;
    EXPECT_TRUE(prep::build_case(o, *cs, err)) << err;
    return cs;
}

const Case& global_case() {
    static std::unique_ptr<Case> cs = make_case(Options{});
    return *cs;
}

TEST(PrepCase, GlobalOceanCoversTheRightShareAndReachesTheRelaxationBands) {
    const Case& cs = global_case();
    double ocean = 0, all = 0;
    bool north = false, south = false;
    for (int J = 1; J <= hc::JMT; ++J) {
        const double w = std::cos(prep::lat_deg(J) * prep::PI / 180.0);
        for (int I = 1; I <= hc::IMT; ++I) {
            const bool wet = cs.kbg(I, J) > 0;
            all += w;
            ocean += wet ? w : 0;
            north |= wet && prep::lat_deg(J) > 83.0;
            south |= wet && prep::lat_deg(J) < -69.5;
        }
    }
    EXPECT_GT(ocean / all, 0.65);
    EXPECT_LT(ocean / all, 0.75);
    EXPECT_TRUE(north);
    EXPECT_TRUE(south);
}

TEST(PrepCase, GlobalBottomHasNoLakesPitsOrShallowColumns) {
    const Case& cs = global_case();
    // One ocean, joined face to face (longitude periodic).
    std::vector<char> seen(std::size_t(hc::IMT) * hc::JMT, 0);
    auto at = [](int I, int J) { return std::size_t(J - 1) * hc::IMT + std::size_t(prep::wrap_col(I) - 1); };
    long wet = 0, reached = 0;
    std::vector<std::pair<int, int>> stack;
    for (int J = 1; J <= hc::JMT; ++J)
        for (int I = 1; I <= hc::IMT; ++I) {
            const int k = cs.kbg(I, J);
            if (k == 0) continue;
            ++wet;
            EXPECT_GE(k, 2) << I << "," << J;
            EXPECT_LE(k, hc::KM);
            const int deepest = std::max(std::max(cs.kbg(I - 1, J), cs.kbg(I + 1, J)),
                                         std::max(cs.kbg(I, J - 1), cs.kbg(I, J + 1)));
            EXPECT_LE(k, deepest) << "one-cell pit at " << I << "," << J;
            if (stack.empty() && reached == 0) stack.push_back({I, J}), seen[at(I, J)] = 1;
        }
    while (!stack.empty()) {
        auto [I, J] = stack.back();
        stack.pop_back();
        ++reached;
        for (auto [a, b] : {std::pair{I - 1, J}, {I + 1, J}, {I, J - 1}, {I, J + 1}})
            if (cs.kbg(a, b) > 0 && !seen[at(a, b)]) seen[at(a, b)] = 1, stack.push_back({prep::wrap_col(a), b});
    }
    EXPECT_EQ(reached, wet);
}

TEST(PrepCase, DepthTableRunsFromTenMetresToTheAbyss) {
    const Case& cs = global_case();
    EXPECT_EQ(cs.Z[1], 0.0);
    EXPECT_NEAR(1.0 / cs.ODZ[1], 1000.0, 1e-9);
    EXPECT_NEAR(cs.Z[hc::NZT], 550000.0, 1e-6);
    for (int k = 1; k <= hc::KM; ++k) {
        EXPECT_NEAR(cs.Z[2 * k + 1] - cs.Z[2 * k - 1], 1.0 / cs.ODZ[k], 1e-9);
        EXPECT_NEAR(cs.Z[2 * k], 0.5 * (cs.Z[2 * k - 1] + cs.Z[2 * k + 1]), 1e-9);
        if (k > 1) {
            EXPECT_GT(1.0 / cs.ODZ[k], 1.0 / cs.ODZ[k - 1]);
            EXPECT_NEAR(1.0 / cs.ODZW[k], cs.Z[2 * k] - cs.Z[2 * k - 2], 1e-9);
        }
    }
    EXPECT_LT(1.0 / cs.ODZ[hc::KM], 50000.0);
}

TEST(PrepCase, SmallCaseOptions) {
    Options o;
    o.no_land = true;
    o.flat_levels = 5;
    o.uniform_climate = true;
    o.no_wind = true;
    o.short_periods = true;
    auto cs = make_case(o);
    for (int J = 1; J <= hc::JMT; ++J)
        for (int I = 1; I <= hc::IMT; I += 7) ASSERT_EQ(cs->kbg(I, J), 5);
    EXPECT_EQ(cs->kbg(1, 0), 0);    // walls beyond the first and last rows
    EXPECT_EQ(cs->kbg(1, 289), 0);
    EXPECT_EQ(cs->kbg(0, 1), 5);    // longitude wraps
    EXPECT_EQ(cs->real("daodt"), 1.0);
    EXPECT_EQ(cs->real("dt"), 3600.0);
    for (int m : {1, 7})
        for (double lat : {-70.0, 0.0, 45.0}) {
            EXPECT_EQ(prep::wind_taux(*cs, lat, m), 0.0);
            EXPECT_EQ(prep::wind_tauy(*cs, lat, m), 0.0);
            EXPECT_EQ(prep::clim_temp(*cs, lat, 100.0, m), prep::clim_temp(*cs, 0.0, 100.0, 1));
            EXPECT_EQ(prep::clim_salt(*cs, lat, 100.0, m), prep::clim_salt(*cs, 0.0, 100.0, 1));
        }
    // A flat bottom keeps the coastline of the global case.
    Options f;
    f.flat_levels = 3;
    auto flat = make_case(f);
    for (int J = 1; J <= hc::JMT; ++J)
        for (int I = 1; I <= hc::IMT; ++I)
            ASSERT_EQ(flat->kbg(I, J), global_case().kbg(I, J) > 0 ? 3 : 0) << I << "," << J;
}

TEST(PrepCase, GlobalForcingHasItsStructure) {
    const Case& cs = global_case();
    EXPECT_GT(prep::clim_temp(cs, 0.0, 5.0, 1), 25.0);
    EXPECT_LT(prep::clim_temp(cs, 0.0, 4000.0, 1), 3.0);
    EXPECT_LT(prep::clim_temp(cs, 75.0, 5.0, 1), 0.0);
    EXPECT_GT(prep::clim_temp(cs, 40.0, 5.0, 8), prep::clim_temp(cs, 40.0, 5.0, 2));  // northern summer
    EXPECT_GT(prep::clim_salt(cs, 23.0, 5.0, 1), prep::clim_salt(cs, 5.0, 5.0, 1));
    EXPECT_LT(prep::wind_taux(cs, 15.0, 1), 0.0);   // trades
    EXPECT_GT(prep::wind_taux(cs, -48.0, 1), 0.1);  // westerlies
    EXPECT_EQ(prep::gas_fice(0.0, 3), 0.0);
    EXPECT_GT(prep::gas_fice(85.0, 3), 0.9);
    const double kw = prep::gas_xkw(cs, -48.0, 7);  // m/s: some 10 to 30 cm/h in the storm belt
    EXPECT_GT(kw * 360000.0, 10.0);
    EXPECT_LT(kw * 360000.0, 60.0);
}

// The Coriolis stage rotates the velocity (cm/s) at the rate F + TANPHI * u,
// in 1/s: F is 2 Omega sin(lat) and TANPHI is tan(lat) over the radius of
// the grid's own metrics, in 1/cm; the metrics are in cm.
TEST(PrepUnits, CoriolisAndMetricRatesAreInOnePerSecond) {
    const Case& cs = global_case();
    std::unique_ptr<hc::Ctx> c(hc::make_ctx());
    const double rad = prep::PI / 180.0;
    for (int py = 0; py < hc::NPROC_ROWS; ++py) {
        prep::fill_tile(*c, cs, 0, py);
        const auto& m = c->metricglo;
        for (int j = 2; j <= hc::NY - 1; ++j) {
            const double lat = m.YDEG(j) * rad, f = c->bglo.F(j - 1), tanphi = c->bglo.TANPHI(j - 1);
            const double radius = m.DY(j) / (prep::DLAT * rad);  // the metrics' radius
            const double tol = 1e-14 * (1.0 + std::fabs(std::tan(lat)));
            ASSERT_NEAR(radius, 6.371e8, 1e-6) << "row " << j << " of process row " << py;
            ASSERT_NEAR(m.DX(j), radius * std::cos(lat) * prep::DLON * rad, 1e-6) << j;
            ASSERT_NEAR(f, 2.0 * 7.292e-5 * std::sin(lat), 1e-19) << j;
            ASSERT_NEAR(tanphi * 6.371e8, std::tan(lat), tol) << j;
            ASSERT_NEAR(tanphi * radius, std::tan(lat), tol) << j;
            // At 1 m/s the metric term is a small correction to the Coriolis rate.
            if (std::fabs(m.YDEG(j)) > 10.0) {
                ASSERT_LT(std::fabs(tanphi * 100.0), 0.02 * std::fabs(f)) << j;
            }
        }
    }
}

// The forcing in the units its users take: wind stress in N/m2 (the model
// multiplies it by 10 for dyn/cm2), the gas-transfer factor in m/s, the
// sea-level pressure in atm, ice as a fraction, temperature in deg C and
// salinity in psu for the equation of state and the solubility.
TEST(PrepUnits, ForcingMagnitudesFitTheirUnits) {
    const Case& cs = global_case();
    struct Range {
        const char* what;
        double lo, hi;
        double min = 1e300, max = -1e300;
        void take(double v) { min = std::min(min, v), max = std::max(max, v); }
    };
    Range taux{"largest |tau_x|, N/m2", 0.1, 0.4}, tauy{"largest |tau_y|, N/m2", 0.005, 0.05};
    Range kw{"xkw, cm/h", 3.0, 80.0}, patm{"patm, atm", 0.95, 1.05}, fice{"fice", 0.0, 1.0};
    Range temp{"temperature, deg C", -2.0, 32.0}, salt{"salinity, psu", 30.0, 38.0};
    double tx = 0, ty = 0;
    for (int J = 1; J <= hc::JMT; ++J)
        for (int m = 1; m <= hc::NMONTH; ++m) {
            const double lat = prep::lat_deg(J);
            tx = std::max(tx, std::fabs(prep::wind_taux(cs, lat, m)));
            ty = std::max(ty, std::fabs(prep::wind_tauy(cs, lat, m)));
            kw.take(prep::gas_xkw(cs, lat, m) * 100.0 * 3600.0);
            patm.take(prep::gas_patm(lat));
            fice.take(prep::gas_fice(lat, m));
            for (double zm : {5.0, 500.0, 5000.0}) {
                temp.take(prep::clim_temp(cs, lat, zm, m));
                salt.take(prep::clim_salt(cs, lat, zm, m));
            }
        }
    taux.take(tx);
    tauy.take(ty);
    for (const Range* r : {&taux, &tauy, &kw, &patm, &fice, &temp, &salt}) {
        EXPECT_GE(r->min, r->lo) << r->what;
        EXPECT_LE(r->max, r->hi) << r->what;
    }
}

TEST(PrepCase, SetOverridesScalarsAndRefusesBadOnes) {
    Options o;
    o.no_land = true;
    o.sets = {{"mxit", "12"}, {"dt", "900"}, {"lfsrf", "0"}, {"describ", "test"}};
    auto cs = make_case(o);
    EXPECT_EQ(cs->integer("mxit"), 12);
    EXPECT_EQ(cs->integer("lfsrf"), 0);
    EXPECT_EQ(cs->real("odt"), 1.0 / 900.0);  // follows dt unless set
    EXPECT_EQ(cs->scalar("describ").text, "test");
    struct Bad {
        const char* name;
        const char* value;
    };
    for (Bad b : {Bad{"nosuch", "1"}, Bad{"mxit", "1.5"}, Bad{"dt", "abc"}, Bad{"dt", ""}, Bad{"dt", "-1"}}) {
        Options q;
        q.no_land = true;
        q.sets = {{b.name, b.value}};
        Case c;
        std::string err;
        EXPECT_FALSE(prep::build_case(q, c, err)) << b.name << "=" << b.value;
        EXPECT_FALSE(err.empty());
    }
}

TEST(PrepCfc, HistoryRoundTripsThroughTheModelReader) {
    std::vector<prep::CfcYear> rows;
    std::string err;
    ASSERT_TRUE(prep::read_cfc_record(std::string(HC_PREP_DATA_DIR) + "/cfc-atmosphere.txt", rows, err)) << err;
    ASSERT_EQ(rows.size(), 69u);
    const auto path = std::filesystem::temp_directory_path() / "test_prep_cfc1112_new.atm";
    ASSERT_TRUE(prep::write_cfc_history(path.string(), rows, err)) << err;
    double YEAR[99], P11[99 * 2], P12[99 * 2];
    ASSERT_TRUE(hc::load_cfcatm(path.c_str(), 2, 31, 99, YEAR, P11, P12, false, err)) << err;
    std::filesystem::remove(path);
    for (int k = 1; k <= 30; ++k) EXPECT_EQ(YEAR[k - 1], 0.0);
    for (int k = 31; k <= 99; ++k) {
        const prep::CfcYear& y = rows[std::size_t(k - 31)];
        EXPECT_EQ(YEAR[k - 1], 1900.0 + k) << k;
        EXPECT_DOUBLE_EQ(P11[k - 1], y.n11);
        EXPECT_DOUBLE_EQ(P12[k - 1], y.n12);
        EXPECT_DOUBLE_EQ(P11[99 + k - 1], y.s11);
        EXPECT_DOUBLE_EQ(P12[99 + k - 1], y.s12);
    }
    EXPECT_DOUBLE_EQ(P11[90 - 1], 265.83);  // 1990, northern CFC-11
}

}  // namespace
