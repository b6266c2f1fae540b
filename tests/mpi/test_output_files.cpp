// The model's output files across the 24 tiles: the restart set and its
// temporary names, the save control with its backup, the topography file,
// the history means and the bred-vector rescaling.
#include <gtest/gtest.h>
#include <pnetcdf.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "io/io.hpp"
#include "io/log.hpp"
#include "io/output.hpp"
#include "main/model.hpp"
#include "mpi_fixture.hpp"

using namespace hc;
using hc::test::ctx;
using hc::test::gcol;
using hc::test::grow;

namespace {

// A value that names global point (gi, gj) (from 1), level k and field n.
double tag(int gi, int gj, int k, int n = 0) { return gi + 1000.0 * gj + 1.0e6 * k + 1.0e8 * n; }

bool exists(const std::string& p) {
    struct stat sb;
    return stat(p.c_str(), &sb) == 0;
}

struct Header {
    std::vector<std::string> dims;
    std::vector<MPI_Offset> lens;
    std::vector<std::string> vars;
    std::vector<nc_type> types;
    std::vector<std::string> shapes;  // dimension names joined by ',' (slowest first)
};

// The file's dimensions and variables in their order, read by this process alone.
Header header(const std::string& path) {
    Header h;
    int ncid = -1;
    if (ncmpi_open(MPI_COMM_SELF, path.c_str(), NC_NOWRITE, MPI_INFO_NULL, &ncid) != NC_NOERR) return h;
    int nd = 0, nv = 0;
    ncmpi_inq_ndims(ncid, &nd);
    ncmpi_inq_nvars(ncid, &nv);
    char name[NC_MAX_NAME + 1];
    for (int d = 0; d < nd; ++d) {
        MPI_Offset len = 0;
        ncmpi_inq_dim(ncid, d, name, &len);
        h.dims.push_back(name);
        h.lens.push_back(len);
    }
    for (int v = 0; v < nv; ++v) {
        nc_type t;
        int ndims = 0, dimids[8] = {}, natts = 0;
        ncmpi_inq_varndims(ncid, v, &ndims);
        if (ndims > 8) continue;
        ncmpi_inq_var(ncid, v, name, &t, &ndims, dimids, &natts);
        h.vars.push_back(name);
        h.types.push_back(t);
        std::string s;
        for (int d = 0; d < ndims; ++d) s += (d ? "," : "") + h.dims[dimids[d]];
        h.shapes.push_back(s);
    }
    ncmpi_close(ncid);
    return h;
}

// This process's block of a double variable, read collectively.
std::vector<double> block(Ctx& c, const std::string& path, const char* var, std::vector<MPI_Offset> start,
                          std::vector<MPI_Offset> count) {
    MPI_Offset n = 1;
    for (auto x : count) n *= x;
    std::vector<double> out(n, -999.0);
    int ncid = -1, vid = -1;
    EXPECT_EQ(ncmpi_open(c.mpicomm.comm3d, path.c_str(), NC_NOWRITE, MPI_INFO_NULL, &ncid), NC_NOERR) << path;
    EXPECT_EQ(ncmpi_inq_varid(ncid, var, &vid), NC_NOERR) << var;
    EXPECT_EQ(ncmpi_get_vara_double_all(ncid, vid, start.data(), count.data(), out.data()), NC_NOERR) << var;
    ncmpi_close(ncid);
    return out;
}

// Every member the restart set holds gets a value naming its place.
void fill_state(Ctx& c, int shift) {
    auto& b = c.bglo;
    auto& g = c.cgridglo;
    Field* f3[18] = {&b.U1, &b.U2, &b.ULF, &b.V1, &b.V2, &b.VLF, &b.T1, &b.T2, &b.TLF,
                     &b.S1, &b.S2, &b.SLF, &b.P, &g.U, &g.V, &b.C1, &b.C2, &b.CLF};
    for (int n = 0; n < 18; ++n)
        for (int k = 1; k <= KM; ++k)
            for (int j = 1; j <= NY; ++j)
                for (int i = 1; i <= NX; ++i) (*f3[n])(i, j, k) = tag(gcol(c, i), grow(c, j), k, n + shift);
    for (int k = 1; k <= KMP1; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) g.W(i, j, k) = tag(gcol(c, i), grow(c, j), k, 30 + shift);
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) {
            c.sevp.X(i, j) = tag(gcol(c, i), grow(c, j), 0, 40);
            b.P0(i, j) = tag(gcol(c, i), grow(c, j), 0, 41);
        }
    for (int m = 1; m <= NMONTH; ++m)
        for (int j = 1; j <= NYI; ++j)
            for (int i = 1; i <= NXI; ++i) {
                c.climatglo.QAVG(i, j, m) = tag(gcol(c, i + 1), grow(c, j + 1), m, 42);
                if (m == 1) c.climatglo.TNUDGE(i, j) = tag(gcol(c, i + 1), grow(c, j + 1), 0, 43);
            }
    for (int m = 1; m <= NMONTH; ++m) c.climatglo.NSOMBO(m) = 10 * m;
    c.scaglo.itf = 1234 + shift;
    c.scaglo.days = 25.5;
    c.controglo.evap = 1.5, c.controglo.qsum = -2.5, c.controglo.olde = 3.25, c.controglo.oldq = 4.0;
}

const char* kTags[19] = {"u1", "u2", "ul", "v1", "v2", "vl", "t1", "t2", "tl", "s1",
                         "s2", "sl", "pp", "uc", "wc", "vc", "c1", "c2", "cl"};
const char* kVars[19] = {"u1", "u2", "ulf", "v1", "v2", "vlf", "t1", "t2", "tlf", "s1",
                         "s2", "slf", "p", "u", "w", "v", "c1", "c2", "clf"};
// Field number of each file in fill_state's numbering.
const int kFieldNo[19] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 30, 14, 15, 16, 17};

