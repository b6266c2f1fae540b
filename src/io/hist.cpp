// The twelve running means and the history file of every 30-day period.
#include "io/io.hpp"
#include "io/nc.hpp"
#include "io/output.hpp"
#include "util/format.hpp"

namespace hc {

namespace {

void accumulate(Ctx& c, double w) {
    auto& h = c.histavg;
    auto& b = c.bglo;
    timeavg(b.P.data(), h.PAVG.data(), KM, w);
    timeavg(b.U2.data(), h.UAVG.data(), KM, w);
    timeavg(b.V2.data(), h.VAVG.data(), KM, w);
    timeavg(b.T2.data(), h.TAVG.data(), KM, w);
    timeavg(b.S2.data(), h.SAVG.data(), KM, w);
    timeavg(c.filterglo.DMX.data(), h.DMXAVG.data(), KM, w);
    timeavg(c.filterglo.DMY.data(), h.DMYAVG.data(), KM, w);
    timeavgd(b.RHO.data(), h.RHOAVG.data(), KM, w);
    timeavg(b.C2.data(), h.CFCAVG.data(), KM, w);
    timeavg(c.cgridglo.W.data(), h.WCAVG.data(), KMP1, w);
    // Face k of the means takes interface k - 1 of the interior-only EV, HV.
    for (int k = 2; k <= KM; ++k)
        for (int j = 2; j <= NY - 1; ++j)
#pragma GCC ivdep
            for (int i = 2; i <= NX - 1; ++i) {
                h.EVAVG(i, j, k) = w * b.EV(i - 1, j - 1, k - 1) + h.EVAVG(i, j, k);
                h.HVAVG(i, j, k) = w * b.HV(i - 1, j - 1, k - 1) + h.HVAVG(i, j, k);
            }
}

void write_file(Ctx& c) {
    auto& q = c.pnetcdf2;
    auto& h = c.histavg;
    auto& bt = c.bathyglo;
    const std::string name = hist_name(c.scaglo.iyear, c.scaglo.iday);
    // An earlier run's file of this name is kept under a numbered name.
    if (nc::any(c, c.mpicomm.myid == 0 && !keep_earlier(name))) {
        if (c.mpicomm.myid == 0) fmt::out(" " + name + " not written");
        return;
    }
    int ncid = -1;
    int status = nc::create(c, name, ncid);
    if (status != NC_NOERR) {
        // Nothing can be written into a file that was not created: say so.
        pnetcdferrck(c, status);
        return;
    }
    int dc = 0, df = 0, dlat = 0, dlon = 0, dmon = 0;
    c.mpicomm.ierr = ncmpi_def_dim(ncid, "level-center", KM, &dc);
    c.mpicomm.ierr = ncmpi_def_dim(ncid, "level-face", KMP1, &df);
    c.mpicomm.ierr = ncmpi_def_dim(ncid, "latitude", JMT, &dlat);
    c.mpicomm.ierr = ncmpi_def_dim(ncid, "longitude", IMT, &dlon);
    c.mpicomm.ierr = ncmpi_def_dim(ncid, "month", NMONTH, &dmon);

    enum { PR, UV, VV, TE, SA, DMX, DMY, RHO, CFC, WV, HV, EV, QA, NVAR };
    const char* names[NVAR] = {"pressure", "u-velocity", "v-velocity", "temperature", "salinity",
                               "dmx",      "dmy",        "rho",        "cfc11",       "w-velocity",
                               "hv",       "ev",         "qavg"};
    int vid[NVAR] = {};
    for (int n = 0; n < NVAR; ++n) {
        const int first = n >= WV && n <= EV ? df : (n == QA ? dmon : dc);
        const int dims[3] = {first, dlat, dlon};
        c.mpicomm.ierr = ncmpi_def_var(ncid, names[n], NC_DOUBLE, 3, dims, &vid[n]);
    }
    c.mpicomm.ierr = ncmpi_enddef(ncid);

    double* rbf = c.outwork.RBF.data();
    const nc::Slab s3 = nc::from_vectors(q.fst3, q.fcn3);
    const nc::Slab sw = nc::from_vectors(q.fst3, q.fcnw);
    const nc::Slab sm = nc::from_vectors(q.fstm, q.fcnm);
    struct Centre {
        int var;
        const Field* acc;
    };
    const Centre centres[9] = {{PR, &h.PAVG},   {UV, &h.UAVG},   {VV, &h.VAVG},   {TE, &h.TAVG},   {SA, &h.SAVG},
                               {CFC, &h.CFCAVG}, {DMX, &h.DMXAVG}, {DMY, &h.DMYAVG}, {RHO, &h.RHOAVG}};
    for (const Centre& v : centres) {
        if (v.var == RHO)
            mtx2dec_c(*v.acc, bt.IN, rbf);
        else
            mtx2vec_c(*v.acc, bt.IN, rbf);
        c.mpicomm.ierr = ncmpi_put_vara_double_all(ncid, vid[v.var], s3.start, s3.count, rbf);
    }
    const std::pair<int, const FieldW*> faces[3] = {{WV, &h.WCAVG}, {HV, &h.HVAVG}, {EV, &h.EVAVG}};
    for (const auto& [var, acc] : faces) {
        mtx2vec_f(*acc, bt.IW, rbf);
        c.mpicomm.ierr = ncmpi_put_vara_double_all(ncid, vid[var], sw.start, sw.count, rbf);
    }
    mtx2rvec2(c.climatglo.QAVG.data(), rbf, NXI, NYI, NXI, NYI, NMONTH, 0, 0);
    c.mpicomm.ierr = ncmpi_put_vara_double_all(ncid, vid[QA], sm.start, sm.count, rbf);
    pnetcdferrck(c, c.mpicomm.ierr);
    c.mpicomm.ierr = ncmpi_close(ncid);
}

}  // namespace

void write_hist(Ctx& c) {
    auto& s = c.scaglo;
    const i32 period = c.fullopt.noutd * s.nday;
    // With fewer than one whole step per day no period ever closes.
    if (period < 1) return;
    accumulate(c, c.fullopt.wavg);
    if (s.itf % period != 0) return;

    if (c.mpicomm.myid == 0) fmt::out((fmt::Line() << "write output").str());
    write_file(c);

    auto& h = c.histavg;
    for (Field* f : {&h.PAVG, &h.UAVG, &h.VAVG, &h.TAVG, &h.CFCAVG, &h.SAVG, &h.DMXAVG, &h.DMYAVG, &h.RHOAVG})
        f->fill(0.0);
    for (FieldW* f : {&h.WCAVG, &h.EVAVG, &h.HVAVG}) f->fill(0.0);
}

}  // namespace hc
