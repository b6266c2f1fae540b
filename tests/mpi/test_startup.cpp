// Start-up on 24 tiles: the prepared-input readers on a tagged input set
// written here (every value tells where in the file it came from), and the
// restart set read back after the model wrote it.
#include <gtest/gtest.h>
#include <pnetcdf.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "comm/comm.hpp"
#include "driver/driver.hpp"
#include "driver/setup.hpp"
#include "io/io.hpp"
#include "mpi_fixture.hpp"

using namespace hc;
using hc::test::ctx;
using hc::test::gcol;
using hc::test::grow;

namespace {

bool root() { return ctx().mpicomm.myid == 0; }

// A netCDF file written collectively; process 0 puts every value.
class Fixture {
public:
    explicit Fixture(const std::string& path) {
        EXPECT_EQ(ncmpi_create(ctx().mpicomm.comm3d, path.c_str(), NC_CLOBBER | NC_64BIT_OFFSET, MPI_INFO_NULL, &id_),
                  NC_NOERR)
            << path;
    }
    int dim(const char* name, MPI_Offset n) {
        int d = -1;
        ncmpi_def_dim(id_, name, n, &d);
        return d;
    }
    int var(const char* name, nc_type t, std::vector<int> dims) {
        int v = -1;
        EXPECT_EQ(ncmpi_def_var(id_, name, t, int(dims.size()), dims.data(), &v), NC_NOERR) << name;
        vars_.push_back({v, dims});
        return v;
    }
    void enddef() { ncmpi_enddef(id_); }
    template <class T>
    void put(int v, const std::vector<T>& all) {
        MPI_Offset start[4] = {}, count[4] = {};
        const auto& dims = vars_[find(v)].dims;
        for (size_t d = 0; d < dims.size(); ++d) {
            MPI_Offset len = 0;
            ncmpi_inq_dimlen(id_, dims[d], &len);
            count[d] = root() ? len : 0;
        }
        int st;
        if constexpr (std::is_same_v<T, double>)
            st = ncmpi_put_vara_double_all(id_, v, start, count, all.data());
        else if constexpr (std::is_same_v<T, short>)
            st = ncmpi_put_vara_short_all(id_, v, start, count, all.data());
        else if constexpr (std::is_same_v<T, int>)
            st = ncmpi_put_vara_int_all(id_, v, start, count, all.data());
        else
            st = ncmpi_put_vara_text_all(id_, v, start, count, all.data());
        EXPECT_EQ(st, NC_NOERR);
    }
    ~Fixture() { ncmpi_close(id_); }

private:
    struct V {
        int id;
        std::vector<int> dims;
    };
    size_t find(int v) {
        for (size_t n = 0; n < vars_.size(); ++n)
            if (vars_[n].id == v) return n;
        return 0;
    }
    int id_ = -1;
    std::vector<V> vars_;
};

// Tags of the tile-block files, by file column bi and row bj (from 0).
int kb_tag(int bi, int bj) { return (bi + 3 * bj) % 41; }
short mask_tag(int salt, int bi, int bj, int k) { return short((bi * 7 + bj * 13 + salt * 101 + k * 3) % 30000); }
double vec_tag(int v, int n) { return 1000.0 * (v + 1) + n; }
double wind_tag(int m, int gj, int gi, bool y) { return (y ? -1.0 : 1.0) * (gi + 1000.0 * gj + 1.0e6 * m); }

const char* kVectors[18] = {"f",  "tanphi", "csv", "ocsv", "dxv", "odxv", "dyv", "odyv", "y",
                            "ydeg", "yv", "yvdeg", "cs", "ocs", "dx", "odx", "dy", "ody"};
const int kVectorBlock[18] = {48, 48, 49, 49, 49, 49, 49, 49, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50};

struct RealScalar {
    const char* name;
    double v;
};
const RealScalar kReals[16] = {{"dt", 1800.0},  {"tlz", 111.0},  {"b", 3.0},      {"g", 980.0},
                               {"dm0", 2.0e7},  {"de0", 5.0},    {"dmz0", 6.0},   {"rzmx", 7.0},
                               {"drag", 1.3e-3}, {"fltw", 0.25}, {"daodt", 48.0}, {"odt", 0.5},
                               {"prn", 9.0},    {"orzmx", 10.0}, {"ofltw", 11.0}, {"rawf", 0.53}};
const char* kInts[11] = {"ktrm", "lrstrt", "mxit", "isav", "mxsav", "lopen", "lmovi", "mvi", "lfsrf", "lsolver", "lprecon"};

void write_rundata() {
    Fixture f("prepglo/data/rundata.nc");
    const int one = f.dim("one", 1), d5 = f.dim("c5", 5), d63 = f.dim("c63", 63);
    int db[3] = {f.dim("r48", 6 * 48), f.dim("r49", 6 * 49), f.dim("r50", 6 * 50)};
    const int d82 = f.dim("c82", 4 * 82);
    const int vcase = f.var("case", NC_CHAR, {d5}), vdesc = f.var("describ", NC_CHAR, {d63});
    int vr[16], vi[11], vv[18];
    for (int n = 0; n < 16; ++n) vr[n] = f.var(kReals[n].name, NC_DOUBLE, {one});
    for (int n = 0; n < 11; ++n) vi[n] = f.var(kInts[n], NC_INT, {one});
    for (int n = 0; n < 18; ++n) vv[n] = f.var(kVectors[n], NC_DOUBLE, {db[kVectorBlock[n] - 48]});
    const int vx = f.var("xdeg", NC_DOUBLE, {d82});
    f.enddef();
    std::string cs = "abcde", ds(63, 'x');
    ds.replace(0, 12, "tagged input");
    f.put(vcase, std::vector<char>(cs.begin(), cs.end()));
    f.put(vdesc, std::vector<char>(ds.begin(), ds.end()));
    for (int n = 0; n < 16; ++n) f.put(vr[n], std::vector<double>{kReals[n].v});
    for (int n = 0; n < 11; ++n) f.put(vi[n], std::vector<int>{21 + n});
    for (int n = 0; n < 18; ++n) {
        std::vector<double> a(6 * kVectorBlock[n]);
        for (size_t p = 0; p < a.size(); ++p) a[p] = vec_tag(n, int(p));
        f.put(vv[n], a);
    }
    std::vector<double> x(4 * 82);
    for (size_t p = 0; p < x.size(); ++p) x[p] = 0.25 + double(p);
    f.put(vx, x);
}

void write_zkb() {
    Fixture f("prepglo/data/zkb.nc");
    const int one = f.dim("one", 1), dz = f.dim("nz", 81), d40 = f.dim("k40", 40), d41 = f.dim("k41", 41);
    const int r50 = f.dim("r50", 300), r51 = f.dim("r51", 306), c82 = f.dim("c82", 328), c84 = f.dim("c84", 336);
    const int vtlz = f.var("tlz", NC_DOUBLE, {one}), vz = f.var("z", NC_DOUBLE, {dz});
    const int vodz = f.var("odz", NC_DOUBLE, {d40}), vodzw = f.var("odzw", NC_DOUBLE, {d41});
    const int vkb = f.var("kb", NC_SHORT, {r50, c82}), viv0 = f.var("iv0", NC_SHORT, {r51, c82});
    const int viu0 = f.var("iu0", NC_SHORT, {r50, c84}), viw = f.var("iw", NC_SHORT, {d41, r50, c82});
    const int vin = f.var("in", NC_SHORT, {d40, r50, c82}), viv = f.var("iv", NC_SHORT, {d40, r51, c82});
    const int viu = f.var("iu", NC_SHORT, {d40, r50, c84});
    f.enddef();
    f.put(vtlz, std::vector<double>{4321.5});
    std::vector<double> z(81), odz(40), odzw(41);
    for (int n = 0; n < 81; ++n) z[n] = 5000.0 * n;
    for (int n = 0; n < 40; ++n) odz[n] = 1.0 / (10000.0 + n);
    for (int n = 0; n < 41; ++n) odzw[n] = 1.0 / (20000.0 + n);
    f.put(vz, z), f.put(vodz, odz), f.put(vodzw, odzw);
    auto plane = [](int W, int H, int salt) {
        std::vector<short> a(root() ? size_t(W) * H : 0);
        if (!root()) return a;
        for (int bj = 0; bj < H; ++bj)
            for (int bi = 0; bi < W; ++bi) a[size_t(bj) * W + bi] = salt < 0 ? short(kb_tag(bi, bj)) : mask_tag(salt, bi, bj, 0);
        return a;
    };
    auto levels = [](int W, int H, int nk, int salt) {
        std::vector<short> a(root() ? size_t(W) * H * nk : 0);
        if (!root()) return a;
        for (int k = 1; k <= nk; ++k)
            for (int bj = 0; bj < H; ++bj)
                for (int bi = 0; bi < W; ++bi)
                    a[(size_t(k - 1) * H + bj) * W + bi] =
                        salt < 0 ? short(k <= kb_tag(bi, bj) ? 1 : 0) : mask_tag(salt, bi, bj, k);
        return a;
    };
    f.put(vkb, plane(328, 300, -1));
    f.put(viv0, plane(328, 306, 1));
    f.put(viu0, plane(336, 300, 2));
    f.put(viw, levels(328, 300, 41, 3));
    f.put(vin, levels(328, 300, 40, -1));
    f.put(viv, levels(328, 306, 40, 4));
    f.put(viu, levels(336, 300, 40, 5));
}

void write_winds_and_windmix() {
    {
        Fixture f("prepglo/data/windmix.nc");
        const int d = f.dim("k39", 39);
        const int vv = f.var("vbk", NC_DOUBLE, {d}), vh = f.var("hbk", NC_DOUBLE, {d});
        f.enddef();
        std::vector<double> v(39), h(39);
        for (int k = 0; k < 39; ++k) v[k] = 0.5 + k, h[k] = 0.25 + k;
        f.put(vv, v), f.put(vh, h);
    }
    Fixture f("prepglo/data/winds.nc");
    const int dm = f.dim("month", 12), dj = f.dim("lat", 288), di = f.dim("lon", 320);
    const int vx = f.var("tauxs", NC_DOUBLE, {dm, dj, di}), vy = f.var("tauys", NC_DOUBLE, {dm, dj, di});
    f.enddef();
    std::vector<double> x(root() ? 12 * 288 * 320 : 0), y(x.size());
    for (int m = 1; m <= (root() ? 12 : 0); ++m)
        for (int gj = 1; gj <= 288; ++gj)
            for (int gi = 1; gi <= 320; ++gi) {
                const size_t n = (size_t(m - 1) * 288 + gj - 1) * 320 + gi - 1;
                x[n] = wind_tag(m, gj, gi, false), y[n] = wind_tag(m, gj, gi, true);
            }
    f.put(vx, x), f.put(vy, y);
}

class StartupPrepared : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (root()) {
            mkdir("prepglo", 0755);
            mkdir("prepglo/data", 0755);
        }
        MPI_Barrier(ctx().mpicomm.comm3d);
        write_rundata();
        write_zkb();
        write_winds_and_windmix();
        Ctx& c = ctx();
        set_windmix(c);
        set_rundata(c);
        set_zkb(c);
        set_surfwinds(c);
        set_area(c);
    }
};

}  // namespace

