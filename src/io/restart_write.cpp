// The restart set ("data/rerun.nc" and 19 per-field files) and the
// initial-state file "data/initial.nc".
//
// Every file of the set is written under a temporary name in data/ and only
// when all of them are complete on every process are they committed into
// place (src/io/files.cpp). A save that fails or is killed half-way leaves
// the previous restart set whole; a state that is not finite is not saved.
#include <cmath>
#include <cstdio>
#include <string>

#include "io/io.hpp"
#include "io/nc.hpp"
#include "io/output.hpp"
#include "util/format.hpp"

namespace hc {

const RestartFile kRestartFiles[19] = {
    {"u1", "u1"}, {"u2", "u2"}, {"ul", "ulf"}, {"v1", "v1"}, {"v2", "v2"}, {"vl", "vlf"}, {"t1", "t1"},
    {"t2", "t2"}, {"tl", "tlf"}, {"s1", "s1"}, {"s2", "s2"}, {"sl", "slf"}, {"pp", "p"},  {"uc", "u"},
    {"wc", "w"},  {"vc", "v"},  {"c1", "c1"}, {"c2", "c2"}, {"cl", "clf"},
};

namespace {

std::string field_path(const char* tag) { return std::string("data/") + tag + ".nc"; }

// The statuses of a file written collectively: ierr keeps the last one, ok
// whether every call succeeded.
struct Statuses {
    i32& ierr;
    bool ok = true;
    void operator()(int status) {
        ierr = status;
        if (status != NC_NOERR) ok = false;
    }
};

// Creates the temporary file of path on every process and reports a failure;
// true when it was created (nothing is done with a file that was not).
bool create_temp(Ctx& c, const std::string& path, Statuses& st, int& ncid) {
    st(nc::create(c, restart_temp_name(path), ncid));
    pnetcdferrck(c, st.ierr);
    return st.ierr == NC_NOERR;
}

// True when every value of the interior block (levels 1..nk) of a field
// declared ni x nj x nk is finite; oi, oj offset the block as in mtx2rvec.
bool finite_block(const double* FD, int ni, int nj, int nk, int oi, int oj) {
    for (int k = 0; k < nk; ++k)
        for (int j = oj; j < oj + NYI; ++j)
            for (int i = oi; i < oi + NXI; ++i)
                if (!std::isfinite(FD[i + ni * (j + nj * k)])) return false;
    return true;
}

// Every value that write_rerun stores is finite on this process.
bool finite_state(const Ctx& c, const double* const* fields, int nfields) {
    const double sv[5] = {c.scaglo.days, c.controglo.evap, c.controglo.qsum, c.controglo.olde, c.controglo.oldq};
    for (double v : sv)
        if (!std::isfinite(v)) return false;
    const auto& t = c.tavgglo;
    const Plane* planes[8] = {&c.sevp.X, &c.bglo.P0, &t.pbar, &t.pvar, &t.xbar, &t.ucli, &t.vcli, &t.rmsv};
    for (const Plane* p : planes)
        if (!finite_block(p->data(), NX, NY, 1, 1, 1)) return false;
    if (!finite_block(c.climatglo.QAVG.data(), NXI, NYI, NMONTH, 0, 0)) return false;
    if (!finite_block(c.climatglo.TNUDGE.data(), NXI, NYI, 1, 0, 0)) return false;
    for (int f = 0; f < nfields; ++f)
        if (!finite_block(fields[f], NX, NY, fields[f] == c.cgridglo.W.data() ? KMP1 : KM, 1, 1)) return false;
    return true;
}

}  // namespace

std::string restart_temp_name(const std::string& path) { return path + ".tmp"; }

bool write2nc(Ctx& c, const char* tag, const char* name, const double* FLD, int levels, int lenidx) {
    auto& p = c.pnetcdf;
    bool ok = true;
    auto tested = [&](int st) {
        if (st != NC_NOERR) {
            fmt::out((fmt::Line() << tag << nc::error_text(st)).str());
            ok = false;
        }
        return st == NC_NOERR;
    };
    const std::string tmp = restart_temp_name(field_path(tag));
    int ncid = -1;
    // Nothing is done with a file that could not be created.
    if (!tested(nc::create(c, tmp, ncid))) return false;

    int dlev = 0, dlat = 0, dlon = 0, varid = 0;
    ok &= ncmpi_def_dim(ncid, "level", p.NN(lenidx), &dlev) == NC_NOERR;
    ok &= ncmpi_def_dim(ncid, "latitude", p.NN(2), &dlat) == NC_NOERR;
    ok &= ncmpi_def_dim(ncid, "longitude", p.NN(3), &dlon) == NC_NOERR;
    const int dims[3] = {dlon, dlat, dlev};
    tested(ncmpi_def_var(ncid, name, NC_DOUBLE, 3, dims, &varid));
    tested(ncmpi_enddef(ncid));

    double* buf = c.outwork.RBF.data();
    mtx2rvec(FLD, buf, NX, NY, NXI, NYI, levels, 1, 1);
    p.ncn3(1) = levels;
    const nc::Slab s = nc::from_vectors(p.nst3, p.ncn3);
    tested(ncmpi_put_vara_double_all(ncid, varid, s.start, s.count, buf));
    tested(ncmpi_close(ncid));
    return ok;
}

void write_rerun(Ctx& c) {
    auto& p = c.pnetcdf;
    auto& b = c.bglo;
    auto& g = c.cgridglo;
    const double* fields[19] = {b.U1.data(), b.U2.data(), b.ULF.data(), b.V1.data(), b.V2.data(),
                                b.VLF.data(), b.T1.data(), b.T2.data(), b.TLF.data(), b.S1.data(),
                                b.S2.data(), b.SLF.data(), b.P.data(), g.U.data(), g.W.data(),
                                g.V.data(), b.C1.data(), b.C2.data(), b.CLF.data()};
    // The previous save must be complete before its temporary names are
    // used again; a state that is not finite would replace a good set.
    if (!settle_restart_files(c)) {
        if (c.mpicomm.myid == 0) fmt::out(" restart set not saved: the previous save is not complete");
        return;
    }
    if (nc::any(c, !finite_state(c, fields, 19))) {
        if (c.mpicomm.myid == 0)
            fmt::out(" restart set not saved: the state holds values that are not finite; the previous files are kept");
        return;
    }
    Statuses st{c.mpicomm.ierr};
    const std::string rerun = "data/rerun.nc";
    int ncid = -1;
    if (create_temp(c, rerun, st, ncid)) {
        int dlat = 0, dlon = 0, dmon = 0, dglo = 0;
        st(ncmpi_def_dim(ncid, "latitude", JMT, &dlat));
        st(ncmpi_def_dim(ncid, "longitude", IMT, &dlon));
        st(ncmpi_def_dim(ncid, "month", NMONTH, &dmon));
        st(ncmpi_def_dim(ncid, "global", 1, &dglo));
        pnetcdferrck(c, st.ierr);

        const int d2[2] = {dlon, dlat}, dq[3] = {dlon, dlat, dmon};
        const char* scalars[5] = {"days", "evap", "qsum", "olde", "oldq"};
        const char* planes[10] = {"x", "p0", "qvag", "tnudge", "pbar", "pvar", "xbar", "ucli", "vcli", "rmsv"};
        int vitf = 0, vnsombo = 0, vsc[5] = {}, vpl[10] = {};
        st(ncmpi_def_var(ncid, "itf", NC_INT, 1, &dglo, &vitf));
        for (int n = 0; n < 5; ++n) st(ncmpi_def_var(ncid, scalars[n], NC_DOUBLE, 1, &dglo, &vsc[n]));
        st(ncmpi_def_var(ncid, "nsombo", NC_INT, 1, &dmon, &vnsombo));
        for (int n = 0; n < 10; ++n) st(ncmpi_def_var(ncid, planes[n], NC_DOUBLE, n == 2 ? 3 : 2, n == 2 ? dq : d2, &vpl[n]));
        st(ncmpi_enddef(ncid));

        // Scalars and counts: every process writes the same values.
        const nc::Slab one = nc::from_vectors(p.ione.data(), p.ione.data(), 1);
        st(ncmpi_put_vara_int_all(ncid, vitf, one.start, one.count, &c.scaglo.itf));
        const double sv[5] = {c.scaglo.days, c.controglo.evap, c.controglo.qsum, c.controglo.olde, c.controglo.oldq};
        for (int n = 0; n < 5; ++n) st(ncmpi_put_vara_double_all(ncid, vsc[n], one.start, one.count, &sv[n]));
        const nc::Slab months = nc::vector_block(NMONTH, 0);
        st(ncmpi_put_vara_int_all(ncid, vnsombo, months.start, months.count, c.climatglo.NSOMBO.data()));

        const nc::Slab s2 = nc::from_vectors(p.nst2, p.ncn2);
        const nc::Slab sm = nc::from_vectors(p.nstm, p.ncnm);
        double* dbf = c.outwork.DBF.data();
        double* rbf = c.outwork.RBF.data();
        mtx2dvec(c.sevp.X.data(), dbf);
        st(ncmpi_put_vara_double_all(ncid, vpl[0], s2.start, s2.count, dbf));
        mtx2rvec(c.bglo.P0.data(), rbf, NX, NY, NXI, NYI, 1, 1, 1);
        st(ncmpi_put_vara_double_all(ncid, vpl[1], s2.start, s2.count, rbf));
        mtx2rvec(c.climatglo.QAVG.data(), rbf, NXI, NYI, NXI, NYI, NMONTH, 0, 0);
        st(ncmpi_put_vara_double_all(ncid, vpl[2], sm.start, sm.count, rbf));
        mtx2rvec(c.climatglo.TNUDGE.data(), rbf, NXI, NYI, NXI, NYI, 1, 0, 0);
        st(ncmpi_put_vara_double_all(ncid, vpl[3], s2.start, s2.count, rbf));
        auto& t = c.tavgglo;
        Plane* tav[6] = {&t.pbar, &t.pvar, &t.xbar, &t.ucli, &t.vcli, &t.rmsv};
        for (int n = 0; n < 6; ++n) {
            mtx2rvec(tav[n]->data(), rbf, NX, NY, NXI, NYI, 1, 1, 1);
            st(ncmpi_put_vara_double_all(ncid, vpl[4 + n], s2.start, s2.count, rbf));
        }
        st(ncmpi_close(ncid));
    }
    save_point(c, 1);

    std::string paths[kSaveFiles];
    for (int f = 0; f < 19; ++f) {
        const bool faces = fields[f] == g.W.data();
        st.ok &= write2nc(c, kRestartFiles[f].tag, kRestartFiles[f].var, fields[f], faces ? KMP1 : KM, faces ? 5 : 1);
        paths[f] = field_path(kRestartFiles[f].tag);
        save_point(c, f + 2);
    }
    paths[19] = rerun;
    commit_files(c, paths, kSaveFiles, st.ok, "restart set", true);
}

void write_init2nc(Ctx& c, Field& STM, Field& TTM) {
    auto& p = c.pnetcdf;
    Statuses st{c.mpicomm.ierr};
    const std::string path = "data/initial.nc";
    int ncid = -1;
    if (create_temp(c, path, st, ncid)) {
        int dlev = 0, dlat = 0, dlon = 0, vti = 0, vsi = 0;
        st(ncmpi_def_dim(ncid, "level", KM, &dlev));
        st(ncmpi_def_dim(ncid, "latitude", JMT, &dlat));
        st(ncmpi_def_dim(ncid, "longitude", IMT, &dlon));
        pnetcdferrck(c, st.ierr);
        const int dims[3] = {dlon, dlat, dlev};
        st(ncmpi_def_var(ncid, "ti", NC_DOUBLE, 3, dims, &vti));
        st(ncmpi_def_var(ncid, "si", NC_DOUBLE, 3, dims, &vsi));
        st(ncmpi_enddef(ncid));

        double* buf = c.outwork.RBF.data();
        mtx2rvec(TTM.data(), buf, NX, NY, NXI, NYI, KM, 1, 1);
        p.ncn3(1) = KM;
        const nc::Slab s = nc::from_vectors(p.nst3, p.ncn3);
        st(ncmpi_put_vara_double_all(ncid, vti, s.start, s.count, buf));
        pnetcdferrck(c, st.ierr);
        mtx2rvec(STM.data(), buf, NX, NY, NXI, NYI, KM, 1, 1);
        st(ncmpi_put_vara_double_all(ncid, vsi, s.start, s.count, buf));
        st(ncmpi_close(ncid));
    }
    commit_files(c, &path, 1, st.ok, path.c_str(), false);
}

}  // namespace hc
