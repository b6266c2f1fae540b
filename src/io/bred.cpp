// Bred-vector mode: the difference between the run's state and a control
// state read from the per-field files in data/ is rescaled to a fixed size
// at every save step, in place of the restart save.
//
// The mode is on when "prepglo/data/rundata.nc" holds a variable "lbred"
// equal to 1. The window and the target sizes are then taken at the first
// step of the run (initbred, called by the save control at step 1).
#include <cmath>
#include <string>

#include "io/io.hpp"
#include "io/nc.hpp"
#include "util/format.hpp"

namespace hc {

namespace {

// Levels of the scheme: the perturbation below them is not kept.
constexpr int KBRED = 30;

// One time level: its four fields, the control files and the message words.
struct TimeLevel {
    Field* f[4];  // u, v, T, S
    const char* tag[4];
    const char* var[4];
    double* target;
    const char* word;  // "ke1", "ke2", "kel"
};

void time_levels(Ctx& c, TimeLevel (&tl)[3]) {
    auto& b = c.bglo;
    auto& r = c.bred;
    tl[0] = {{&b.U1, &b.V1, &b.T1, &b.S1}, {"u1", "v1", "t1", "s1"}, {"u1", "v1", "t1", "s1"}, &r.ke1norm, "ke1"};
    tl[1] = {{&b.U2, &b.V2, &b.T2, &b.S2}, {"u2", "v2", "t2", "s2"}, {"u2", "v2", "t2", "s2"}, &r.ke2norm, "ke2"};
    tl[2] = {{&b.ULF, &b.VLF, &b.TLF, &b.SLF},
             {"ul", "vl", "tl", "sl"},
             {"ulf", "vlf", "tlf", "slf"},
             &r.kelnorm,
             "kel"};
}

void copy_interior(const Field& from, Field& to, int nk) {
    for (int k = 1; k <= nk; ++k)
        for (int j = 2; j <= NY - 1; ++j)
            for (int i = 2; i <= NX - 1; ++i) to(i, j, k) = from(i, j, k);
}

void read_control(Ctx& c, const TimeLevel& t) {
    for (int n = 0; n < 4; ++n) readnc(c, t.tag[n], t.var[n], t.f[n]->data(), KM);
}

double global_sum(Ctx& c, double local) {
    double sum = 0.0;
    MPI_Allreduce(&local, &sum, 1, MPI_DOUBLE, MPI_SUM, c.mpicomm.comm3d);
    return sum;
}

}  // namespace

void read_bred_switch(Ctx& c) {
    const char* path = "prepglo/data/rundata.nc";
    c.bred.lbred = 0;
    int ncid = -1, varid = -1;
    const int st = ncmpi_open(c.mpicomm.comm3d, path, NC_NOWRITE, MPI_INFO_NULL, &ncid);
    // A missing configuration is reported by its own reader.
    if (nc::any(c, st != NC_NOERR)) {
        if (st == NC_NOERR) ncmpi_close(ncid);
        return;
    }
    const bool present = ncmpi_inq_varid(ncid, "lbred", &varid) == NC_NOERR;
    ncmpi_close(ncid);
    if (!nc::any(c, present)) return;
    nc::Input in(c, path);
    i32 v = 0;
    in.get("lbred", nc::single(), &v);
    c.bred.lbred = v;
}

void initbred(Ctx& c) {
    auto& r = c.bred;
    auto& w = c.bredwork;
    auto& IN = c.bathyglo.IN;
    const int px = c.mpicomm.myidx, py = c.mpicomm.myidy;
    for (int j = 1; j <= NYI; ++j)
        for (int i = 1; i <= NXI; ++i) {
            const int gi = 80 * px + i, gj = 48 * py + j;
            r.IBRED(i, j) = (540 <= gi && gi <= 720 && 524 <= gj && gj <= 572) ? 1 : 0;
        }

    TimeLevel tl[3];
    time_levels(c, tl);
    for (const TimeLevel& t : tl) {
        copy_interior(*t.f[0], w.IUB, KBRED);
        copy_interior(*t.f[1], w.IVB, KBRED);
        read_control(c, t);
        const Field &u = *t.f[0], &v = *t.f[1];
        double local = 0.0;
        for (int k = 1; k <= KBRED; ++k)
            for (int j = 2; j <= NY - 1; ++j)
                for (int i = 2; i <= NX - 1; ++i) {
                    const double wt = r.IBRED(i - 1, j - 1);
                    w.IUB(i, j, k) = wt * (w.IUB(i, j, k) - u(i, j, k));
                    w.IVB(i, j, k) = wt * (w.IVB(i, j, k) - v(i, j, k));
                    local += IN(i, j, k) * (w.IUB(i, j, k) * w.IUB(i, j, k) + w.IVB(i, j, k) * w.IVB(i, j, k));
                }
        const double sum = global_sum(c, local);
        *t.target = std::sqrt(sum);
        if (c.mpicomm.myid == 0) {
            const std::string word = t.target == &r.kelnorm ? "kelf" : t.word;
            fmt::out((fmt::Line() << "bred " + word + " factor =" << *t.target << "bred " + word + " = " << sum).str());
        }
    }
}

void rescbred(Ctx& c) {
    auto& r = c.bred;
    auto& w = c.bredwork;
    auto& IN = c.bathyglo.IN;
    Field* pert[4] = {&w.UB, &w.VB, &w.TB, &w.SB};

    TimeLevel tl[3];
    time_levels(c, tl);
    for (const TimeLevel& t : tl) {
        for (int n = 0; n < 4; ++n) copy_interior(*t.f[n], *pert[n], KBRED);
        read_control(c, t);
        auto& UB = w.UB;
        auto& VB = w.VB;

        double local = 0.0;
        for (int k = 1; k <= KBRED; ++k)
            for (int j = 2; j <= NY - 1; ++j)
                for (int i = 2; i <= NX - 1; ++i) {
                    const double wt = r.IBRED(i - 1, j - 1);
                    for (int n = 0; n < 4; ++n) {
                        Field& p = *pert[n];
                        p(i, j, k) = wt * (p(i, j, k) - (*t.f[n])(i, j, k));
                    }
                    local += IN(i, j, k) * (UB(i, j, k) * UB(i, j, k) + VB(i, j, k) * VB(i, j, k));
                }
        const double size = global_sum(c, local);
        double factor = *t.target / std::sqrt(size);
        // A perturbation without size gives no direction to rescale along:
        // it is kept as it is (factor 1) and said so.
        const bool unscaled = !(size > 0.0) || !std::isfinite(factor);
        if (unscaled) {
            factor = 1.0;
            if (c.mpicomm.myid == 0)
                fmt::out((fmt::Line() << "bred " + std::string(t.word) + ": perturbation size" << size
                                      << "gives no finite factor; kept unscaled")
                             .str());
        }

        double local2 = 0.0;
        for (int k = 1; k <= KBRED; ++k)
            for (int j = 2; j <= NY - 1; ++j)
                for (int i = 2; i <= NX - 1; ++i) {
                    const double in = IN(i, j, k);
                    local2 += in * r.IBRED(i - 1, j - 1) * (UB(i, j, k) * UB(i, j, k) + VB(i, j, k) * VB(i, j, k));
                    for (int n = 0; n < 4; ++n) {
                        Field& f = *t.f[n];
                        f(i, j, k) = in * factor * (*pert[n])(i, j, k) + f(i, j, k);
                    }
                }
        const double sum2 = global_sum(c, local2);
        if (c.mpicomm.myid == 0 && !unscaled)
            fmt::out((fmt::Line() << "bred " + std::string(t.word) + " factor =" << factor
                                  << "bred " + std::string(t.word) + " = " << sum2)
                         .str());
    }
}

void finalize_io(Ctx&) {}

}  // namespace hc