TEST_F(StartupPrepared, ConfigurationScalarsAndBlocks) {
    Ctx& c = ctx();
    const int px = c.mpicomm.myidx, py = c.mpicomm.myidy;
    const auto& k = c.controglo;
    const double* reals[16] = {&k.dt,   &k.tlz,  &k.b,     &k.g,   &k.dm0,        &k.de0,       &k.dmz0,       &k.rzmx,
                               &k.drag, &k.fltw, &k.daodt, &c.scaglo.odt, &c.scaglo.prn, &c.scaglo.orzmx, &c.scaglo.ofltw, &k.rawf};
    for (int n = 0; n < 16; ++n)
        if (std::string(kReals[n].name) != "tlz") EXPECT_EQ(*reals[n], kReals[n].v) << kReals[n].name;
    const i32* ints[11] = {&k.ktrm, &k.lrstrt, &k.mxit, &k.isav, &k.mxsav, &k.lopen, &k.lmovi, &k.mvi, &k.lfsrf, &k.lsolver, &k.lprecon};
    for (int n = 0; n < 11; ++n) EXPECT_EQ(*ints[n], 21 + n) << kInts[n];
    EXPECT_EQ(std::string(c.title.case_.c, 5), "abcde");
    EXPECT_EQ(std::string(c.title.describ.c, 12), "tagged input");
    EXPECT_EQ(c.scaglo.nday, 48);
    // tlz is the depth file's, and the heat-flux factor uses that file's ODZ(1).
    EXPECT_EQ(k.tlz, 4321.5);
    EXPECT_EQ(c.scaglo.qfac, 41679.359375 / (1800.0 * (1.0 / 10000.0)));

    auto& m = c.metricglo;
    const double* vecs[18] = {c.bglo.F.data(), c.bglo.TANPHI.data(), m.CSV.data(), m.ocsv.data(), m.dxv.data(),
                              m.odxv.data(),   m.dyv.data(),         m.ODYV.data(), m.y.data(),   m.YDEG.data(),
                              m.yv.data(),     m.yvdeg.data(),       m.cs.data(),  m.OCS.data(),  m.DX.data(),
                              m.ODX.data(),    m.DY.data(),          m.ODY.data()};
    for (int n = 0; n < 18; ++n) {
        const int b = kVectorBlock[n];
        for (int j = 1; j <= b; ++j) EXPECT_EQ(vecs[n][j - 1], vec_tag(n, b * py + j - 1)) << kVectors[n] << j;
    }
    for (int i = 1; i <= NX; ++i) EXPECT_EQ(m.XDEG(i), 0.25 + 82 * px + i - 1);
    for (int kk = 1; kk <= KMM1; ++kk) EXPECT_EQ(c.windmxglo.vbk(kk), 0.5 + kk - 1);
    for (int kk = 1; kk <= KMM1; ++kk) EXPECT_EQ(c.windmxglo.hbk(kk), 0.25 + kk - 1);
}