// The step count of the restart set in place, read collectively.
int saved_itf(Ctx& c) {
    int ncid = -1, v = -1, itf = 0;
    ncmpi_open(c.mpicomm.comm3d, "data/rerun.nc", NC_NOWRITE, MPI_INFO_NULL, &ncid);
    ncmpi_inq_varid(ncid, "itf", &v);
    ncmpi_get_var_int_all(ncid, v, &itf);
    ncmpi_close(ncid);
    return itf;
}

void expect_no_temporaries() {
    for (const char* t : kTags) EXPECT_FALSE(exists(restart_temp_name(std::string("data/") + t + ".nc"))) << t;
    EXPECT_FALSE(exists(restart_temp_name("data/rerun.nc")));
    EXPECT_FALSE(exists("data/restart.journal"));
}

}  // namespace

TEST(OutputRestart, SetLayoutValuesAndFailedSave) {
    Ctx& c = ctx();
    const int px = c.mpicomm.myidx, py = c.mpicomm.myidy;
    fill_state(c, 0);
    write_rerun(c);
    expect_no_temporaries();

    Header h = header("data/rerun.nc");
    EXPECT_EQ(h.dims, (std::vector<std::string>{"latitude", "longitude", "month", "global"}));
    EXPECT_EQ(h.lens, (std::vector<MPI_Offset>{288, 320, 12, 1}));
    EXPECT_EQ(h.vars, (std::vector<std::string>{"itf", "days", "evap", "qsum", "olde", "oldq", "nsombo", "x", "p0",
                                                "qvag", "tnudge", "pbar", "pvar", "xbar", "ucli", "vcli", "rmsv"}));
    EXPECT_EQ(h.types[0], NC_INT);
    EXPECT_EQ(h.types[6], NC_INT);
    EXPECT_EQ(h.types[1], NC_DOUBLE);
    EXPECT_EQ(h.shapes[9], "longitude,latitude,month");
    EXPECT_EQ(h.shapes[7], "longitude,latitude");

    // Scalars and counts, identical from every process.
    {
        int ncid = -1, v = -1, itf = 0, ns[12] = {};
        double sc[5] = {};
        ncmpi_open(c.mpicomm.comm3d, "data/rerun.nc", NC_NOWRITE, MPI_INFO_NULL, &ncid);
        ncmpi_inq_varid(ncid, "itf", &v);
        ncmpi_get_var_int_all(ncid, v, &itf);
        const char* names[5] = {"days", "evap", "qsum", "olde", "oldq"};
        for (int n = 0; n < 5; ++n) {
            ncmpi_inq_varid(ncid, names[n], &v);
            ncmpi_get_var_double_all(ncid, v, &sc[n]);
        }
        ncmpi_inq_varid(ncid, "nsombo", &v);
        ncmpi_get_var_int_all(ncid, v, ns);
        ncmpi_close(ncid);
        EXPECT_EQ(itf, 1234);
        EXPECT_EQ(sc[0], 25.5);
        EXPECT_EQ(sc[2], -2.5);
        EXPECT_EQ(sc[4], 4.0);
        EXPECT_EQ(ns[0], 10);
        EXPECT_EQ(ns[11], 120);
    }
    // 2-D and monthly blocks: latitude (month) fastest, halo never stored.
    auto x = block(c, "data/rerun.nc", "x", {80 * px, 48 * py}, {80, 48});
    auto q = block(c, "data/rerun.nc", "qvag", {80 * px, 48 * py, 0}, {80, 48, 12});
    auto tn = block(c, "data/rerun.nc", "tnudge", {80 * px, 48 * py}, {80, 48});
    auto pv = block(c, "data/rerun.nc", "rmsv", {80 * px, 48 * py}, {80, 48});
    EXPECT_EQ(x[0], c.sevp.X(2, 2));
    EXPECT_EQ(x[1], c.sevp.X(2, 3));
    EXPECT_EQ(x[48], c.sevp.X(3, 2));
    EXPECT_EQ(q[1], c.climatglo.QAVG(1, 1, 2));
    EXPECT_EQ(q[12 * 48 * 80 - 1], c.climatglo.QAVG(80, 48, 12));
    EXPECT_EQ(tn[48 * 80 - 1], c.climatglo.TNUDGE(80, 48));
    EXPECT_EQ(pv[100], 0.0);

    // Every per-field file: its dimensions, its variable, and this process's block.
    for (int f = 0; f < 19; ++f) {
        const std::string path = std::string("data/") + kTags[f] + ".nc";
        const int nk = f == 14 ? 41 : 40;
        Header hf = header(path);
        EXPECT_EQ(hf.dims, (std::vector<std::string>{"level", "latitude", "longitude"})) << path;
        EXPECT_EQ(hf.lens, (std::vector<MPI_Offset>{nk, 288, 320})) << path;
        EXPECT_EQ(hf.vars, std::vector<std::string>{kVars[f]}) << path;
        EXPECT_EQ(hf.shapes.at(0), "longitude,latitude,level") << path;
        auto v = block(c, path, kVars[f], {80 * px, 48 * py, 0}, {80, 48, nk});
        int n = 0, bad = 0;
        for (int i = 2; i <= 81; ++i)
            for (int j = 2; j <= 49; ++j)
                for (int k = 1; k <= nk; ++k)
                    if (v[n++] != tag(gcol(c, i), grow(c, j), k, kFieldNo[f])) ++bad;
        EXPECT_EQ(bad, 0) << path;
    }
    EXPECT_EQ(c.pnetcdf.ncn3(1), 40);

    // A save that cannot complete (a directory in the way of one temporary
    // file makes its create fail) leaves the previous set whole.
    if (c.mpicomm.myid == 0) mkdir(restart_temp_name("data/v2.nc").c_str(), 0755);
    MPI_Barrier(c.mpicomm.comm3d);
    fill_state(c, 50);
    write_rerun(c);
    if (c.mpicomm.myid == 0) rmdir(restart_temp_name("data/v2.nc").c_str());
    MPI_Barrier(c.mpicomm.comm3d);
    expect_no_temporaries();
    EXPECT_EQ(saved_itf(c), 1234);
    auto u1 = block(c, "data/u1.nc", "u1", {80 * px, 48 * py, 0}, {1, 1, 1});
    EXPECT_EQ(u1[0], tag(gcol(c, 2), grow(c, 2), 1, 0));
    fill_state(c, 0);
}

