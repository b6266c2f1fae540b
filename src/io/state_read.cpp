// Readers of the model state written by the model itself: the restart set
// ("data/rerun.nc" and the 19 per-field files), the initial-state file and
// the gas-exchange file. Each process reads its own 80 x 48 interior block;
// file blocks hold the level (month, latitude) fastest and the longitude
// slowest, so unpacking walks the tile with i outermost.
//
// A file, variable or block that cannot be read is reported the readers' way
// and then stops the run on every process: a restart from a partial state
// would go on from garbage. Before each read the variable must have the rank
// and extents the model writes and its data must lie within the file, so a
// cut-short file or a variable of another shape is refused, not read as
// zeros or stale buffer contents. Fields are filled only from blocks read
// whole.
#include <string>

#include "comm/comm.hpp"
#include "io/io.hpp"
#include "io/nc.hpp"
#include "io/readers.hpp"
#include "util/format.hpp"

namespace hc {

void rvec2mtx(double* FD, const double* RBF, int ei, int ej, int ni, int nj, int nk, int oi, int oj) {
    auto f = View<double, 3>::shape(FD, {ei, ej, nk}, "FD");
    long n = 0;
    for (int i = oi + 1; i <= oi + ni; ++i)
        for (int j = oj + 1; j <= oj + nj; ++j)
            for (int k = 1; k <= nk; ++k) f(i, j, k) = RBF[n++];
}

void rvec2mtx2(double* FD, const double* RBF, int ei, int ej, int ni, int nj, int nk, int oi, int oj) {
    (void)ei, (void)ej;
    auto f = View<double, 3>::shape(FD, {ni, nj, nk}, "FD");
    long n = 0;
    for (int i = oi + 1; i <= oi + ni; ++i)
        for (int j = oj + 1; j <= oj + nj; ++j)
            for (int k = 1; k <= nk; ++k) f(i - oi, j - oj, k) = RBF[n++];
}

void dvec2mtx(Plane& FD, const double* DBF) {
    long n = 0;
    for (int i = 2; i <= 81; ++i)
        for (int j = 2; j <= 49; ++j) FD(i, j) = DBF[n++];
}

namespace {

// A model-state file open for reading, with the length all processes agree on.
struct StateFile {
    std::string path;
    int ncid = -1;
    MPI_Offset length = -1;
};

// Stops the run on every process when the status is nonzero on any; the
// file (when open) is closed collectively first.
void stop_unless_read(Ctx& c, int status, StateFile& f, const char* var) {
    if (!nc::any(c, status != NC_NOERR)) return;
    if (f.ncid >= 0) ncmpi_close(f.ncid);
    f.ncid = -1;
    std::string what = var ? ", variable \"" + std::string(var) + "\"" : std::string();
    fmt::out(" model-state file " + f.path + what + " cannot be read; run stopped");
    stop_run(c);
}

// Every process makes sure it can open the file before the library's
// collective open, which would leave the others waiting for one that cannot;
// a file that none can open fails alike in the library on all of them.
void probe_state(Ctx& c, StateFile& f) {
    const nc::Probe p = nc::probe(c, f.path);
    if (p.partial()) {
        if (!p.why.empty()) fmt::out(" model-state file " + f.path + ": " + p.why);
        stop_unless_read(c, 1, f, nullptr);
    }
    f.length = p.length;
}

// Stops the run on every process unless the block s of the variable can be
// read whole: the rank and extents the model writes, and data within the file.
void check_block(Ctx& c, StateFile& f, int id, const nc::Slab& s, const char* var) {
    const std::string fault = nc::block_fault(c, f.ncid, id, s, f.length, true);
    if (fault.empty()) return;
    ncmpi_close(f.ncid);
    f.ncid = -1;
    fmt::out(" model-state file " + f.path + ", variable \"" + var + "\": " + fault + "; run stopped");
    stop_run(c);
}

// Opens a model-state file, reporting the status through pnetcdferrck.
StateFile open_reported(Ctx& c, const std::string& path) {
    StateFile f{path};
    probe_state(c, f);
    int& ierr = c.mpicomm.ierr;
    ierr = ncmpi_open(c.mpicomm.comm3d, path.c_str(), NC_NOWRITE, MPI_INFO_NULL, &f.ncid);
    pnetcdferrck(c, ierr);
    if (ierr != NC_NOERR) f.ncid = -1;
    stop_unless_read(c, ierr, f, nullptr);
    return f;
}

// Looks up a variable, checks its block s and reads it with `get`; the
// read's status (or the lookup's, when the name is missing) is reported
// through pnetcdferrck.
template <class Get>
void read_reported(Ctx& c, StateFile& f, const char* var, const nc::Slab& s, Get&& get) {
    int id = -1;
    int& ierr = c.mpicomm.ierr;
    ierr = ncmpi_inq_varid(f.ncid, var, &id);
    if (ierr != NC_NOERR) pnetcdferrck(c, ierr);
    stop_unless_read(c, ierr, f, var);
    check_block(c, f, id, s, var);
    ierr = get(id, s);
    pnetcdferrck(c, ierr);
    stop_unless_read(c, ierr, f, var);
}

}  // namespace

void read_rerun(Ctx& c) {
    auto& p = c.pnetcdf;
    double* buf = c.stateread.buf.data();
    StateFile f = open_reported(c, "data/rerun.nc");
    const int ncid = f.ncid;

    const nc::Slab one = nc::from_vectors(p.ione.data(), p.ione.data() + 1, 1);
    auto scalar = [&](const char* var, double& dst) {
        read_reported(c, f, var, one, [&](int id, const nc::Slab& s) {
            return ncmpi_get_vara_double_all(ncid, id, s.start, s.count, &dst);
        });
    };
    read_reported(c, f, "itf", one, [&](int id, const nc::Slab& s) {
        return ncmpi_get_vara_int_all(ncid, id, s.start, s.count, &c.scaglo.itf);
    });
    scalar("days", c.scaglo.days);
    scalar("evap", c.controglo.evap);
    scalar("qsum", c.controglo.qsum);
    scalar("olde", c.controglo.olde);
    scalar("oldq", c.controglo.oldq);

    // The 12 sample counts: only the month entries of the monthly slab apply.
    const nc::Slab months = nc::from_vectors(p.nstm.data(), p.ncnm.data(), 1);
    read_reported(c, f, "nsombo", months, [&](int id, const nc::Slab& s) {
        return ncmpi_get_vara_int_all(ncid, id, s.start, s.count, c.climatglo.NSOMBO.data());
    });

    const nc::Slab s2 = nc::from_vectors(p.nst2, p.ncn2);
    const nc::Slab sm = nc::from_vectors(p.nstm, p.ncnm);
    auto block = [&](const char* var, const nc::Slab& slab) {
        read_reported(c, f, var, slab, [&](int id, const nc::Slab& s) {
            return ncmpi_get_vara_double_all(ncid, id, s.start, s.count, buf);
        });
    };
    block("x", s2);
    dvec2mtx(c.sevp.X, buf);
    block("p0", s2);
    rvec2mtx(c.bglo.P0.data(), buf, 82, 50, 80, 48, 1, 1, 1);
    block("qvag", sm);
    rvec2mtx(c.climatglo.QAVG.data(), buf, 80, 48, 80, 48, 12, 0, 0);
    block("tnudge", s2);
    rvec2mtx(c.climatglo.TNUDGE.data(), buf, 80, 48, 80, 48, 1, 0, 0);
    auto& t = c.tavgglo;
    Plane* planes[6] = {&t.pbar, &t.pvar, &t.xbar, &t.ucli, &t.vcli, &t.rmsv};
    const char* names[6] = {"pbar", "pvar", "xbar", "ucli", "vcli", "rmsv"};
    for (int n = 0; n < 6; ++n) {
        block(names[n], s2);
        rvec2mtx(planes[n]->data(), buf, 82, 50, 80, 48, 1, 1, 1);
    }
    c.mpicomm.ierr = ncmpi_close(ncid);
    pnetcdferrck(c, c.mpicomm.ierr);

    auto& b = c.bglo;
    auto& g = c.cgridglo;
    readnc(c, "u1", "u1", b.U1.data(), KM);
    readnc(c, "u2", "u2", b.U2.data(), KM);
    readnc(c, "ul", "ulf", b.ULF.data(), KM);
    readnc(c, "v1", "v1", b.V1.data(), KM);
    readnc(c, "v2", "v2", b.V2.data(), KM);
    readnc(c, "vl", "vlf", b.VLF.data(), KM);
    readnc(c, "t1", "t1", b.T1.data(), KM);
    readnc(c, "t2", "t2", b.T2.data(), KM);
    readnc(c, "tl", "tlf", b.TLF.data(), KM);
    readnc(c, "s1", "s1", b.S1.data(), KM);
    readnc(c, "s2", "s2", b.S2.data(), KM);
    readnc(c, "sl", "slf", b.SLF.data(), KM);
    readnc(c, "pp", "p", b.P.data(), KM);
    readnc(c, "uc", "u", g.U.data(), KM);
    readnc(c, "wc", "w", g.W.data(), KMP1);
    readnc(c, "vc", "v", g.V.data(), KM);
    readnc(c, "c1", "c1", b.C1.data(), KM);
    readnc(c, "c2", "c2", b.C2.data(), KM);
    readnc(c, "cl", "clf", b.CLF.data(), KM);

    // The C-grid faces that the tile's west and south halo hold: column 81 of
    // U goes east while column 1 comes from the west; row 49 of V goes north
    // while row 1 comes from the south (nothing arrives on the southern row).
    auto& m = c.mpicomm;
    sendrecv_line(c, g.U.at(81, 1, 1), m.col3d, m.ieast, g.U.at(1, 1, 1), m.iwest);
    sendrecv_line(c, g.V.at(1, 49, 1), m.row3d, m.inorth, g.V.at(1, 1, 1), m.isouth);
}

void readnc(Ctx& c, const char* tag, const char* name, double* FLD, int nk) {
    auto& p = c.pnetcdf;
    int& ierr = c.mpicomm.ierr;
    double* buf = c.stateread.buf.data();
    StateFile f{std::string("data/") + tag + ".nc"};
    probe_state(c, f);
    ierr = ncmpi_open(c.mpicomm.comm3d, f.path.c_str(), NC_NOWRITE, MPI_INFO_NULL, &f.ncid);
    if (ierr != NC_NOERR) {
        fmt::out((fmt::Line() << tag << nc::error_text(ierr)).str());
        f.ncid = -1;
    }
    stop_unless_read(c, ierr, f, nullptr);

    int id = -1;
    ierr = ncmpi_inq_varid(f.ncid, name, &id);
    if (ierr != NC_NOERR) fmt::out((fmt::Line() << "nfmpi_inq_var " << tag << nc::error_text(ierr)).str());
    stop_unless_read(c, ierr, f, name);

    p.ncn3(1) = nk;
    const nc::Slab s = nc::from_vectors(p.nst3, p.ncn3);
    check_block(c, f, id, s, name);
    ierr = ncmpi_get_vara_double_all(f.ncid, id, s.start, s.count, buf);
    if (ierr != NC_NOERR) fmt::out((fmt::Line() << "nfmpi_get_vara" << tag << nc::error_text(ierr)).str());
    stop_unless_read(c, ierr, f, name);

    ierr = ncmpi_close(f.ncid);
    if (ierr != NC_NOERR) fmt::out((fmt::Line() << tag << nc::error_text(ierr)).str());

    rvec2mtx(FLD, buf, 82, 50, 80, 48, nk, 1, 1);
}

void read_initnc(Ctx& c, Field& S, Field& T) {
    auto& p = c.pnetcdf;
    double* buf = c.stateread.buf.data();
    StateFile f = open_reported(c, "data/initial.nc");
    p.ncn3(1) = KM;
    const nc::Slab s3 = nc::from_vectors(p.nst3, p.ncn3);
    auto get = [&](int id, const nc::Slab& s) {
        return ncmpi_get_vara_double_all(f.ncid, id, s.start, s.count, buf);
    };
    read_reported(c, f, "ti", s3, get);
    rvec2mtx(T.data(), buf, 82, 50, 80, 48, KM, 1, 1);
    read_reported(c, f, "si", s3, get);
    rvec2mtx(S.data(), buf, 82, 50, 80, 48, KM, 1, 1);
    c.mpicomm.ierr = ncmpi_close(f.ncid);
}

void read_gas(Ctx& c, IMonthly& FICE, IMonthly& XKW, IMonthly& PATM) {
    double* buf = c.stateread.buf.data();
    StateFile f = open_reported(c, "data/brinex_gasx.nc");
    const nc::Slab sm = nc::from_vectors(c.pnetcdf.nstm, c.pnetcdf.ncnm);
    auto get = [&](int id, const nc::Slab& s) {
        return ncmpi_get_vara_double_all(f.ncid, id, s.start, s.count, buf);
    };
    read_reported(c, f, "fice", sm, get);
    rvec2mtx(FICE.data(), buf, 80, 48, 80, 48, 12, 0, 0);
    read_reported(c, f, "xkw", sm, get);
    rvec2mtx(XKW.data(), buf, 80, 48, 80, 48, 12, 0, 0);
    read_reported(c, f, "patm", sm, get);
    rvec2mtx(PATM.data(), buf, 80, 48, 80, 48, 12, 0, 0);
    // The file stays open for the rest of the run.
}

}  // namespace hc
