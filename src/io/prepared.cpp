// Readers of the prepared input files under prepglo/data/ and the three thin
// set-up steps that call them. Every file is prepared for this decomposition:
// tile blocks W x H hold each process's block side by side (halo included for
// 82 x 50 and wider), 80 x 48 blocks form plain global interior fields.
#include <cstdio>
#include <string>

#include "comm/comm.hpp"
#include "io/io.hpp"
#include "io/nc.hpp"
#include "io/readers.hpp"
#include "util/format.hpp"

namespace hc {

void rdnc_windmix(Ctx& c) {
    nc::Input f(c, "prepglo/data/windmix.nc");
    f.get("vbk", nc::vector_block(KMM1, 0), c.windmxglo.vbk.data());
    f.get("hbk", nc::vector_block(KMM1, 0), c.windmxglo.hbk.data());
}

void set_windmix(Ctx& c) { rdnc_windmix(c); }

void rdnc_zkb(Ctx& c) {
    auto& z = c.zfsglo;
    auto& b = c.bathyglo;
    const int px = c.mpicomm.myidx, py = c.mpicomm.myidy;
    nc::Input f(c, "prepglo/data/zkb.nc");
    f.get("tlz", nc::single(), &c.controglo.tlz);
    f.get("z", nc::vector_block(NZT, 0), z.Z.data());
    f.get("odz", nc::vector_block(KM, 0), z.ODZ.data());
    f.get("odzw", nc::vector_block(KMP1, 0), z.ODZW.data());
    f.get("kb", nc::tile_block(82, 50, px, py), b.KB.data());
    f.get("iv0", nc::tile_block(82, 51, px, py), b.IV0.data());
    f.get("iu0", nc::tile_block(84, 50, px, py), b.IU0.data());
    f.get("iw", nc::tile_block(82, 50, px, py, KMP1), b.IW.data());
    f.get("in", nc::tile_block(82, 50, px, py, KM), b.IN.data());
    f.get("iv", nc::tile_block(82, 51, px, py, KM), b.IV.data());
    f.get("iu", nc::tile_block(84, 50, px, py, KM), b.IU.data());
}

void rdnc_zkb2(Ctx& c) {
    nc::Input f(c, "prepglo/data/zkb.nc");
    f.get("rmets", nc::tile_block(82, 50, c.mpicomm.myidx, c.mpicomm.myidy), c.scratchglo.SCR.at(1, 1, 1));
}

int bathymetry_faults(const Ctx& c, int where[3]) {
    const auto& b = c.bathyglo;
    int bad = 0;
    for (int j = 1; j <= NY; ++j)
        for (int i = 1; i <= NX; ++i) {
            const int kb = b.KB(i, j);
            if (kb < 0 || kb > KM) {
                if (bad++ == 0) where[0] = i, where[1] = j, where[2] = 0;
                continue;
            }
            for (int k = 1; k <= KM; ++k)
                if (b.IN(i, j, k) != (k <= kb ? 1 : 0)) {
                    if (bad++ == 0) where[0] = i, where[1] = j, where[2] = k;
                    break;
                }
        }
    return bad;
}

void check_bathymetry(Ctx& c) {
    int where[3] = {0, 0, 0};
    const int bad = bathymetry_faults(c, where);
    if (bad > 0) {
        const int i = where[0], j = where[1], k = where[2];
        std::string what = k == 0 ? "bottom level kb = " + std::to_string(c.bathyglo.KB(i, j)) + " outside 0..40"
                                  : "cell mask in = " + std::to_string(c.bathyglo.IN(i, j, k)) + " at level " +
                                        std::to_string(k) + " disagrees with kb = " +
                                        std::to_string(c.bathyglo.KB(i, j));
        fmt::out(" prepglo/data/zkb.nc: tile " + std::string(c.grdglo.name) + " point (" + std::to_string(i) + ", " +
                 std::to_string(j) + "): " + what + " (" + std::to_string(bad) + " such points)");
    }
    if (nc::any(c, bad > 0)) {
        fmt::out(" prepglo/data/zkb.nc: bottom levels or cell masks refused; run stopped");
        stop_run(c);
    }
}

double heat_flux_factor(double dt, double odz1) {
    // 41679.359375 is a single-precision constant; the product is formed first.
    return 41679.359375 / (dt * odz1);
}

void set_zkb(Ctx& c) {
    rdnc_zkb(c);
    check_bathymetry(c);
    c.scaglo.qfac = heat_flux_factor(c.controglo.dt, c.zfsglo.ODZ(1));
}

void rdnc_winds(Ctx& c) {
    const nc::Slab s = nc::from_vectors(c.pnetcdf2.fstm, c.pnetcdf2.fcnm);
    nc::Input f(c, "prepglo/data/winds.nc");
    f.get("tauxs", s, c.windsglo.TAUX.data());
    f.get("tauys", s, c.windsglo.TAUY.data());
}

// Scales the stress by 10 on water and zeroes it on land; returns the tile's
// wet interior surface points.
int scale_surface_winds(Ctx& c) {
    auto& w = c.windsglo;
    const auto& in = c.bathyglo.IN;
    int count = 0;
    for (int m = 1; m <= NMONTH; ++m) {
        count = 0;
        for (int j = 1; j <= NYI; ++j)
            for (int i = 1; i <= NXI; ++i) {
                count += in(i + 1, j + 1, 1);
                const double fac = static_cast<double>(10.0f * static_cast<float>(in(i + 1, j + 1, 1)));
                w.TAUX(i, j, m) = w.TAUX(i, j, m) * fac;
                w.TAUY(i, j, m) = w.TAUY(i, j, m) * fac;
            }
    }
    return count;
}

void set_surfwinds(Ctx& c) {
    rdnc_winds(c);
    int count = scale_surface_winds(c);
    c.mpicomm.ierr = MPI_Allreduce(&count, &c.scaglo.nwet, 1, MPI_INT, MPI_SUM, c.mpicomm.comm3d);
}

void rdnc_levitus(Ctx& c, int& m) {
    const nc::Slab s = nc::tile_block(82, 50, c.mpicomm.myidx, c.mpicomm.myidy, KM, m);
    nc::Input f(c, "prepglo/data/annualevitus.nc");
    f.get("s1_data", s, c.climatglo.SCLIM.data());
    f.get("t1_data", s, c.climatglo.TCLIM.data());
}

void rdnc_evp(Ctx& c) {
    auto& e = c.sevp;
    const nc::Slab s = nc::from_vectors(c.pnetcdf2.fst2, c.pnetcdf2.fcn2);
    nc::Input f(c, "prepglo/data/evp.nc");
    f.get("al", s, e.AL.data());
    f.get("ar", s, e.AR.data());
    f.get("ab", s, e.AB.data());
    f.get("ac", s, e.AC.data());
    f.get("cl", s, e.cl.data());
    f.get("cb", s, e.cb.data());
    f.get("cc", s, e.cc.data());
    f.get("cr", s, e.cr.data());
    f.get("ct", s, e.ct.data());
    // "at" holds one 80 x 49 block per process (file extent 320 x 294).
    f.get("at", nc::tile_block(80, 49, c.mpicomm.myidx, c.mpicomm.myidy), e.AT.data());
}

void pnetcdferrck(Ctx& c, int& status) {
    (void)c;
    if (status == NC_NOERR) return;
    fmt::out("");
    fmt::out("pnetcdf error: " + nc::error_text(status));
}

}  // namespace hc