// A state that is not finite anywhere in what the set stores (on one process
// only) is not saved: the previous set stays, nothing is left behind.
TEST(OutputRestart, NonFiniteStateNotSaved) {
    Ctx& c = ctx();
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        int rank;
        double* at;
        double value;
    };
    const Case cases[] = {
        {"qvag", 7, &c.climatglo.QAVG(3, 4, 5), nan},
        {"w at the bottom face", 20, &c.cgridglo.W(81, 49, KMP1), inf},
        {"days", 0, &c.scaglo.days, nan},
        {"rmsv", 23, &c.tavgglo.rmsv(2, 2), -inf},
        {"c1", 11, &c.bglo.C1(40, 30, 40), nan},
    };
    for (const Case& cs : cases) {
        fill_state(c, 60);
        const double keep = *cs.at;
        if (c.mpicomm.myid == cs.rank) *cs.at = cs.value;
        if (c.mpicomm.myid == 0) testing::internal::CaptureStdout();
        write_rerun(c);
        if (c.mpicomm.myid == 0) {
            const std::string out = testing::internal::GetCapturedStdout();
            EXPECT_EQ(out, " restart set not saved: the state holds values that are not finite; the previous files "
                           "are kept\n")
                << cs.what;
        }
        *cs.at = keep;
        expect_no_temporaries();
        EXPECT_EQ(saved_itf(c), 1234) << cs.what;
    }
    fill_state(c, 0);
}

// A rename that fails half-way through the commit makes the save "not
// saved" and says so; the journal left behind completes that save before
// the next one writes, which then goes through.
TEST(OutputRestart, FailedRenameCompletedByTheNextSave) {
    Ctx& c = ctx();
    const bool root = c.mpicomm.myid == 0;
    if (root) {
        std::rename("data/u2.nc", "data/u2.nc.keep");
        mkdir("data/u2.nc", 0755);
        std::ofstream("data/u2.nc/in-the-way") << "x";
    }
    MPI_Barrier(c.mpicomm.comm3d);
    fill_state(c, 70);
    if (root) testing::internal::CaptureStdout();
    write_rerun(c);
    if (root) {
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(" cannot move data/u2.nc.tmp to data/u2.nc: "), std::string::npos) << out;
        EXPECT_NE(out.find(" restart set not saved: the files are moved into place from data/restart.journal at "
                           "the next save or start\n"),
                  std::string::npos)
            << out;
        EXPECT_TRUE(exists("data/restart.journal"));
        std::filesystem::remove_all("data/u2.nc");
        std::filesystem::remove("data/u2.nc.keep");
    }
    MPI_Barrier(c.mpicomm.comm3d);
    auto u1 = block(c, "data/u1.nc", "u1", {80 * c.mpicomm.myidx, 48 * c.mpicomm.myidy, 0}, {1, 1, 1});
    EXPECT_EQ(u1[0], tag(gcol(c, 2), grow(c, 2), 1, 70));  // moved before the failure

    fill_state(c, 80);
    if (root) testing::internal::CaptureStdout();
    write_rerun(c);
    if (root) {
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, " restart files: the interrupted save recorded in data/restart.journal was completed; the "
                       "new files are in place\n")
            << out;
        EXPECT_FALSE(exists("data/restart.journal"));
    }
    expect_no_temporaries();
    EXPECT_EQ(saved_itf(c), 1234 + 80);
    auto u2 = block(c, "data/u2.nc", "u2", {80 * c.mpicomm.myidx, 48 * c.mpicomm.myidy, 0}, {1, 1, 1});
    EXPECT_EQ(u2[0], tag(gcol(c, 2), grow(c, 2), 1, 81));
    fill_state(c, 0);
    write_rerun(c);
}