TEST_F(StartupPrepared, TileBlocksWithHalos) {
    Ctx& c = ctx();
    const int px = c.mpicomm.myidx, py = c.mpicomm.myidy;
    const auto& b = c.bathyglo;
    for (int n = 1; n <= NZT; ++n) EXPECT_EQ(c.zfsglo.Z(n), 5000.0 * (n - 1));
    EXPECT_EQ(c.zfsglo.ODZW(41), 1.0 / 20040.0);
    int bad = 0;
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) {
            bad += b.KB(i, j) != kb_tag(82 * px + i - 1, 50 * py + j - 1);
            bad += b.IN(i, j, 1) != (kb_tag(82 * px + i - 1, 50 * py + j - 1) >= 1 ? 1 : 0);
            for (int k : {1, 41}) bad += b.IW(i, j, k) != mask_tag(3, 82 * px + i - 1, 50 * py + j - 1, k);
        }
    // Face masks: 84 x 50 blocks from column 0, 82 x 51 blocks from row 0.
    for (int j = 1; j <= NY; ++j)
        for (int i = 0; i <= 83; ++i) {
            bad += b.IU0(i, j) != mask_tag(2, 84 * px + i, 50 * py + j - 1, 0);
            for (int k : {1, 40}) bad += b.IU(i, j, k) != mask_tag(5, 84 * px + i, 50 * py + j - 1, k);
        }
    for (int j = 0; j <= 50; ++j)
        for (int i = 1; i <= NX; ++i) {
            bad += b.IV0(i, j) != mask_tag(1, 82 * px + i - 1, 51 * py + j, 0);
            for (int k : {1, 40}) bad += b.IV(i, j, k) != mask_tag(4, 82 * px + i - 1, 51 * py + j, k);
        }
    EXPECT_EQ(bad, 0);
}

