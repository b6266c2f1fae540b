// One tile's context, filled from the global case as the model holds it
// after reading the prepared files.
#include <cmath>

#include "prep.hpp"

namespace prep {

namespace {

bool wet(const Case& cs, int I, int J, int k) { return k <= cs.kbg(I, J); }

void fill_masks(hc::Ctx& c, const Case& cs, int px, int py) {
    auto& b = c.bathyglo;
    const int I0 = 80 * px - 1, J0 = 48 * py - 1;  // global index of tile index 0
    for (int j = 1; j <= hc::NY; ++j)
        for (int i = 1; i <= hc::NX; ++i) {
            const int kb = cs.kbg(I0 + i, J0 + j);
            b.KB(i, j) = hc::i16(kb);
            for (int k = 1; k <= hc::KM; ++k) b.IN(i, j, k) = hc::i16(k <= kb);
            // Face k is the top of level k: open where level k is wet; the
            // bottom face of the model (41) is closed.
            for (int k = 1; k <= hc::KMP1; ++k) b.IW(i, j, k) = hc::i16(k <= hc::KM && k <= kb);
        }
    // Face i lies between cells i and i + 1 (columns wrap); face j between
    // rows j and j + 1 (rows beyond the walls are land, so the walls close).
    for (int k = 1; k <= hc::KM; ++k) {
        for (int j = 1; j <= hc::NY; ++j)
            for (int i = 0; i <= 83; ++i)
                b.IU(i, j, k) = hc::i16(wet(cs, I0 + i, J0 + j, k) && wet(cs, I0 + i + 1, J0 + j, k));
        for (int j = 0; j <= 50; ++j)
            for (int i = 1; i <= hc::NX; ++i)
                b.IV(i, j, k) = hc::i16(wet(cs, I0 + i, J0 + j, k) && wet(cs, I0 + i, J0 + j + 1, k));
    }
    for (int j = 1; j <= hc::NY; ++j)
        for (int i = 0; i <= 83; ++i) b.IU0(i, j) = b.IU(i, j, 1);
    for (int j = 0; j <= 50; ++j)
        for (int i = 1; i <= hc::NX; ++i) b.IV0(i, j) = b.IV(i, j, 1);
}

void fill_metrics(hc::Ctx& c, int px, int py) {
    auto& m = c.metricglo;
    const double rad = PI / 180.0;
    const double dx0 = RADIUS * DLON * rad, dy = RADIUS * DLAT * rad;
    const int J0 = 48 * py - 1;
    for (int j = 1; j <= hc::NY; ++j) {
        const double lat = lat_deg(J0 + j), latv = latv_deg(J0 + j);
        const double cs = std::cos(lat * rad);
        m.y(j) = lat * rad;
        m.YDEG(j) = lat;
        m.yv(j) = latv * rad;
        m.yvdeg(j) = latv;
        m.cs(j) = cs;
        m.OCS(j) = 1.0 / cs;
        m.DX(j) = dx0 * cs;
        m.ODX(j) = 1.0 / m.DX(j);
        m.DY(j) = dy;
        m.ODY(j) = 1.0 / dy;
        if (j <= hc::NY - 1) {
            const double csv = std::cos(latv * rad);
            m.CSV(j) = csv;
            m.ocsv(j) = 1.0 / csv;
            m.dxv(j) = dx0 * csv;
            m.odxv(j) = 1.0 / m.dxv(j);
            m.dyv(j) = dy;
            m.ODYV(j) = 1.0 / dy;
        }
        if (j >= 2 && j <= hc::NY - 1) {
            c.bglo.F(j - 1) = 2.0 * OMEGA * std::sin(lat * rad);
            // The metric term's rate is TANPHI * u, so TANPHI carries 1/cm.
            c.bglo.TANPHI(j - 1) = std::tan(lat * rad) / RADIUS;
        }
    }
    for (int i = 1; i <= hc::NX; ++i) m.XDEG(i) = lon_deg(80 * px + i - 1);
}

void fill_parameters(hc::Ctx& c, const Case& cs) {
    auto& p = c.controglo;
    auto& s = c.scaglo;
    p.dt = cs.real("dt");
    p.tlz = cs.real("tlz");
    p.b = cs.real("b");
    p.g = cs.real("g");
    p.dm0 = cs.real("dm0");
    p.de0 = cs.real("de0");
    p.dmz0 = cs.real("dmz0");
    p.rzmx = cs.real("rzmx");
    p.drag = cs.real("drag");
    p.fltw = cs.real("fltw");
    p.daodt = cs.real("daodt");
    s.odt = cs.real("odt");
    s.prn = cs.real("prn");
    s.orzmx = cs.real("orzmx");
    s.ofltw = cs.real("ofltw");
    p.rawf = cs.real("rawf");
    p.ktrm = cs.integer("ktrm");
    p.lrstrt = cs.integer("lrstrt");
    p.mxit = cs.integer("mxit");
    p.isav = cs.integer("isav");
    p.mxsav = cs.integer("mxsav");
    p.lopen = cs.integer("lopen");
    p.lmovi = cs.integer("lmovi");
    p.mvi = cs.integer("mvi");
    p.lfsrf = cs.integer("lfsrf");
    p.lsolver = cs.integer("lsolver");
    p.lprecon = cs.integer("lprecon");
    const std::string& cn = cs.scalar("case").text;
    const std::string& ds = cs.scalar("describ").text;
    c.title.case_.set(cn.c_str(), cn.size());
    c.title.describ.set(ds.c_str(), ds.size());
    // Derived as the model derives them at start-up.
    s.nday = hc::i32(p.daodt + 9.999999747378752e-05);
    s.qfac = 41679.359375 / (p.dt * cs.ODZ[1]);
}

}  // namespace

void fill_tile(hc::Ctx& c, const Case& cs, int px, int py) {
    auto& m = c.mpicomm;
    m.myidx = px;
    m.myidy = py;
    m.jbeg = py == 0 ? 2 : 1;
    m.jend = py == hc::LASTROW ? 48 : 49;
    for (int n = 1; n <= hc::NZT; ++n) c.zfsglo.Z(n) = cs.Z[n];
    for (int k = 1; k <= hc::KM; ++k) c.zfsglo.ODZ(k) = cs.ODZ[k];
    for (int k = 1; k <= hc::KMP1; ++k) c.zfsglo.ODZW(k) = cs.ODZW[k];
    fill_masks(c, cs, px, py);
    fill_metrics(c, px, py);
    fill_parameters(c, cs);
}

}  // namespace prep