// With the window over the whole grid, the velocity perturbation of levels
// 1..30 is scaled to the target; T and S follow with the same factor; the
// perturbation below level 30 and on land is removed.
TEST(OutputBred, RescalingAndInitialWindow) {
    Ctx& c = ctx();
    auto& b = c.bglo;
    auto& bt = c.bathyglo;
    for (int k = 1; k <= KM; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) bt.IN(i, j, k) = (gcol(c, i) + grow(c, j) + k) % 5 == 0 ? 0 : 1;
    // The control: the set of the test before, or a new one when run alone.
    fill_state(c, 0);
    if (!exists("data/u1.nc")) write_rerun(c);
    // Global count of water points of levels 1..30 gives the expected size.
    double wet = 0.0, wet_all = 0.0;
    for (int k = 1; k <= 30; ++k)
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) wet += bt.IN(i, j, k);
    MPI_Allreduce(&wet, &wet_all, 1, MPI_DOUBLE, MPI_SUM, c.mpicomm.comm3d);

    c.bred.IBRED.fill(1);
    c.bred.ke1norm = 3.0;
    c.bred.ke2norm = 1.0;
    c.bred.kelnorm = 2.0;
    for (int k = 1; k <= KM; ++k)
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) {
                b.U1(i, j, k) += 2.0;  // size 4 per water point
                b.T1(i, j, k) += 1.0;
                b.S1(i, j, k) -= 1.0;
                if (k > 30) b.VLF(i, j, k) += 7.0;  // outside the scheme only
                b.T2(i, j, k) += 0.5;              // level 2: no velocity perturbation
            }
    if (c.mpicomm.myid == 0) testing::internal::CaptureStdout();
    rescbred(c);
    std::string out;
    if (c.mpicomm.myid == 0) out = testing::internal::GetCapturedStdout();

    const double factor = 3.0 / std::sqrt(4.0 * wet_all);
    int bad = 0, nan = 0;
    for (int k = 1; k <= KM; ++k)
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) {
                const int gi = gcol(c, i), gj = grow(c, j);
                const double in = (k <= 30) ? bt.IN(i, j, k) : 0.0;
                auto near = [](double a, double e) { return std::fabs(a - e) <= 1e-9 * (1 + std::fabs(e)); };
                if (!near(b.U1(i, j, k), tag(gi, gj, k, 0) + in * factor * 2.0)) ++bad;
                if (!near(b.T1(i, j, k), tag(gi, gj, k, 6) + in * factor * 1.0)) ++bad;
                if (!near(b.S1(i, j, k), tag(gi, gj, k, 9) - in * factor * 1.0)) ++bad;
                if (b.VLF(i, j, k) != tag(gi, gj, k, 5)) ++bad;
                // Level 2 has no size: its temperature keeps the perturbation unscaled above level 31.
                if (!near(b.T2(i, j, k), tag(gi, gj, k, 7) + in * 0.5)) ++bad;
                if (std::isnan(b.U2(i, j, k)) || std::isnan(b.T2(i, j, k))) ++nan;
            }
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(nan, 0);
    if (c.mpicomm.myid == 0) {
        EXPECT_NE(out.find(" bred ke1 factor ="), std::string::npos) << out;
        EXPECT_NE(out.find(" bred ke2: perturbation size 0 gives no finite factor; kept unscaled"), std::string::npos)
            << out;
        EXPECT_NE(out.find(" bred kel: perturbation size 0"), std::string::npos) << out;
    }

    // Bred mode through the save control at the first and last step of a
    // run: initbred takes an empty window on this grid (every target zero,
    // the model arrays left holding the control), the save step rescales
    // without a factor and writes no restart set.
    fill_state(c, 0);
    c.bglo.U2(5, 5, 5) += 1.0;
    c.bred.IBRED.fill(1);
    c.bred.ke2norm = 9.0;
    c.bred.lbred = 1;
    c.scaglo.itf = 1;
    c.scaglo.nday = 1;
    c.fullopt.noutd = 30;
    c.controglo.mxit = 1;
    if (c.mpicomm.myid == 0) testing::internal::CaptureStdout();
    EXPECT_TRUE(save_control(c));
    if (c.mpicomm.myid == 0) out = testing::internal::GetCapturedStdout();
    c.bred.lbred = 0;
    int ones = 0;
    for (int j = 1; j <= NYI; ++j)
        for (int i = 1; i <= NXI; ++i) ones += c.bred.IBRED(i, j);
    EXPECT_EQ(ones, 0);
    EXPECT_EQ(c.bred.ke1norm, 0.0);
    EXPECT_EQ(c.bred.ke2norm, 0.0);
    EXPECT_EQ(c.bred.kelnorm, 0.0);
    EXPECT_EQ(c.bglo.U2(5, 5, 5), tag(gcol(c, 5), grow(c, 5), 5, 1));
    if (c.mpicomm.myid == 0) {
        EXPECT_EQ(out.rfind(" bred ke1 factor = 0 bred ke1 =  0\n bred ke2 factor = 0 bred ke2 =  0\n"
                            " bred kelf factor = 0 bred kelf =  0\n write rerun file\n",
                            0),
                  0u)
            << out;
        EXPECT_NE(out.find(" bred kel: perturbation size 0 gives no finite factor; kept unscaled"), std::string::npos);
    }
    int ncid = -1, v = -1, itf = 0;
    ncmpi_open(c.mpicomm.comm3d, "data/rerun.nc", NC_NOWRITE, MPI_INFO_NULL, &ncid);
    ncmpi_inq_varid(ncid, "itf", &v);
    ncmpi_get_var_int_all(ncid, v, &itf);
    ncmpi_close(ncid);
    EXPECT_NE(itf, 1);
}

// The switch is an optional variable of the configuration file.
TEST(OutputBred, SwitchFromTheConfiguration) {
    Ctx& c = ctx();
    if (c.mpicomm.myid == 0) std::filesystem::create_directories("prepglo/data");
    MPI_Barrier(c.mpicomm.comm3d);
    for (int lbred : {-1, 1}) {
        int ncid = -1, d = -1, v = -1;
        ncmpi_create(c.mpicomm.comm3d, "prepglo/data/rundata.nc", NC_64BIT_OFFSET, MPI_INFO_NULL, &ncid);
        ncmpi_def_dim(ncid, "global", 1, &d);
        ncmpi_def_var(ncid, lbred < 0 ? "mxit" : "lbred", NC_INT, 1, &d, &v);
        ncmpi_enddef(ncid);
        const int one = 1;
        ncmpi_put_var_int_all(ncid, v, &one);
        ncmpi_close(ncid);
        c.bred.lbred = 7;
        read_bred_switch(c);
        EXPECT_EQ(c.bred.lbred, lbred < 0 ? 0 : 1);
    }
    c.bred.lbred = 0;
}