TEST_F(StartupPrepared, WindScalingWetCountAndLevelAreas) {
    Ctx& c = ctx();
    const int px = c.mpicomm.myidx, py = c.mpicomm.myidy;
    int bad = 0;
    for (int m : {1, 7, 12})
        for (int j = 1; j <= NYI; ++j)
            for (int i = 1; i <= NXI; ++i) {
                const double wet = c.bathyglo.IN(i + 1, j + 1, 1);
                const int gi = 80 * px + i, gj = 48 * py + j;
                bad += c.windsglo.TAUX(i, j, m) != wet * 10.0 * wind_tag(m, gj, gi, false);
                bad += c.windsglo.TAUY(i, j, m) != wet * 10.0 * wind_tag(m, gj, gi, true);
            }
    EXPECT_EQ(bad, 0);

    // Every interior point counted once: the blocks' interiors of all tiles.
    int wet = 0;
    for (int qy = 0; qy < 6; ++qy)
        for (int qx = 0; qx < 4; ++qx)
            for (int j = 2; j <= 49; ++j)
                for (int i = 2; i <= 81; ++i) wet += kb_tag(82 * qx + i - 1, 50 * qy + j - 1) >= 1;
    EXPECT_EQ(c.scaglo.nwet, wet);

    // A(k) identical on every process, and the wet area of level k.
    for (int k : {1, 20, 40}) {
        double a = c.metricglo.A(k), lo = 0, hi = 0;
        MPI_Allreduce(&a, &lo, 1, MPI_DOUBLE, MPI_MIN, c.mpicomm.comm3d);
        MPI_Allreduce(&a, &hi, 1, MPI_DOUBLE, MPI_MAX, c.mpicomm.comm3d);
        EXPECT_EQ(lo, hi) << k;
        double want = 0;
        for (int qy = 0; qy < 6; ++qy)
            for (int j = 2; j <= 49; ++j) {
                const double dxdy = vec_tag(14, 50 * qy + j - 1) * vec_tag(16, 50 * qy + j - 1);
                for (int qx = 0; qx < 4; ++qx)
                    for (int i = 2; i <= 81; ++i) want += (k <= kb_tag(82 * qx + i - 1, 50 * qy + j - 1)) * dxdy;
            }
        EXPECT_NEAR(a, want, 1.0e-12 * want) << k;
    }
}

