// The prepared run directory of the global case, read back by every rank:
// the files' variables, types and extents; what the model's readers put in
// each tile against what the tool's tile holds and its forcing; halos that repeat the
// neighbours' edges and wrap in longitude; face masks that follow KB.
#include <gtest/gtest.h>
#include <pnetcdf.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "comm/comm.hpp"
#include "io/io.hpp"
#include "io/readers.hpp"
#include "mpi_fixture.hpp"
#include "prep.hpp"

namespace {

using hc::test::ctx;

// The global case, written once by rank 0 into ./case and built on every
// rank for comparison; every rank then works in ./case/work.
const prep::Case& the_case() {
    static std::unique_ptr<prep::Case> cs;
    if (!cs) {
        hc::Ctx& c = ctx();
        cs = std::make_unique<prep::Case>();
        prep::Options o;
        o.out = "case";
        std::string err;
        int ok = prep::build_case(o, *cs, err) ? 1 : 0;
        if (ok && c.mpicomm.myid == 0) ok = prep::write_run_directory(*cs, err) ? 1 : 0;
        if (!ok) std::printf("rank %d: %s\n", c.mpicomm.myid, err.c_str());
        // Wait for rank 0 without spinning, so that it has the cores to itself.
        int all = 0, done = 0;
        MPI_Request req;
        MPI_Iallreduce(&ok, &all, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD, &req);
        for (MPI_Test(&req, &done, MPI_STATUS_IGNORE); !done; MPI_Test(&req, &done, MPI_STATUS_IGNORE))
            usleep(20000);
        EXPECT_EQ(all, 1);
        EXPECT_EQ(chdir("case/work"), 0);
        hc::set_windmix(c);
        hc::set_rundata(c);
        hc::set_zkb(c);
        hc::set_surfwinds(c);
    }
    return *cs;
}

// Number of ranks on which `bad` is nonzero.
int ranks_failing(long bad) {
    int mine = bad != 0, n = 0;
    MPI_Allreduce(&mine, &n, 1, MPI_INT, MPI_SUM, MPI_COMM_WORLD);
    return n;
}

struct VarLayout {
    const char* file;
    const char* var;
    nc_type type;
    std::vector<MPI_Offset> dims;  // slowest first
};

TEST(PrepFiles, EveryFileHoldsExactlyTheVariablesTypesAndExtentsTheReadersTake) {
    the_case();
    if (ctx().mpicomm.myid != 0) return;
    const char* rd = "prepglo/data/rundata.nc";
    const char* zk = "prepglo/data/zkb.nc";
    std::vector<VarLayout> want = {
        {rd, "case", NC_CHAR, {5}},        {rd, "describ", NC_CHAR, {63}}, {rd, "f", NC_DOUBLE, {288}},
        {rd, "tanphi", NC_DOUBLE, {288}},  {rd, "xdeg", NC_DOUBLE, {328}},
        {zk, "tlz", NC_DOUBLE, {1}},       {zk, "z", NC_DOUBLE, {81}},     {zk, "odz", NC_DOUBLE, {40}},
        {zk, "odzw", NC_DOUBLE, {41}},     {zk, "kb", NC_SHORT, {300, 328}}, {zk, "iv0", NC_SHORT, {306, 328}},
        {zk, "iu0", NC_SHORT, {300, 336}}, {zk, "iw", NC_SHORT, {41, 300, 328}},
        {zk, "in", NC_SHORT, {40, 300, 328}}, {zk, "iv", NC_SHORT, {40, 306, 328}},
        {zk, "iu", NC_SHORT, {40, 300, 336}}, {zk, "rmets", NC_DOUBLE, {300, 328}},
        {"prepglo/data/windmix.nc", "vbk", NC_DOUBLE, {39}}, {"prepglo/data/windmix.nc", "hbk", NC_DOUBLE, {39}},
        {"prepglo/data/winds.nc", "tauxs", NC_DOUBLE, {12, 288, 320}},
        {"prepglo/data/winds.nc", "tauys", NC_DOUBLE, {12, 288, 320}},
        {"prepglo/data/annualevitus.nc", "s1_data", NC_DOUBLE, {12, 40, 300, 328}},
        {"prepglo/data/annualevitus.nc", "t1_data", NC_DOUBLE, {12, 40, 300, 328}},
        {"prepglo/data/evp.nc", "at", NC_DOUBLE, {294, 320}},
        {"data/brinex_gasx.nc", "fice", NC_DOUBLE, {320, 288, 12}},
        {"data/brinex_gasx.nc", "xkw", NC_DOUBLE, {320, 288, 12}},
        {"data/brinex_gasx.nc", "patm", NC_DOUBLE, {320, 288, 12}},
    };
    for (const char* v : {"dt", "tlz", "b", "g", "dm0", "de0", "dmz0", "rzmx", "drag", "fltw", "daodt", "odt", "prn",
                          "orzmx", "ofltw", "rawf"})
        want.push_back({rd, v, NC_DOUBLE, {1}});
    for (const char* v : {"ktrm", "lrstrt", "mxit", "isav", "mxsav", "lopen", "lmovi", "mvi", "lfsrf", "lsolver",
                          "lprecon"})
        want.push_back({rd, v, NC_INT, {1}});
    for (const char* v : {"csv", "ocsv", "dxv", "odxv", "dyv", "odyv"}) want.push_back({rd, v, NC_DOUBLE, {294}});
    for (const char* v : {"y", "ydeg", "yv", "yvdeg", "cs", "ocs", "dx", "odx", "dy", "ody"})
        want.push_back({rd, v, NC_DOUBLE, {300}});
    for (const char* v : {"al", "ar", "ab", "ac", "cl", "cb", "cc", "cr", "ct"})
        want.push_back({"prepglo/data/evp.nc", v, NC_DOUBLE, {288, 320}});

    const char* files[] = {rd, zk, "prepglo/data/windmix.nc", "prepglo/data/winds.nc", "prepglo/data/annualevitus.nc",
                           "prepglo/data/evp.nc", "data/brinex_gasx.nc"};
    const int counts[] = {48, 12, 2, 2, 2, 10, 3};
    for (int f = 0; f < 7; ++f) {
        int id = -1, nvars = 0;
        ASSERT_EQ(ncmpi_open(MPI_COMM_SELF, files[f], NC_NOWRITE, MPI_INFO_NULL, &id), NC_NOERR) << files[f];
        ncmpi_inq_nvars(id, &nvars);
        EXPECT_EQ(nvars, counts[f]) << files[f];
        for (const VarLayout& w : want) {
            if (std::strcmp(w.file, files[f]) != 0) continue;
            int v = -1, nd = 0;
            nc_type t;
            ASSERT_EQ(ncmpi_inq_varid(id, w.var, &v), NC_NOERR) << files[f] << " " << w.var;
            ncmpi_inq_varndims(id, v, &nd);
            std::vector<int> dimids(std::size_t(nd) + 1);
            ncmpi_inq_vartype(id, v, &t);
            ncmpi_inq_vardimid(id, v, dimids.data());
            EXPECT_EQ(t, w.type) << w.var;
            ASSERT_EQ(nd, int(w.dims.size())) << w.var;
            for (int d = 0; d < nd; ++d) {
                MPI_Offset len = 0;
                ncmpi_inq_dimlen(id, dimids[d], &len);
                EXPECT_EQ(len, w.dims[std::size_t(d)]) << w.var << " dimension " << d;
            }
        }
        ncmpi_close(id);
    }
    std::FILE* atm = std::fopen("data/cfc1112_new.atm", "r");
    EXPECT_NE(atm, nullptr);
    if (atm) std::fclose(atm);
}

TEST(PrepFiles, ModelReadsExactlyWhatTheToolsTileHolds) {
    const prep::Case& cs = the_case();
    hc::Ctx& c = ctx();
    std::unique_ptr<hc::Ctx> t(hc::make_ctx());
    prep::fill_tile(*t, cs, c.mpicomm.myidx, c.mpicomm.myidy);
    long bad = 0;
    auto same = [&](const auto& a, const auto& b, std::size_t n) {
        bad += std::memcmp(a.data(), b.data(), n * sizeof(*a.data())) != 0;
    };
    const auto &m = c.bathyglo, &e = t->bathyglo;
    same(m.KB, e.KB, 82 * 50);
    same(m.IN, e.IN, 82 * 50 * 40);
    same(m.IW, e.IW, 82 * 50 * 41);
    same(m.IU, e.IU, 84 * 50 * 40);
    same(m.IV, e.IV, 82 * 51 * 40);
    same(m.IU0, e.IU0, 84 * 50);
    same(m.IV0, e.IV0, 82 * 51);
    same(c.zfsglo.Z, t->zfsglo.Z, 81);
    same(c.zfsglo.ODZ, t->zfsglo.ODZ, 40);
    same(c.zfsglo.ODZW, t->zfsglo.ODZW, 41);
    const auto &g = c.metricglo, &h = t->metricglo;
    for (auto p : {&hc::Metricglo::y, &hc::Metricglo::yv, &hc::Metricglo::yvdeg, &hc::Metricglo::YDEG,
                   &hc::Metricglo::cs, &hc::Metricglo::OCS, &hc::Metricglo::DX, &hc::Metricglo::ODX,
                   &hc::Metricglo::DY, &hc::Metricglo::ODY})
        same(g.*p, h.*p, 50);
    for (auto p : {&hc::Metricglo::CSV, &hc::Metricglo::ocsv, &hc::Metricglo::dxv, &hc::Metricglo::odxv,
                   &hc::Metricglo::dyv, &hc::Metricglo::ODYV})
        same(g.*p, h.*p, 49);
    same(g.XDEG, h.XDEG, 82);
    same(c.bglo.F, t->bglo.F, 48);
    same(c.bglo.TANPHI, t->bglo.TANPHI, 48);
    const auto &p = c.controglo, &q = t->controglo;
    bad += p.dt != q.dt || p.daodt != q.daodt || p.g != q.g || p.dm0 != q.dm0 || p.drag != q.drag ||
           p.fltw != q.fltw || p.rawf != q.rawf || p.tlz != q.tlz || p.mxit != q.mxit || p.lfsrf != q.lfsrf ||
           p.lsolver != q.lsolver || p.lopen != q.lopen || p.lrstrt != q.lrstrt;
    bad += c.scaglo.odt != t->scaglo.odt || c.scaglo.orzmx != t->scaglo.orzmx || c.scaglo.nday != t->scaglo.nday ||
           c.scaglo.qfac != t->scaglo.qfac;
    bad += std::memcmp(c.title.case_.c, t->title.case_.c, 5) != 0 ||
           std::memcmp(c.title.describ.c, t->title.describ.c, 63) != 0;
    EXPECT_EQ(bad, 0) << "tile " << c.grdglo.name;
    EXPECT_EQ(ranks_failing(bad), 0);
    EXPECT_EQ(c.scaglo.nday, 48);
}

TEST(PrepFiles, ForcingReachesEveryTileInPlace) {
    const prep::Case& cs = the_case();
    hc::Ctx& c = ctx();
    const int py = c.mpicomm.myidy;
    long bad = 0;
    // Climatology: blocks with halos, every level of one month.
    int month = 2;
    hc::rdnc_levitus(c, month);
    for (int k = 1; k <= hc::KM; ++k)
        for (int j = 1; j <= hc::NY; ++j) {
            const double lat = prep::lat_deg(48 * py + j - 1), zm = cs.Z[2 * k] / 100.0;
            for (int i = 1; i <= hc::NX; ++i) {
                bad += c.climatglo.TCLIM(i, j, k) != prep::clim_temp(cs, lat, zm, month);
                bad += c.climatglo.SCLIM(i, j, k) != prep::clim_salt(cs, lat, zm, month);
            }
        }
    // Wind stress (scaled by 10 and masked at start-up) and the gas-exchange
    // fields: the tile's interior of the global fields.
    auto& g = c.cfc;
    hc::read_gas(c, g.FICE, g.XKW, g.PATM);
    for (int m = 1; m <= hc::NMONTH; ++m)
        for (int j = 1; j <= hc::NYI; ++j) {
            const double lat = prep::lat_deg(48 * py + j);
            for (int i = 1; i <= hc::NXI; ++i) {
                const double wet = 10.0 * c.bathyglo.IN(i + 1, j + 1, 1);
                bad += c.windsglo.TAUX(i, j, m) != prep::wind_taux(cs, lat, m) * wet;
                bad += c.windsglo.TAUY(i, j, m) != prep::wind_tauy(cs, lat, m) * wet;
                bad += g.FICE(i, j, m) != prep::gas_fice(lat, m);
                bad += g.XKW(i, j, m) != prep::gas_xkw(cs, lat, m);
                bad += g.PATM(i, j, m) != prep::gas_patm(lat);
            }
        }
    EXPECT_EQ(bad, 0) << "tile " << c.grdglo.name;
    EXPECT_EQ(ranks_failing(bad), 0);
}

// What the model takes in cgs: the background vertical mixing in cm2/s (the
// closure adds it to a viscosity of order 1 cm2/s) and the wind stress, after
// the start-up's factor of 10, in dyn/cm2 (one to a few under the westerlies).
TEST(PrepFiles, ModelTakesMixingAndWindStressInCgs) {
    the_case();
    hc::Ctx& c = ctx();
    long bad = 0;
    for (int k = 1; k <= hc::KMM1; ++k) {
        bad += c.windmxglo.vbk(k) < 0.1 || c.windmxglo.vbk(k) > 10.0;
        bad += c.windmxglo.hbk(k) < 0.01 || c.windmxglo.hbk(k) > 1.0;
    }
    double tau = 0;
    for (int m = 1; m <= hc::NMONTH; ++m)
        for (int j = 1; j <= hc::NYI; ++j)
            for (int i = 1; i <= hc::NXI; ++i)
                tau = std::max(tau, std::hypot(c.windsglo.TAUX(i, j, m), c.windsglo.TAUY(i, j, m)));
    double most = 0;
    MPI_Allreduce(&tau, &most, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
    EXPECT_EQ(bad, 0) << "tile " << c.grdglo.name << ": vbk " << c.windmxglo.vbk(1) << ", hbk " << c.windmxglo.hbk(1);
    EXPECT_EQ(ranks_failing(bad), 0);
    EXPECT_GT(most, 1.0) << "largest stress, dyn/cm2";
    EXPECT_LT(most, 4.0) << "largest stress, dyn/cm2";
}

TEST(PrepFiles, HalosRepeatTheNeighboursEdgesAndWrapInLongitude) {
    the_case();
    hc::Ctx& c = ctx();
    const auto& b = c.bathyglo;
    const bool south = c.mpicomm.myidy == 0, north = c.mpicomm.myidy == hc::LASTROW;
    long bad = 0;
    hc::Plane p{"p"};
    // Fills p by f, exchanges it with the model's halo exchange and counts
    // halo points whose file value differs from the neighbour's.
    auto check = [&](auto f, bool north_edge = true) {
        for (int j = 1; j <= hc::NY; ++j)
            for (int i = 1; i <= hc::NX; ++i) p(i, j) = f(i, j);
        hc::mpi_exch_2d_r8(c, p);
        for (int j = 2; j <= hc::NYI + 1; ++j) bad += (p(1, j) != f(1, j)) + (p(hc::NX, j) != f(hc::NX, j));
        for (int i = 2; i <= hc::NXI + 1; ++i) {
            if (!south) bad += p(i, 1) != f(i, 1);
            if (!north && north_edge) bad += p(i, hc::NY) != f(i, hc::NY);
        }
    };
    check([&](int i, int j) { return double(b.KB(i, j)); });
    for (int k : {1, 2, 10, 30})
        check([&](int i, int j) { return double(b.IN(i, j, k) + 2 * b.IW(i, j, k)); });
    for (int s : {-1, 0, 1}) {
        check([&](int i, int j) { return double(b.IU(i + s, j, 1) + 2 * b.IU(i + s, j, 20) + 4 * b.IU0(i + s, j)); });
        // Face row 51 does not exist: with s = 1 the top row holds face 50,
        // which the southern neighbour's comparison already covers.
        check(
            [&](int i, int j) {
                const int jj = std::min(j + s, 50);
                return double(b.IV(i, jj, 1) + 2 * b.IV(i, jj, 20) + 4 * b.IV0(i, jj));
            },
            s < 1);
    }
    check([&](int i, int) { return c.metricglo.XDEG(i); });
    // Longitudes of the tile's columns, halo included, run on in steps of
    // 1.125 degrees, wrapped into 0..360.
    for (int i = 1; i <= hc::NX; ++i) {
        double x = 80.0 * c.mpicomm.myidx + i - 1.5;
        x = (x < 0 ? x + 320 : x >= 320 ? x - 320 : x) * 1.125;
        bad += c.metricglo.XDEG(i) != x;
    }
    // The walls: no open face towards the rows beyond them.
    for (int i = 1; i <= hc::NX; ++i)
        for (int k = 1; k <= hc::KM; ++k) {
            if (south) bad += b.IV(i, 0, k) + b.IV(i, 1, k) + b.KB(i, 1) + b.IN(i, 1, k);
            if (north) bad += b.IV(i, 49, k) + b.IV(i, 50, k) + b.KB(i, 50) + b.IN(i, 50, k);
        }
    EXPECT_EQ(bad, 0) << "tile " << c.grdglo.name;
    EXPECT_EQ(ranks_failing(bad), 0);
}

TEST(PrepFiles, MasksFollowTheBottomLevels) {
    the_case();
    const auto& b = ctx().bathyglo;
    long bad = 0;
    for (int j = 1; j <= hc::NY; ++j)
        for (int i = 1; i <= hc::NX; ++i) {
            const int kb = b.KB(i, j);
            bad += kb == 1 || kb < 0 || kb > hc::KM;  // an ocean column has at least two levels
            for (int k = 1; k <= hc::KM; ++k) {
                bad += b.IN(i, j, k) != (k <= kb);
                bad += b.IW(i, j, k) != b.IN(i, j, k);
                if (i <= 81) bad += b.IU(i, j, k) != (b.IN(i, j, k) & b.IN(i + 1, j, k));
                if (j <= 49) bad += b.IV(i, j, k) != (b.IN(i, j, k) & b.IN(i, j + 1, k));
            }
            bad += b.IW(i, j, hc::KMP1) != 0;
        }
    for (int j = 1; j <= hc::NY; ++j)
        for (int i = 0; i <= 83; ++i) bad += b.IU0(i, j) != b.IU(i, j, 1);
    for (int j = 0; j <= 50; ++j)
        for (int i = 1; i <= hc::NX; ++i) bad += b.IV0(i, j) != b.IV(i, j, 1);
    EXPECT_EQ(bad, 0) << "tile " << ctx().grdglo.name;
    EXPECT_EQ(ranks_failing(bad), 0);
}

}  // namespace