// Step 10800 of a run of one step per day backs the set up into opt030,
// step 21600 into opt060; the last step ends the run without a log line.
TEST(OutputSave, BackupLogAndEnd) {
    Ctx& c = ctx();
    if (!c.io.log) init_io(c);
    // Small stand-ins for the files of the set: the copy is what is tested.
    std::vector<std::string> files = {"rerun.nc", "initial.nc"};
    for (const char* t : kTags) files.push_back(std::string(t) + ".nc");
    auto stand_ins = [&](const std::string& text) {
        if (c.mpicomm.myid == 0)
            for (const auto& f : files) std::ofstream("data/" + f) << text << f;
        MPI_Barrier(c.mpicomm.comm3d);
    };
    if (c.mpicomm.myid == 0) {
        for (const char* d : {"opt030", "opt030.1", "opt060"}) std::filesystem::remove_all(d);
        // An earlier run's backup of the same number is kept aside.
        std::filesystem::create_directory("opt030");
        std::ofstream("opt030/rerun.nc") << "earlier";
    }
    stand_ins("first:");
    c.fullopt.noutd = 30;
    c.scaglo.nday = 1;
    c.controglo.mxit = 21601;
    c.bred.lbred = 2;  // neither a save nor the rescaling: the set stays as written
    c.scaglo.iday = 30, c.scaglo.iyear = 31;

    if (c.mpicomm.myid == 0) testing::internal::CaptureStdout();
    c.scaglo.itf = 10799;
    EXPECT_FALSE(save_control(c));
    c.scaglo.itf = 10800;
    EXPECT_FALSE(save_control(c));
    std::string out;
    if (c.mpicomm.myid == 0) out = testing::internal::GetCapturedStdout();
    stand_ins("second:");
    if (c.mpicomm.myid == 0) testing::internal::CaptureStdout();
    c.scaglo.itf = 21600;
    c.scaglo.iyear = 61;
    EXPECT_FALSE(save_control(c));
    c.scaglo.itf = 21601;
    c.scaglo.iday = 31;
    EXPECT_TRUE(save_control(c));
    if (c.mpicomm.myid == 0) {
        out += testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, " write rerun file\n earlier opt030 moved to opt030.1\n saving rerun files in opt 30\n"
                       " write rerun file\n saving rerun files in opt 60\n write rerun file\n");
        std::ifstream earlier("opt030.1/rerun.nc");
        std::string kept;
        earlier >> kept;
        EXPECT_EQ(kept, "earlier");
        for (const char* dir : {"opt030", "opt060"})
            for (const auto& f : files) {
                std::ifstream copy(std::string(dir) + "/" + f);
                std::string text;
                copy >> text;
                EXPECT_EQ(text, (std::string(dir) == "opt030" ? "first:" : "second:") + f) << dir;
            }
    }
    log_flush(c);
    std::ifstream log(std::string("data/glo") + c.grdglo.name);
    std::vector<std::string> lines;
    for (std::string l; std::getline(log, l);) lines.push_back(l);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "save at day  30, year 31");
    EXPECT_EQ(lines[lines.size() - 2], "save at day  30, year 31");
    EXPECT_EQ(lines[lines.size() - 1], "save at day  30, year 61");
    c.bred.lbred = 0;
    MPI_Barrier(c.mpicomm.comm3d);
    if (c.mpicomm.myid == 0)
        for (const char* d : {"opt030", "opt030.1", "opt060"}) std::filesystem::remove_all(d);
}

// Two saves in one run, at the ends of days 30 and 60: the second set
// replaces the first whole, and no temporary file is left.
TEST(OutputSave, SecondSaveReplacesTheFirst) {
    Ctx& c = ctx();
    const int px = c.mpicomm.myidx, py = c.mpicomm.myidy;
    c.fullopt.noutd = 30;
    c.scaglo.nday = 1;
    c.controglo.mxit = 100;
    c.bred.lbred = 0;
    auto saved = [&](const char* tag_name, const char* var) {
        int ncid = -1, v = -1, itf = 0;
        ncmpi_open(c.mpicomm.comm3d, "data/rerun.nc", NC_NOWRITE, MPI_INFO_NULL, &ncid);
        ncmpi_inq_varid(ncid, "itf", &v);
        ncmpi_get_var_int_all(ncid, v, &itf);
        ncmpi_close(ncid);
        auto f = block(c, std::string("data/") + tag_name + ".nc", var, {80 * px, 48 * py, 0}, {1, 1, 1});
        return std::make_pair(itf, f[0]);
    };
    for (int n : {1, 2}) {
        fill_state(c, 3 * n);
        c.scaglo.itf = 30 * n;
        if (c.mpicomm.myid == 0) testing::internal::CaptureStdout();
        EXPECT_FALSE(save_control(c));
        if (c.mpicomm.myid == 0) {
            EXPECT_EQ(testing::internal::GetCapturedStdout(), " write rerun file\n");
        }
        expect_no_temporaries();
        const auto [itf, t1] = saved("t1", "t1");
        EXPECT_EQ(itf, 30 * n);
        EXPECT_EQ(t1, tag(gcol(c, 2), grow(c, 2), 1, 6 + 3 * n));
        EXPECT_EQ(saved("wc", "w").second, tag(gcol(c, 2), grow(c, 2), 1, 30 + 3 * n));
    }
    fill_state(c, 0);
}

