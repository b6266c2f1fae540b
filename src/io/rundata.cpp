// The run configuration "prepglo/data/rundata.nc": scalars, texts and the
// per-process-row and per-process-column blocks of the metric vectors.
#include "comm/comm.hpp"
#include "io/io.hpp"
#include "io/nc.hpp"
#include "io/readers.hpp"

namespace hc {

void rdnc_rundata(Ctx& c) {
    auto& k = c.controglo;
    auto& s = c.scaglo;
    auto& m = c.metricglo;
    auto& b = c.bglo;
    const int py = c.mpicomm.myidy, px = c.mpicomm.myidx;
    const nc::Slab one = nc::single();
    nc::Input f(c, "prepglo/data/rundata.nc");

    char text[64] = {};
    f.get_text("case", nc::vector_block(5, 0), text);
    c.title.case_.set(text, 5);
    f.get_text("describ", nc::vector_block(63, 0), text);
    c.title.describ.set(text, 63);

    f.get("dt", one, &k.dt);
    f.get("tlz", one, &k.tlz);
    f.get("b", one, &k.b);
    f.get("g", one, &k.g);
    f.get("dm0", one, &k.dm0);
    f.get("de0", one, &k.de0);
    f.get("dmz0", one, &k.dmz0);
    f.get("rzmx", one, &k.rzmx);
    f.get("drag", one, &k.drag);
    f.get("fltw", one, &k.fltw);
    f.get("daodt", one, &k.daodt);
    f.get("odt", one, &s.odt);
    f.get("prn", one, &s.prn);
    f.get("orzmx", one, &s.orzmx);
    f.get("ofltw", one, &s.ofltw);
    f.get("rawf", one, &k.rawf);

    f.get("ktrm", one, &k.ktrm);
    f.get("lrstrt", one, &k.lrstrt);
    f.get("mxit", one, &k.mxit);
    f.get("isav", one, &k.isav);
    f.get("mxsav", one, &k.mxsav);
    f.get("lopen", one, &k.lopen);
    f.get("lmovi", one, &k.lmovi);
    f.get("mvi", one, &k.mvi);
    f.get("lfsrf", one, &k.lfsrf);
    f.get("lsolver", one, &k.lsolver);
    f.get("lprecon", one, &k.lprecon);

    const nc::Slab r48 = nc::vector_block(48, py), r49 = nc::vector_block(49, py), r50 = nc::vector_block(50, py);
    f.get("f", r48, b.F.data());
    f.get("tanphi", r48, b.TANPHI.data());
    f.get("csv", r49, m.CSV.data());
    f.get("ocsv", r49, m.ocsv.data());
    f.get("dxv", r49, m.dxv.data());
    f.get("odxv", r49, m.odxv.data());
    f.get("dyv", r49, m.dyv.data());
    f.get("odyv", r49, m.ODYV.data());
    f.get("y", r50, m.y.data());
    f.get("ydeg", r50, m.YDEG.data());
    f.get("yv", r50, m.yv.data());
    f.get("yvdeg", r50, m.yvdeg.data());
    f.get("cs", r50, m.cs.data());
    f.get("ocs", r50, m.OCS.data());
    f.get("dx", r50, m.DX.data());
    f.get("odx", r50, m.ODX.data());
    f.get("dy", r50, m.DY.data());
    f.get("ody", r50, m.ODY.data());
    f.get("xdeg", nc::vector_block(82, px), m.XDEG.data());
    f.close();
}

i32 steps_per_day(double daodt) {
    // 1.0e-4 in single precision: a daodt stored just below a whole number counts as that number.
    return static_cast<i32>(daodt + 9.999999747378752e-05);
}

void set_rundata(Ctx& c) {
    rdnc_rundata(c);
    c.scaglo.nday = steps_per_day(c.controglo.daodt);
    read_bred_switch(c);
}

}  // namespace hc
