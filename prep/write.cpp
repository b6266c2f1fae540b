// Writes the run directory: the prepared inputs under work/prepglo/data/,
// the gas-exchange and atmospheric-history files under work/data/ and an
// empty output/.
#include <cstring>
#include <filesystem>
#include <memory>

#include "ncout.hpp"
#include "prep.hpp"
#include "solver/solver.hpp"

namespace prep {

namespace {

using hc::i16;
constexpr int NPX = hc::NPROC_COLS, NPY = hc::NPROC_ROWS;
constexpr int ROWS = NPY * hc::NY, COLS = NPX * hc::NX;  // 300 x 328 tile-block fields
constexpr int COLS_U = NPX * 84, ROWS_V = NPY * 51;       // face masks

// Per-tile pieces of the prepared files, gathered tile by tile.
struct Blocks {
    std::vector<short> kb, iu0, iv0, in, iw, iu, iv;
    std::vector<double> rmets;
    std::vector<double> f, tanphi, csv, ocsv, dxv, odxv, dyv, odyv;
    std::vector<double> y, ydeg, yv, yvdeg, cs, ocs, dx, odx, dy, ody, xdeg;
    std::vector<double> al, ar, ab, ac, cl, cb, cc, cr, ct, at;
    Blocks() {
        kb.resize(ROWS * COLS);
        rmets.resize(ROWS * COLS);
        iu0.resize(ROWS * COLS_U);
        iv0.resize(ROWS_V * COLS);
        in.resize(std::size_t(hc::KM) * ROWS * COLS);
        iw.resize(std::size_t(hc::KMP1) * ROWS * COLS);
        iu.resize(std::size_t(hc::KM) * ROWS * COLS_U);
        iv.resize(std::size_t(hc::KM) * ROWS_V * COLS);
        for (auto* v : {&f, &tanphi}) v->resize(NPY * 48);
        for (auto* v : {&csv, &ocsv, &dxv, &odxv, &dyv, &odyv}) v->resize(NPY * 49);
        for (auto* v : {&y, &ydeg, &yv, &yvdeg, &cs, &ocs, &dx, &odx, &dy, &ody}) v->resize(NPY * 50);
        xdeg.resize(NPX * hc::NX);
        for (auto* v : {&al, &ar, &ab, &ac, &cl, &cb, &cc, &cr, &ct}) v->resize(hc::JMT * hc::IMT);
        at.resize(NPY * 49 * hc::IMT);
    }
};

template <class A>
void copy_vec(std::vector<double>& dst, const A& src, int n, int block) {
    for (int j = 1; j <= n; ++j) dst[std::size_t(block) * n + j - 1] = src(j);
}

// Copies tile (px, py) of c into the file layouts.
void gather_tile(Blocks& b, hc::Ctx& c, const Case& cs, int px, int py) {
    auto& m = c.bathyglo;
    for (int j = 1; j <= hc::NY; ++j)
        for (int i = 1; i <= hc::NX; ++i) {
            const std::size_t p = std::size_t(hc::NY * py + j - 1) * COLS + (hc::NX * px + i - 1);
            b.kb[p] = m.KB(i, j);
            b.rmets[p] = m.KB(i, j) > 0 ? cs.Z[2 * m.KB(i, j) + 1] / 100.0 : 0.0;
            for (int k = 1; k <= hc::KM; ++k) b.in[std::size_t(k - 1) * ROWS * COLS + p] = m.IN(i, j, k);
            for (int k = 1; k <= hc::KMP1; ++k) b.iw[std::size_t(k - 1) * ROWS * COLS + p] = m.IW(i, j, k);
        }
    for (int j = 1; j <= hc::NY; ++j)
        for (int i = 0; i <= 83; ++i) {
            const std::size_t p = std::size_t(hc::NY * py + j - 1) * COLS_U + (84 * px + i);
            b.iu0[p] = m.IU0(i, j);
            for (int k = 1; k <= hc::KM; ++k) b.iu[std::size_t(k - 1) * ROWS * COLS_U + p] = m.IU(i, j, k);
        }
    for (int j = 0; j <= 50; ++j)
        for (int i = 1; i <= hc::NX; ++i) {
            const std::size_t p = std::size_t(51 * py + j) * COLS + (hc::NX * px + i - 1);
            b.iv0[p] = m.IV0(i, j);
            for (int k = 1; k <= hc::KM; ++k) b.iv[std::size_t(k - 1) * ROWS_V * COLS + p] = m.IV(i, j, k);
        }
    auto& g = c.metricglo;
    if (px == 0) {
        copy_vec(b.f, c.bglo.F, 48, py);
        copy_vec(b.tanphi, c.bglo.TANPHI, 48, py);
        copy_vec(b.csv, g.CSV, 49, py);
        copy_vec(b.ocsv, g.ocsv, 49, py);
        copy_vec(b.dxv, g.dxv, 49, py);
        copy_vec(b.odxv, g.odxv, 49, py);
        copy_vec(b.dyv, g.dyv, 49, py);
        copy_vec(b.odyv, g.ODYV, 49, py);
        copy_vec(b.y, g.y, 50, py);
        copy_vec(b.ydeg, g.YDEG, 50, py);
        copy_vec(b.yv, g.yv, 50, py);
        copy_vec(b.yvdeg, g.yvdeg, 50, py);
        copy_vec(b.cs, g.cs, 50, py);
        copy_vec(b.ocs, g.OCS, 50, py);
        copy_vec(b.dx, g.DX, 50, py);
        copy_vec(b.odx, g.ODX, 50, py);
        copy_vec(b.dy, g.DY, 50, py);
        copy_vec(b.ody, g.ODY, 50, py);
    }
    if (py == 0) copy_vec(b.xdeg, g.XDEG, hc::NX, px);
    // The surface-pressure operator and its preconditioner, built by the
    // model's own builder from this tile's context.
    auto& s = c.sevp;
    for (auto* a : {&s.AL, &s.AR, &s.AB, &s.AC, &s.cl, &s.cb, &s.cc, &s.cr, &s.ct}) a->fill(0.0);
    s.AT.fill(0.0);
    hc::build_surface_pressure_operator(c, false);
    hc::build_sip_factors(c, hc::kSipAlpha);
    const std::pair<std::vector<double>*, hc::IPlane*> planes[] = {{&b.al, &s.AL}, {&b.ar, &s.AR}, {&b.ab, &s.AB},
                                                                   {&b.ac, &s.AC}, {&b.cl, &s.cl}, {&b.cb, &s.cb},
                                                                   {&b.cc, &s.cc}, {&b.cr, &s.cr}, {&b.ct, &s.ct}};
    for (auto& [dst, src] : planes)
        for (int j = 1; j <= hc::NYI; ++j)
            for (int i = 1; i <= hc::NXI; ++i)
                (*dst)[std::size_t(48 * py + j - 1) * hc::IMT + (80 * px + i - 1)] = (*src)(i, j);
    for (int j = 1; j <= 49; ++j)
        for (int i = 1; i <= hc::NXI; ++i) b.at[std::size_t(49 * py + j - 1) * hc::IMT + (80 * px + i - 1)] = s.AT(i, j);
}

bool write_rundata(const std::string& path, const Case& cs, const Blocks& b, std::string& err) {
    NcOut f(path);
    f.attr("title", "halocline run configuration");
    const int one = f.dim("scalar", 1);
    std::vector<std::pair<int, const Scalar*>> vars;
    for (const Scalar& s : cs.scalars) {
        if (s.kind == Scalar::Text) {
            const int d = f.dim((s.name + "_length").c_str(), s.length);
            vars.push_back({f.var(s.name.c_str(), NC_CHAR, {d}), &s});
        } else {
            vars.push_back({f.var(s.name.c_str(), s.kind == Scalar::Int ? NC_INT : NC_DOUBLE, {one}), &s});
        }
    }
    const int r48 = f.dim("row_blocks_48", NPY * 48), r49 = f.dim("row_blocks_49", NPY * 49);
    const int r50 = f.dim("row_blocks_50", NPY * 50), c82 = f.dim("column_blocks_82", NPX * hc::NX);
    const std::pair<const char*, const std::vector<double>*> rows48[] = {{"f", &b.f}, {"tanphi", &b.tanphi}};
    const std::pair<const char*, const std::vector<double>*> rows49[] = {
        {"csv", &b.csv}, {"ocsv", &b.ocsv}, {"dxv", &b.dxv}, {"odxv", &b.odxv}, {"dyv", &b.dyv}, {"odyv", &b.odyv}};
    const std::pair<const char*, const std::vector<double>*> rows50[] = {
        {"y", &b.y},   {"ydeg", &b.ydeg}, {"yv", &b.yv}, {"yvdeg", &b.yvdeg}, {"cs", &b.cs},
        {"ocs", &b.ocs}, {"dx", &b.dx},   {"odx", &b.odx}, {"dy", &b.dy},     {"ody", &b.ody}};
    std::vector<std::pair<int, const std::vector<double>*>> vecs;
    for (auto& [n, v] : rows48) vecs.push_back({f.var(n, NC_DOUBLE, {r48}), v});
    for (auto& [n, v] : rows49) vecs.push_back({f.var(n, NC_DOUBLE, {r49}), v});
    for (auto& [n, v] : rows50) vecs.push_back({f.var(n, NC_DOUBLE, {r50}), v});
    vecs.push_back({f.var("xdeg", NC_DOUBLE, {c82}, "degrees_east"), &b.xdeg});
    f.enddef();
    for (auto& [id, s] : vars) {
        if (s->kind == Scalar::Text) {
            std::string t = s->text;
            t.resize(std::size_t(s->length), ' ');
            f.put_text(id, t.c_str());
        } else if (s->kind == Scalar::Int) {
            const int v = int(s->value);
            f.put(id, &v);
        } else {
            f.put(id, &s->value);
        }
    }
    for (auto& [id, v] : vecs) f.put(id, v->data());
    return f.close(err);
}

bool write_zkb(const std::string& path, const Case& cs, const Blocks& b, std::string& err) {
    NcOut f(path);
    f.attr("title", "halocline vertical grid, bottom levels and masks (per-tile blocks with halos)");
    const int one = f.dim("scalar", 1), nz = f.dim("depth_table", hc::NZT), nk = f.dim("level", hc::KM);
    const int nkw = f.dim("level_face", hc::KMP1);
    const int r = f.dim("tile_rows", ROWS), cc = f.dim("tile_columns", COLS);
    const int rv = f.dim("tile_rows_v", ROWS_V), cu = f.dim("tile_columns_u", COLS_U);
    const int vtlz = f.var("tlz", NC_DOUBLE, {one}, "cm");
    const int vz = f.var("z", NC_DOUBLE, {nz}, "cm");
    const int vodz = f.var("odz", NC_DOUBLE, {nk}, "1/cm");
    const int vodzw = f.var("odzw", NC_DOUBLE, {nkw}, "1/cm");
    const int vkb = f.var("kb", NC_SHORT, {r, cc});
    const int viv0 = f.var("iv0", NC_SHORT, {rv, cc});
    const int viu0 = f.var("iu0", NC_SHORT, {r, cu});
    const int viw = f.var("iw", NC_SHORT, {nkw, r, cc});
    const int vin = f.var("in", NC_SHORT, {nk, r, cc});
    const int viv = f.var("iv", NC_SHORT, {nk, rv, cc});
    const int viu = f.var("iu", NC_SHORT, {nk, r, cu});
    const int vrm = f.var("rmets", NC_DOUBLE, {r, cc}, "m");
    f.enddef();
    const double tlz = cs.real("tlz");
    f.put(vtlz, &tlz);
    f.put(vz, cs.Z + 1);
    f.put(vodz, cs.ODZ + 1);
    f.put(vodzw, cs.ODZW + 1);
    f.put(vkb, b.kb.data());
    f.put(viv0, b.iv0.data());
    f.put(viu0, b.iu0.data());
    f.put(viw, b.iw.data());
    f.put(vin, b.in.data());
    f.put(viv, b.iv.data());
    f.put(viu, b.iu.data());
    f.put(vrm, b.rmets.data());
    return f.close(err);
}

// Background vertical viscosity and diffusivity at the 39 interfaces:
// 1 and 0.1 cm^2/s (the background of the Richardson-number mixing).
bool write_windmix(const std::string& path, std::string& err) {
    NcOut f(path);
    const int d = f.dim("interface", hc::KMM1);
    const int vv = f.var("vbk", NC_DOUBLE, {d}, "cm2/s"), vh = f.var("hbk", NC_DOUBLE, {d}, "cm2/s");
    f.enddef();
    std::vector<double> v(hc::KMM1, 1.0), h(hc::KMM1, 0.1);
    f.put(vv, v.data());
    f.put(vh, h.data());
    return f.close(err);
}

bool write_winds(const std::string& path, const Case& cs, std::string& err) {
    NcOut f(path);
    f.attr("title", "monthly wind stress, N/m2 (the model multiplies by 10 for dyn/cm2)");
    const int dm = f.dim("month", hc::NMONTH), dj = f.dim("latitude", hc::JMT), di = f.dim("longitude", hc::IMT);
    const int vx = f.var("tauxs", NC_DOUBLE, {dm, dj, di}, "N/m2");
    const int vy = f.var("tauys", NC_DOUBLE, {dm, dj, di}, "N/m2");
    f.enddef();
    std::vector<double> x(std::size_t(hc::NMONTH) * hc::JMT * hc::IMT), y(x.size());
    for (int m = 1; m <= hc::NMONTH; ++m)
        for (int J = 1; J <= hc::JMT; ++J) {
            const double tx = wind_taux(cs, lat_deg(J), m), ty = wind_tauy(cs, lat_deg(J), m);
            for (int I = 1; I <= hc::IMT; ++I) {
                const std::size_t p = (std::size_t(m - 1) * hc::JMT + (J - 1)) * hc::IMT + (I - 1);
                const bool wet = cs.kbg(I, J) > 0;
                x[p] = wet ? tx : 0.0;
                y[p] = wet ? ty : 0.0;
            }
        }
    f.put(vx, x.data());
    f.put(vy, y.data());
    return f.close(err);
}

bool write_climatology(const std::string& path, const Case& cs, std::string& err) {
    NcOut f(path);
    f.attr("title", "monthly temperature (deg C) and salinity climatology, per-tile blocks with halos");
    const int dm = f.dim("month", hc::NMONTH), dk = f.dim("level", hc::KM);
    const int dr = f.dim("tile_rows", ROWS), dc = f.dim("tile_columns", COLS);
    const int vs = f.var("s1_data", NC_DOUBLE, {dm, dk, dr, dc});
    const int vt = f.var("t1_data", NC_DOUBLE, {dm, dk, dr, dc}, "degC");
    f.enddef();
    std::vector<double> s(std::size_t(hc::KM) * ROWS * COLS), t(s.size());
    std::vector<double> ts(std::size_t(hc::KM) * ROWS), ss(ts.size());
    for (int m = 1; m <= hc::NMONTH; ++m) {
        // Zonal fields: one value per block row and level.
        for (int k = 1; k <= hc::KM; ++k)
            for (int r = 0; r < ROWS; ++r) {
                const int J = 48 * (r / hc::NY) + (r % hc::NY);  // global row of block row r
                const double zm = cs.Z[2 * k] / 100.0;
                ts[std::size_t(k - 1) * ROWS + r] = clim_temp(cs, lat_deg(J), zm, m);
                ss[std::size_t(k - 1) * ROWS + r] = clim_salt(cs, lat_deg(J), zm, m);
            }
        for (std::size_t kr = 0; kr < ts.size(); ++kr)
            for (int col = 0; col < COLS; ++col) {
                t[kr * COLS + col] = ts[kr];
                s[kr * COLS + col] = ss[kr];
            }
        f.put(vs, {m - 1, 0, 0, 0}, {1, hc::KM, ROWS, COLS}, s.data());
        f.put(vt, {m - 1, 0, 0, 0}, {1, hc::KM, ROWS, COLS}, t.data());
    }
    return f.close(err);
}

bool write_evp(const std::string& path, const Blocks& b, std::string& err) {
    NcOut f(path);
    f.attr("title", "surface-pressure operator and block SIP preconditioner factors");
    const int dj = f.dim("latitude", hc::JMT), di = f.dim("longitude", hc::IMT), da = f.dim("at_rows", NPY * 49);
    const std::pair<const char*, const std::vector<double>*> fields[] = {
        {"al", &b.al}, {"ar", &b.ar}, {"ab", &b.ab}, {"ac", &b.ac}, {"cl", &b.cl},
        {"cb", &b.cb}, {"cc", &b.cc}, {"cr", &b.cr}, {"ct", &b.ct}};
    std::vector<std::pair<int, const std::vector<double>*>> ids;
    for (auto& [n, v] : fields) ids.push_back({f.var(n, NC_DOUBLE, {dj, di}), v});
    const int vat = f.var("at", NC_DOUBLE, {da, di});
    f.enddef();
    for (auto& [id, v] : ids) f.put(id, v->data());
    f.put(vat, b.at.data());
    return f.close(err);
}

bool write_gas(const std::string& path, const Case& cs, std::string& err) {
    NcOut f(path);
    f.attr("title", "monthly sea-ice fraction, gas-transfer factor (m/s) and sea-level pressure (atm)");
    const int di = f.dim("longitude", hc::IMT), dj = f.dim("latitude", hc::JMT), dm = f.dim("month", hc::NMONTH);
    const int vf = f.var("fice", NC_DOUBLE, {di, dj, dm}, "1");
    const int vk = f.var("xkw", NC_DOUBLE, {di, dj, dm}, "m/s");
    const int vp = f.var("patm", NC_DOUBLE, {di, dj, dm}, "atm");
    f.enddef();
    const std::size_t n = std::size_t(hc::IMT) * hc::JMT * hc::NMONTH;
    std::vector<double> fi(n), kw(n), pa(n);
    for (int I = 1; I <= hc::IMT; ++I)
        for (int J = 1; J <= hc::JMT; ++J)
            for (int m = 1; m <= hc::NMONTH; ++m) {
                const std::size_t p = (std::size_t(I - 1) * hc::JMT + (J - 1)) * hc::NMONTH + (m - 1);
                fi[p] = gas_fice(lat_deg(J), m);
                kw[p] = gas_xkw(cs, lat_deg(J), m);
                pa[p] = gas_patm(lat_deg(J));
            }
    f.put(vf, fi.data());
    f.put(vk, kw.data());
    f.put(vp, pa.data());
    return f.close(err);
}

}  // namespace

bool write_run_directory(const Case& cs, std::string& err) {
    namespace fs = std::filesystem;
    const fs::path out(cs.opt.out), pd = out / "work" / "prepglo" / "data", wd = out / "work" / "data";
    // Every input is read before anything is made: bad input leaves no run directory.
    std::vector<CfcYear> cfc;
    if (!read_cfc_record(cs.opt.data_dir + "/cfc-atmosphere.txt", cfc, err)) return false;
    std::error_code ec;
    for (const fs::path& d : {pd, wd, out / "output"}) {
        fs::create_directories(d, ec);
        if (ec) {
            err = "cannot create " + d.string() + ": " + ec.message();
            return false;
        }
    }

    auto blocks = std::make_unique<Blocks>();
    std::unique_ptr<hc::Ctx> c(hc::make_ctx());
    for (int py = 0; py < NPY; ++py)
        for (int px = 0; px < NPX; ++px) {
            fill_tile(*c, cs, px, py);
            gather_tile(*blocks, *c, cs, px, py);
        }
    return write_rundata((pd / "rundata.nc").string(), cs, *blocks, err) &&
           write_zkb((pd / "zkb.nc").string(), cs, *blocks, err) &&
           write_windmix((pd / "windmix.nc").string(), err) && write_winds((pd / "winds.nc").string(), cs, err) &&
           write_climatology((pd / "annualevitus.nc").string(), cs, err) &&
           write_evp((pd / "evp.nc").string(), *blocks, err) && write_gas((wd / "brinex_gasx.nc").string(), cs, err) &&
           write_cfc_history((wd / "cfc1112_new.atm").string(), cfc, err);
}

}  // namespace prep