// What a killed save leaves in data/ (stand-in files: "old" for the set in
// place, "new" for the save's temporary files), put right at the next start:
// a whole journal completes the save, anything else restores the previous set.
TEST(OutputCommit, InterruptedSaveSettled) {
    Ctx& c = ctx();
    const bool root = c.mpicomm.myid == 0;
    std::vector<std::string> set;
    for (const char* t : kTags) set.push_back(std::string("data/") + t + ".nc");
    set.push_back("data/rerun.nc");
    const std::string journal = "data/restart.journal";
    auto text = [](const std::string& p) {
        std::ifstream f(p);
        std::string s;
        f >> s;
        return s;
    };
    auto write = [](const std::string& p, const std::string& s) { std::ofstream(p) << s << "\n"; };
    struct Case {
        const char* what;
        int renamed;         // files of the set already moved into place
        int temporaries;     // temporary files written (after the renamed ones)
        const char* ending;  // journal's last line; null: no journal
        const char* extra;   // a further journal line
        bool ok;
        const char* want;    // content of every file of the set afterwards
        const char* message;
    };
    const Case cases[] = {
        {"whole journal, 7 renamed", 7, 13, "end", nullptr, true, "new",
         " restart files: the interrupted save recorded in data/restart.journal was completed; the new files are in "
         "place\n"},
        {"whole journal, all renamed", 20, 0, "end", nullptr, true, "new",
         " restart files: the interrupted save recorded in data/restart.journal was completed; the new files are in "
         "place\n"},
        {"journal cut short", 0, 20, "data/rerun.nc", nullptr, true, "old",
         " restart files: 20 temporary files of an unfinished save removed; the previous files are kept\n"},
        {"no journal, some written", 0, 3, nullptr, nullptr, true, "old",
         " restart files: 3 temporary files of an unfinished save removed; the previous files are kept\n"},
        {"journal naming another file", 0, 20, "end", "data/brinex_gasx.nc", true, "old",
         " restart files: 20 temporary files of an unfinished save removed; the previous files are kept\n"},
        {"nothing left behind", 0, 0, nullptr, nullptr, true, "old", ""},
        {"a rename that fails", 0, 20, "end", nullptr, false, nullptr, nullptr},
    };
    for (const Case& cs : cases) {
        if (root) {
            std::filesystem::remove_all("data/rerun.nc");
            for (int f = 0; f < 20; ++f) {
                write(set[f], f < cs.renamed ? "new" : "old");
                if (f >= cs.renamed && f < cs.renamed + cs.temporaries) write(restart_temp_name(set[f]), "new");
            }
            write("data/brinex_gasx.nc.tmp", "new");
            write("data/brinex_gasx.nc", "old");
            if (cs.ending) {
                std::ofstream j(journal);
                for (const auto& p : set) j << p << "\n";
                if (cs.extra) j << cs.extra << "\n";
                if (std::string(cs.ending) == "end") j << "end\n";
            }
            if (!cs.ok) {  // a directory in the way of the last rename
                std::filesystem::remove("data/rerun.nc");
                std::filesystem::create_directories("data/rerun.nc/in-the-way");
            }
            testing::internal::CaptureStdout();
        }
        MPI_Barrier(c.mpicomm.comm3d);
        const bool ok = settle_restart_files(c);
        EXPECT_EQ(ok, cs.ok) << cs.what;
        if (root) {
            const std::string out = testing::internal::GetCapturedStdout();
            if (cs.message) EXPECT_EQ(out, cs.message) << cs.what;
            if (!cs.ok) EXPECT_NE(out.find(" cannot move data/rerun.nc.tmp to data/rerun.nc: "), std::string::npos) << out;
            if (cs.want) {
                for (const auto& p : set) EXPECT_EQ(text(p), cs.want) << cs.what << ": " << p;
                EXPECT_FALSE(exists(journal)) << cs.what;
                for (const auto& p : set) EXPECT_FALSE(exists(restart_temp_name(p))) << cs.what << ": " << p;
            } else {
                EXPECT_TRUE(exists(journal)) << cs.what;
            }
            // Files outside the restart set are never moved.
            EXPECT_EQ(text("data/brinex_gasx.nc"), "old") << cs.what;
            EXPECT_EQ(text("data/brinex_gasx.nc.tmp"), "new") << cs.what;
            std::filesystem::remove_all("data/rerun.nc");
            std::filesystem::remove(journal);
            for (const auto& p : set) std::filesystem::remove(restart_temp_name(p));
            std::filesystem::remove("data/brinex_gasx.nc");
            std::filesystem::remove("data/brinex_gasx.nc.tmp");
        }
        MPI_Barrier(c.mpicomm.comm3d);
    }
}

TEST(OutputTopo, DimensionsOrderAndValues) {
    Ctx& c = ctx();
    const int px = c.mpicomm.myidx, py = c.mpicomm.myidy;
    if (c.mpicomm.myid == 0) mkdir("../output", 0755);
    MPI_Barrier(c.mpicomm.comm3d);
    for (int n = 1; n <= NZT; ++n) c.zfsglo.Z(n) = 10.0 * n;
    for (int j = 1; j <= NY; ++j) c.metricglo.YDEG(j) = grow(c, j) * 0.5;
    for (int i = 1; i <= NX; ++i) c.metricglo.XDEG(i) = gcol(c, i) * 1.125;
    auto& bt = c.bathyglo;
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) {
            const int gi = gcol(c, i), gj = grow(c, j);
            bt.KB(i, j) = i16((gi + gj) % 41);
            c.nudging.S_NUDGE(i, j) = tag(gi, gj, 0, 1);
            c.nudging.T_NUDGE(i, j) = tag(gi, gj, 0, 2);
            for (int k = 1; k <= KMP1; ++k) {
                c.nudging.HMEAN_NUDGE(i, j, k) = tag(gi, gj, k, 3);
                bt.IW(i, j, k) = i16(k <= bt.KB(i, j) ? 1 : 0);
                if (k <= KM) bt.IN(i, j, k) = bt.IW(i, j, k);
                if (k <= KM)
                    for (int m = 1; m <= NMONTH; ++m) {
                        c.climatglo.SCLIS(i, j, k, m) = tag(gi, gj, k, m + 10);
                        c.climatglo.TCLIS(i, j, k, m) = -tag(gi, gj, k, m + 10);
                    }
            }
        }
    for (int m = 1; m <= NMONTH; ++m)
        for (int j = 1; j <= NYI; ++j)
            for (int i = 1; i <= NXI; ++i) c.windsglo.TAUX(i, j, m) = tag(gcol(c, i + 1), grow(c, j + 1), m, 4);
    write_topo(c);

    Header h = header("../output/topo.nc");
    EXPECT_EQ(h.dims, (std::vector<std::string>{"level-center", "level-face", "latitude", "longitude", "month"}));
    EXPECT_EQ(h.lens, (std::vector<MPI_Offset>{40, 41, 288, 320, 12}));
    EXPECT_EQ(h.vars, (std::vector<std::string>{"lev_c", "lev_f", "lat", "lon", "s_nudge", "t_nudge", "hmean_nudge",
                                                "taux", "tauy", "sclis", "tclis", "kb", "mask", "mask_w"}));
    EXPECT_EQ(h.shapes[9], "month,level-center,latitude,longitude");
    EXPECT_EQ(h.shapes[6], "level-center,latitude,longitude");
    EXPECT_EQ(h.types[11], NC_INT);
    EXPECT_EQ(h.types[13], NC_INT);

    auto levf = block(c, "../output/topo.nc", "lev_f", {0}, {41});
    auto levc = block(c, "../output/topo.nc", "lev_c", {0}, {40});
    EXPECT_EQ(levf[40], 810.0);  // the bottom of level 40
    EXPECT_EQ(levf[0], 10.0);
    EXPECT_EQ(levc[0], 20.0);
    auto lat = block(c, "../output/topo.nc", "lat", {0}, {288});
    auto lon = block(c, "../output/topo.nc", "lon", {0}, {320});
    EXPECT_EQ(lat[287], 288 * 0.5);
    EXPECT_EQ(lon[0], 1.125);
    // Longitude fastest; no mask applied.
    auto hm = block(c, "../output/topo.nc", "hmean_nudge", {39, 48 * py, 80 * px}, {1, 48, 80});
    EXPECT_EQ(hm[1], tag(gcol(c, 3), grow(c, 2), 40, 3));
    auto sc = block(c, "../output/topo.nc", "sclis", {11, 39, 48 * py, 80 * px}, {1, 1, 48, 80});
    EXPECT_EQ(sc[80], tag(gcol(c, 2), grow(c, 3), 40, 22));
    auto tx = block(c, "../output/topo.nc", "taux", {2, 48 * py, 80 * px}, {1, 48, 80});
    EXPECT_EQ(tx[0], c.windsglo.TAUX(1, 1, 3));
    std::vector<int> kb(3840);
    int ncid = -1, v = -1;
    ncmpi_open(c.mpicomm.comm3d, "../output/topo.nc", NC_NOWRITE, MPI_INFO_NULL, &ncid);
    ncmpi_inq_varid(ncid, "kb", &v);
    MPI_Offset st[2] = {48 * py, 80 * px}, cn[2] = {48, 80};
    ncmpi_get_vara_int_all(ncid, v, st, cn, kb.data());
    ncmpi_close(ncid);
    EXPECT_EQ(kb[81], bt.KB(3, 3));
    MPI_Barrier(c.mpicomm.comm3d);
    if (c.mpicomm.myid == 0) std::remove("../output/topo.nc");
}