namespace {

constexpr double kSentinel = -7.0;

// The value of field n at global column gi (1..320, wrapped), row gj, level k.
int wrap(int gi) { return (gi + 319) % 320 + 1; }
double state_tag(int n, int gi, int gj, int k) { return n + 100.0 * wrap(gi) + 1.0e5 * gj + 1.0e8 * k; }

struct Fields {
    double* f[19];
    int nk[19];
};
Fields restart_fields(Ctx& c) {
    auto& b = c.bglo;
    auto& g = c.cgridglo;
    Fields r{{b.U1.data(), b.U2.data(), b.ULF.data(), b.V1.data(), b.V2.data(), b.VLF.data(), b.T1.data(),
              b.T2.data(), b.TLF.data(), b.S1.data(), b.S2.data(), b.SLF.data(), b.P.data(), g.U.data(), g.W.data(),
              g.V.data(), b.C1.data(), b.C2.data(), b.CLF.data()},
             {}};
    for (int n = 0; n < 19; ++n) r.nk[n] = r.f[n] == g.W.data() ? KMP1 : KM;
    return r;
}
Plane* restart_planes(Ctx& c, int n) {
    auto& t = c.tavgglo;
    Plane* p[8] = {&c.sevp.X, &c.bglo.P0, &t.pbar, &t.pvar, &t.xbar, &t.ucli, &t.vcli, &t.rmsv};
    return p[n];
}

// Every restored member tagged (interior) or set to the sentinel (halo).
void tag_state(Ctx& c, bool interior_tags) {
    Fields fl = restart_fields(c);
    for (int n = 0; n < 19; ++n) {
        auto v = View<double, 3>::shape(fl.f[n], {NX, NY, fl.nk[n]});
        for (int k = 1; k <= fl.nk[n]; ++k)
            for (int j = 1; j <= NY; ++j)
                for (int i = 1; i <= NX; ++i) {
                    const bool halo = i == 1 || i == NX || j == 1 || j == NY;
                    v(i, j, k) = interior_tags && !halo ? state_tag(n, gcol(c, i), grow(c, j), k) : kSentinel;
                }
    }
    for (int n = 0; n < 8; ++n)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                const bool halo = i == 1 || i == NX || j == 1 || j == NY;
                (*restart_planes(c, n))(i, j) = interior_tags && !halo ? state_tag(30 + n, gcol(c, i), grow(c, j), 0) : kSentinel;
            }
    auto& cl = c.climatglo;
    for (int m = 1; m <= NMONTH; ++m)
        for (int j = 1; j <= NYI; ++j)
            for (int i = 1; i <= NXI; ++i) {
                cl.QAVG(i, j, m) = interior_tags ? state_tag(40, gcol(c, i + 1), grow(c, j + 1), m) / 1024.0 : kSentinel;
                if (m == 1) cl.TNUDGE(i, j) = interior_tags ? state_tag(41, gcol(c, i + 1), grow(c, j + 1), 0) : kSentinel;
            }
    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                cl.TCLIM(i, j, k) = interior_tags ? state_tag(42, gcol(c, i), grow(c, j), k) : kSentinel;
                cl.SCLIM(i, j, k) = interior_tags ? state_tag(43, gcol(c, i), grow(c, j), k) : kSentinel;
            }
    for (int m = 1; m <= NMONTH; ++m) cl.NSOMBO(m) = interior_tags ? 4 + m : -1;
    c.scaglo.itf = interior_tags ? 240 : -1;
    c.scaglo.days = interior_tags ? 10.0 : -1.0;
    c.controglo.evap = interior_tags ? 0.125 : -1.0;
    c.controglo.qsum = interior_tags ? -3.5e-7 : -1.0;
    c.controglo.olde = interior_tags ? 1.0 / 3.0 : -1.0;
    c.controglo.oldq = interior_tags ? 2.0 / 7.0 : -1.0;
}

