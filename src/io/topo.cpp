// The topography file "../output/topo.nc": grid, relaxation rates, wind
// stress, climatologies, bottom level and masks, written once per run.
#include <vector>

#include "io/io.hpp"
#include "io/nc.hpp"
#include "io/output.hpp"

namespace hc {

void write_topo(Ctx& c) {
    auto& m = c.mpicomm;
    auto& q = c.pnetcdf2;
    auto& ierr = m.ierr;

    double levc[KM], levf[KMP1], lat[NYI], lon[NXI];
    for (int j = 2; j <= NY - 1; ++j) lat[j - 2] = c.metricglo.YDEG(j);
    for (int i = 2; i <= NX - 1; ++i) lon[i - 2] = c.metricglo.XDEG(i);
    for (int k = 1; k <= KM; ++k) levc[k - 1] = c.zfsglo.Z(2 * k);
    for (int k = 1; k <= KMP1; ++k) levf[k - 1] = c.zfsglo.Z(2 * k - 1);

    int ncid = -1;
    ierr = nc::create(c, "../output/topo.nc", ncid);
    // No status is reported; only a file that was created is written.
    if (ierr != NC_NOERR) return;

    int dc = 0, df = 0, dlat = 0, dlon = 0, dmon = 0;
    ierr = ncmpi_def_dim(ncid, "level-center", KM, &dc);
    ierr = ncmpi_def_dim(ncid, "level-face", KMP1, &df);
    ierr = ncmpi_def_dim(ncid, "latitude", JMT, &dlat);
    ierr = ncmpi_def_dim(ncid, "longitude", IMT, &dlon);
    ierr = ncmpi_def_dim(ncid, "month", NMONTH, &dmon);

    struct Def {
        const char* name;
        nc_type type;
        int ndims;
        int dims[4];
    };
    const Def defs[14] = {
        {"lev_c", NC_DOUBLE, 1, {dc}},
        {"lev_f", NC_DOUBLE, 1, {df}},
        {"lat", NC_DOUBLE, 1, {dlat}},
        {"lon", NC_DOUBLE, 1, {dlon}},
        {"s_nudge", NC_DOUBLE, 2, {dlat, dlon}},
        {"t_nudge", NC_DOUBLE, 2, {dlat, dlon}},
        {"hmean_nudge", NC_DOUBLE, 3, {dc, dlat, dlon}},
        {"taux", NC_DOUBLE, 3, {dmon, dlat, dlon}},
        {"tauy", NC_DOUBLE, 3, {dmon, dlat, dlon}},
        {"sclis", NC_DOUBLE, 4, {dmon, dc, dlat, dlon}},
        {"tclis", NC_DOUBLE, 4, {dmon, dc, dlat, dlon}},
        {"kb", NC_INT, 2, {dlat, dlon}},
        {"mask", NC_INT, 3, {dc, dlat, dlon}},
        {"mask_w", NC_INT, 3, {df, dlat, dlon}},
    };
    int vid[14] = {};
    for (int n = 0; n < 14; ++n) ierr = ncmpi_def_var(ncid, defs[n].name, defs[n].type, defs[n].ndims, defs[n].dims, &vid[n]);
    ierr = ncmpi_enddef(ncid);

    const int px = m.myidx, py = m.myidy;
    auto whole = [](int n) { return nc::vector_block(n, 0); };
    const nc::Slab s2 = nc::from_vectors(q.fst2, q.fcn2);
    const nc::Slab s3 = nc::from_vectors(q.fst3, q.fcn3);
    const nc::Slab sw = nc::from_vectors(q.fst3, q.fcnw);
    const nc::Slab sm = nc::from_vectors(q.fstm, q.fcnm);
    nc::Slab s4;
    s4.ndims = 4;
    s4.start[0] = 0, s4.count[0] = NMONTH;
    s4.start[1] = 0, s4.count[1] = KM;
    s4.start[2] = s3.start[1], s4.count[2] = NYI;
    s4.start[3] = s3.start[2], s4.count[3] = NXI;

    auto putd = [&](int n, const nc::Slab& s, const double* v) {
        ierr = ncmpi_put_vara_double_all(ncid, vid[n], s.start, s.count, v);
    };
    auto puti = [&](int n, const nc::Slab& s, const i32* v) {
        ierr = ncmpi_put_vara_int_all(ncid, vid[n], s.start, s.count, v);
    };
    putd(0, whole(KM), levc);
    putd(1, whole(KMP1), levf);
    putd(2, nc::vector_block(NYI, py), lat);
    putd(3, nc::vector_block(NXI, px), lon);

    // Written once at start-up: the buffers live for this call only.
    std::vector<double> rbf(std::size_t(NMONTH) * KM * INTERIOR);
    std::vector<i32> ibf(std::size_t(KMP1) * INTERIOR);
    auto& nu = c.nudging;
    mtx2rvec2(nu.S_NUDGE.data(), rbf.data(), NX, NY, NXI, NYI, 1, 1, 1);
    putd(4, s2, rbf.data());
    mtx2rvec2(nu.T_NUDGE.data(), rbf.data(), NX, NY, NXI, NYI, 1, 1, 1);
    putd(5, s2, rbf.data());
    mtx2rvec2(nu.HMEAN_NUDGE.data(), rbf.data(), NX, NY, NXI, NYI, KM, 1, 1);
    putd(6, s3, rbf.data());
    mtx2rvec2(c.windsglo.TAUX.data(), rbf.data(), NXI, NYI, NXI, NYI, NMONTH, 0, 0);
    putd(7, sm, rbf.data());
    mtx2rvec2(c.windsglo.TAUY.data(), rbf.data(), NXI, NYI, NXI, NYI, NMONTH, 0, 0);
    putd(8, sm, rbf.data());
    mtx2rvec_m(c.climatglo.SCLIS.data(), rbf.data(), NX, NY, KM, NXI, NYI, KM, NMONTH, 1, 1);
    putd(9, s4, rbf.data());
    mtx2rvec_m(c.climatglo.TCLIS.data(), rbf.data(), NX, NY, KM, NXI, NYI, KM, NMONTH, 1, 1);
    putd(10, s4, rbf.data());
    auto& bt = c.bathyglo;
    mtx2ivec(bt.KB.data(), ibf.data(), NX, NY, NXI, NYI, 1, 1, 1);
    puti(11, s2, ibf.data());
    mtx2ivec(bt.IN.data(), ibf.data(), NX, NY, NXI, NYI, KM, 1, 1);
    puti(12, s3, ibf.data());
    mtx2ivec(bt.IW.data(), ibf.data(), NX, NY, NXI, NYI, KMP1, 1, 1);
    puti(13, sw, ibf.data());
    ierr = ncmpi_close(ncid);
}

}  // namespace hc