// Thirty steps of one step per day give one file holding the mean of the
// steps: every one of the twelve means under its own name (each field holds
// values of its own), land written as zero; "qavg" is the correction as held
// at the step of the write, although it changes from step to step.
TEST(OutputHistory, MeanOfAPeriod) {
    Ctx& c = ctx();
    const int px = c.mpicomm.myidx, py = c.mpicomm.myidy;
    if (c.mpicomm.myid == 0) mkdir("../output", 0755);
    if (c.mpicomm.myid == 0) std::remove("../output/d001_030.nc");
    MPI_Barrier(c.mpicomm.comm3d);
    auto& b = c.bglo;
    auto& bt = c.bathyglo;
    for (int k = 1; k <= KMP1; ++k)
        for (int j = 1; j <= NY; ++j)
            for (int i = 1; i <= NX; ++i) {
                const bool land = (gcol(c, i) + grow(c, j) + k) % 7 == 0;
                bt.IW(i, j, k) = land ? 0 : 1;
                if (k <= KM) bt.IN(i, j, k) = land ? 0 : 1;
            }
    c.fullopt.noutd = 30;
    c.scaglo.nday = 1;
    c.controglo.daodt = 1.0;
    c.fullopt.wavg = 1.0 / 30.0;
    struct Centre {
        const char* var;
        Field* f;
    };
    const Centre centres[9] = {{"pressure", &b.P},    {"u-velocity", &b.U2},      {"v-velocity", &b.V2},
                               {"temperature", &b.T2}, {"salinity", &b.S2},        {"dmx", &c.filterglo.DMX},
                               {"dmy", &c.filterglo.DMY}, {"rho", &b.RHO},          {"cfc11", &b.C2}};

    for (int itf = 1; itf <= 30; ++itf) {
        EXPECT_FALSE(exists("../output/d001_030.nc")) << itf;
        c.scaglo.itf = itf;
        Calendar k = calendar(itf, c.controglo.daodt);
        c.scaglo.iyear = k.iyear, c.scaglo.iday = k.iday, c.scaglo.days = k.days;
        // Centre field n steps through itf from its own tag; EV and HV hold
        // their interface number, apart by 50; W is constant; QAVG changes.
        for (int n = 0; n < 9; ++n)
            for (int kk = 1; kk <= KM; ++kk)
                for (int j = 1; j <= NY; ++j)
                    for (int i = 1; i <= NX; ++i) (*centres[n].f)(i, j, kk) = tag(gcol(c, i), grow(c, j), kk, n) + itf;
        for (int kk = 1; kk <= KMM1; ++kk)
            for (int j = 1; j <= NYI; ++j)
                for (int i = 1; i <= NXI; ++i) {
                    b.EV(i, j, kk) = 100.0 * kk + itf;
                    b.HV(i, j, kk) = 100.0 * kk + 50.0 + itf;
                }
        c.cgridglo.W.fill(-0.5);
        for (int m = 1; m <= NMONTH; ++m)
            for (int j = 1; j <= NYI; ++j)
                for (int i = 1; i <= NXI; ++i) c.climatglo.QAVG(i, j, m) = -tag(gcol(c, i + 1), grow(c, j + 1), m) - itf;
        write_hist(c);
        MPI_Barrier(c.mpicomm.comm3d);
    }
    const std::string f = "../output/d001_030.nc";
    ASSERT_TRUE(exists(f));
    Header h = header(f);
    EXPECT_EQ(h.dims, (std::vector<std::string>{"level-center", "level-face", "latitude", "longitude", "month"}));
    EXPECT_EQ(h.vars, (std::vector<std::string>{"pressure", "u-velocity", "v-velocity", "temperature", "salinity",
                                                "dmx", "dmy", "rho", "cfc11", "w-velocity", "hv", "ev", "qavg"}));
    EXPECT_EQ(h.shapes[11], "level-face,latitude,longitude");
    EXPECT_EQ(h.shapes[12], "month,latitude,longitude");

    for (int v = 0; v < 9; ++v) {
        auto t = block(c, f, centres[v].var, {0, 48 * py, 80 * px}, {40, 48, 80});
        int n = 0, bad_t = 0, bad_land = 0;
        for (int k = 1; k <= KM; ++k)
            for (int j = 2; j <= 49; ++j)
                for (int i = 2; i <= 81; ++i, ++n) {
                    const double want = tag(gcol(c, i), grow(c, j), k, v) + 15.5;
                    if (bt.IN(i, j, k) == 0) {
                        if (t[n] != 0.0) ++bad_land;
                    } else if (std::fabs(t[n] - want) > 1e-9 * std::fabs(want)) {
                        ++bad_t;
                    }
                }
        EXPECT_EQ(bad_t, 0) << centres[v].var;
        EXPECT_EQ(bad_land, 0) << centres[v].var;
    }
    auto ev = block(c, f, "ev", {0, 48 * py, 80 * px}, {41, 48, 80});
    auto hv = block(c, f, "hv", {0, 48 * py, 80 * px}, {41, 48, 80});
    auto w = block(c, f, "w-velocity", {0, 48 * py, 80 * px}, {41, 48, 80});
    auto q = block(c, f, "qavg", {0, 48 * py, 80 * px}, {12, 48, 80});
    int bad_ev = 0, bad_hv = 0, bad_w = 0, n = 0;
    for (int k = 1; k <= KMP1; ++k)
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i, ++n) {
                const bool inner = k != 1 && k != KMP1;
                const double want_ev = inner ? bt.IW(i, j, k) * (100.0 * (k - 1) + 15.5) : 0.0;
                const double want_hv = inner ? bt.IW(i, j, k) * (100.0 * (k - 1) + 65.5) : 0.0;
                if (std::fabs(ev[n] - want_ev) > 1e-9 * (1 + want_ev)) ++bad_ev;
                if (std::fabs(hv[n] - want_hv) > 1e-9 * (1 + want_hv)) ++bad_hv;
                if (std::fabs(w[n] - bt.IW(i, j, k) * -0.5) > 1e-12) ++bad_w;
            }
    EXPECT_EQ(bad_ev, 0);
    EXPECT_EQ(bad_hv, 0);
    EXPECT_EQ(bad_w, 0);
    int bad_q = 0;
    n = 0;
    for (int m = 1; m <= NMONTH; ++m)
        for (int j = 1; j <= 48; ++j)
            for (int i = 1; i <= 80; ++i, ++n)
                if (q[n] != -tag(gcol(c, i + 1), grow(c, j + 1), m) - 30.0) ++bad_q;  // unmasked, as held at step 30
    EXPECT_EQ(bad_q, 0);
    // The means start again from zero.
    EXPECT_EQ(c.histavg.TAVG(10, 10, 5), 0.0);
    EXPECT_EQ(c.histavg.EVAVG(10, 10, 5), 0.0);
    MPI_Barrier(c.mpicomm.comm3d);
    if (c.mpicomm.myid == 0) std::remove(f.c_str());

    // Without ../output the next period's file cannot be created: the
    // failure is reported, nothing else is tried, the means start again.
    if (c.mpicomm.myid == 0) std::rename("../output", "../output_away");
    MPI_Barrier(c.mpicomm.comm3d);
    c.scaglo.itf = 60;
    c.scaglo.iyear = 1, c.scaglo.iday = 60;
    if (c.mpicomm.myid == 0) testing::internal::CaptureStdout();
    write_hist(c);
    std::string out;
    if (c.mpicomm.myid == 0) out = testing::internal::GetCapturedStdout();
    MPI_Barrier(c.mpicomm.comm3d);
    if (c.mpicomm.myid == 0) std::rename("../output_away", "../output");
    EXPECT_EQ(c.histavg.TAVG(10, 10, 5), 0.0);
    if (c.mpicomm.myid == 0) {
        EXPECT_EQ(out.rfind(" write output\n cannot create ../output/d001_060.nc: No such file or directory\n\n"
                            "pnetcdf error: ",
                            0),
                  0u)
            << out;
    }
    MPI_Barrier(c.mpicomm.comm3d);
}