class StartupRestart : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Ctx& c = ctx();
        tag_state(c, true);
        write_rerun(c);
        write_init2nc(c, c.climatglo.SCLIM, c.climatglo.TCLIM);
    }
    // The set is large: removed once read back.
    static void TearDownTestSuite() {
        MPI_Barrier(ctx().mpicomm.comm3d);
        if (root()) {
            for (const char* t : {"u1", "u2", "ul", "v1", "v2", "vl", "t1", "t2", "tl", "s1", "s2", "sl", "pp", "uc",
                                  "wc", "vc", "c1", "c2", "cl", "rerun", "initial"})
                std::remove((std::string("data/") + t + ".nc").c_str());
        }
    }
};

}  // namespace

TEST_F(StartupRestart, RoundTripRestoresEveryMemberAndShiftsTheFaces) {
    Ctx& c = ctx();
    tag_state(c, false);
    c.pnetcdf.ncn3(1) = 7;
    read_rerun(c);
    EXPECT_EQ(c.pnetcdf.ncn3(1), 40);
    EXPECT_EQ(c.scaglo.itf, 240);
    EXPECT_EQ(c.scaglo.days, 10.0);
    EXPECT_EQ(c.controglo.evap, 0.125);
    EXPECT_EQ(c.controglo.qsum, -3.5e-7);
    EXPECT_EQ(c.controglo.olde, 1.0 / 3.0);
    EXPECT_EQ(c.controglo.oldq, 2.0 / 7.0);
    for (int m = 1; m <= NMONTH; ++m) EXPECT_EQ(c.climatglo.NSOMBO(m), 4 + m);

    const int py = c.mpicomm.myidy;
    Fields fl = restart_fields(c);
    long bad = 0;
    for (int n = 0; n < 19; ++n) {
        auto v = View<double, 3>::shape(fl.f[n], {NX, NY, fl.nk[n]});
        const bool u = fl.f[n] == c.cgridglo.U.data(), vv = fl.f[n] == c.cgridglo.V.data();
        for (int k = 1; k <= fl.nk[n]; ++k)
            for (int j = 1; j <= NY; ++j)
                for (int i = 1; i <= NX; ++i) {
                    const bool inner_row = j >= 2 && j <= 49, inner_col = i >= 2 && i <= 81;
                    double want = kSentinel;
                    if (inner_row && inner_col) want = state_tag(n, gcol(c, i), grow(c, j), k);
                    // U's west halo column holds the west neighbour's column 81,
                    // V's south halo row the south neighbour's row 49.
                    if (u && i == 1 && inner_row) want = state_tag(n, gcol(c, i), grow(c, j), k);
                    if (vv && j == 1 && inner_col && py > 0) want = state_tag(n, gcol(c, i), grow(c, j), k);
                    bad += v(i, j, k) != want;
                }
    }
    EXPECT_EQ(bad, 0);
    // The faces file has 41 levels.
    EXPECT_EQ(c.cgridglo.W(40, 30, 41), state_tag(14, gcol(c, 40), grow(c, 30), 41));

    for (int n = 0; n < 8; ++n)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                const bool halo = i == 1 || i == NX || j == 1 || j == NY;
                bad += (*restart_planes(c, n))(i, j) != (halo ? kSentinel : state_tag(30 + n, gcol(c, i), grow(c, j), 0));
            }
    for (int m = 1; m <= NMONTH; ++m)
        for (int j = 1; j <= NYI; ++j)
            for (int i = 1; i <= NXI; ++i) {
                bad += c.climatglo.QAVG(i, j, m) != state_tag(40, gcol(c, i + 1), grow(c, j + 1), m) / 1024.0;
                if (m == 1) bad += c.climatglo.TNUDGE(i, j) != state_tag(41, gcol(c, i + 1), grow(c, j + 1), 0);
            }
    EXPECT_EQ(bad, 0);

    // "ti" goes into the temperature argument, "si" into the salinity one.
    read_initnc(c, c.climatglo.SCLIM, c.climatglo.TCLIM);
    EXPECT_EQ(c.climatglo.TCLIM(5, 6, 7), state_tag(42, gcol(c, 5), grow(c, 6), 7));
    EXPECT_EQ(c.climatglo.SCLIM(5, 6, 7), state_tag(43, gcol(c, 5), grow(c, 6), 7));
}