// A history file of the same name from an earlier run is moved aside under
// the first free number, with one line, before the new one is written.
TEST(OutputHistory, EarlierFileKept) {
    Ctx& c = ctx();
    const bool root = c.mpicomm.myid == 0;
    const std::string f = "../output/d001_030.nc";
    if (root) {
        std::filesystem::remove(f + ".2");
        std::ofstream(f) << "earlier";
        std::ofstream(f + ".1") << "earliest";
    }
    MPI_Barrier(c.mpicomm.comm3d);
    c.fullopt.noutd = 30;
    c.scaglo.nday = 1;
    c.scaglo.itf = 30;
    c.scaglo.iyear = 1, c.scaglo.iday = 30;
    if (root) testing::internal::CaptureStdout();
    write_hist(c);
    if (root) {
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, " write output\n earlier ../output/d001_030.nc moved to ../output/d001_030.nc.2\n");
        auto first = [](const std::string& p) {
            std::ifstream in(p);
            std::string s;
            in >> s;
            return s;
        };
        EXPECT_EQ(first(f + ".1"), "earliest");
        EXPECT_EQ(first(f + ".2"), "earlier");
    }
    Header h = header(f);
    EXPECT_EQ(h.vars.size(), 13u);
    MPI_Barrier(c.mpicomm.comm3d);
    if (root)
        for (const char* x : {"", ".1", ".2"}) std::filesystem::remove(f + x);
    MPI_Barrier(c.mpicomm.comm3d);
}