TEST_F(StartupRestart, TimeStepChangeAndSampleCountReset) {
    Ctx& c = ctx();
    struct Case {
        int itf;
        double days, daodt;
        int nstep;
        double r;
        bool reset;
    } cases[] = {
        {86400, 3600.0, 24.0, 86400, 1.0, true},     // same time step, day 3600: counts reset
        {86424, 3601.0, 48.0, 172848, 0.5, false},  // half the saved time step, day 3601: counts kept
    };
    for (auto& t : cases) {
        c.scaglo.itf = t.itf;
        c.scaglo.days = t.days;
        c.controglo.daodt = t.daodt;
        for (int m = 1; m <= NMONTH; ++m) {
            c.climatglo.NSOMBO(m) = 4 + m;
            for (int j = 1; j <= NYI; ++j)
                for (int i = 1; i <= NXI; ++i)
                    c.climatglo.QAVG(i, j, m) = state_tag(40, gcol(c, i + 1), grow(c, j + 1), m) / 1024.0;
        }
        adjust_restart_step(c);
        EXPECT_EQ(c.scaglo.itf, t.nstep) << t.days;
        EXPECT_EQ(c.scaglo.days, t.days);
        long bad = 0;
        for (int m = 1; m <= NMONTH; ++m) {
            bad += c.climatglo.NSOMBO(m) != (t.reset ? 2 : 4 + m);
            for (int j = 1; j <= NYI; ++j)
                for (int i = 1; i <= NXI; ++i)
                    bad += c.climatglo.QAVG(i, j, m) != t.r * (state_tag(40, gcol(c, i + 1), grow(c, j + 1), m) / 1024.0);
        }
        EXPECT_EQ(bad, 0) << t.days;
    }
}
