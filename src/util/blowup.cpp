#include "util/blowup.hpp"

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "comm/comm.hpp"
#include "io/log.hpp"
#include "util/format.hpp"
#include "util/rawfile.hpp"

namespace hc {

namespace {

constexpr double kBig = 1.0000000200408773e20;  // 1.0e20 in single precision, widened

// An integer field holding a value truncated towards zero.
std::string truncated(double v, int w) {
    double t = std::trunc(v);
    if (std::isnan(t)) return fmt::F(t, w, 0);
    if (!(std::fabs(t) < 1e18)) return std::string(w, '*');
    return fmt::I(static_cast<long long>(t), w);
}

}  // namespace

void rangerle(const double* FLD, const i16* IN, int nx, int ny, int i1, int j1, int i2, int j2, i32 LO[2],
              i32 HI[2], double& AMIN, double& AMAX) {
    auto f = View<const double, 2>::shape(FLD, {nx, ny}, "FLD");
    auto m = View<const i16, 2>::shape(IN, {nx, ny}, "IN");
    bool any = false;
    int li = 0, lj = 0;
    for (int j = j1; j <= j2; ++j)  // location of the minimum
        for (int i = i1; i <= i2; ++i)
            if (m(i, j) == 1 && (!any || f(i, j) < f(li, lj))) {
                any = true;
                li = i;
                lj = j;
            }
    LO[0] = any ? li - i1 + 1 : 0;
    LO[1] = any ? lj - j1 + 1 : 0;

    double r = std::numeric_limits<double>::infinity();
    any = false;
    for (int j = j1; j <= j2; ++j)  // minimum
        for (int i = i1; i <= i2; ++i)
            if (m(i, j) == 1) {
                any = true;
                if (f(i, j) < r) r = f(i, j);
            }
    if (!any) r = DBL_MAX;
    AMIN = r > kBig ? 0.0 : r;

    any = false;
    for (int j = j1; j <= j2; ++j)  // location of the maximum
        for (int i = i1; i <= i2; ++i)
            if (m(i, j) == 1 && (!any || f(i, j) > f(li, lj))) {
                any = true;
                li = i;
                lj = j;
            }
    HI[0] = any ? li - i1 + 1 : 0;
    HI[1] = any ? lj - j1 + 1 : 0;

    r = -std::numeric_limits<double>::infinity();
    any = false;
    for (int j = j1; j <= j2; ++j)  // maximum
        for (int i = i1; i <= i2; ++i)
            if (m(i, j) == 1) {
                any = true;
                if (f(i, j) > r) r = f(i, j);
            }
    if (!any) r = -DBL_MAX;
    AMAX = r < -kBig ? 0.0 : r;
}

void ranger(const double* FLD, const i16* IN, int nx, int i1, int j1, int i2, int j2, i32& ILO, i32& JLO,
            i32& IHI, i32& JHI, double& AMIN, double& AMAX) {
    auto f = View<const double, 2>::shape(FLD, {nx, j2}, "FLD");
    auto m = View<const i16, 2>::shape(IN, {nx, j2}, "IN");
    AMIN = kBig;
    AMAX = -kBig;
    for (int j = j1; j <= j2; ++j)
        for (int i = i1; i <= i2; ++i) {
            double w = m(i, j), v = f(i, j);
            double lo = v < AMIN ? v : AMIN, hi = v > AMAX ? v : AMAX;
            AMIN = (1.0 - w) * AMIN + w * lo;
            AMAX = (1.0 - w) * AMAX + w * hi;
        }
    for (int j = j1; j <= j2; ++j)
        for (int i = i1; i <= i2; ++i) {
            if (f(i, j) == AMAX) {
                IHI = i;
                JHI = j;
            } else if (f(i, j) == AMIN) {
                ILO = i;
                JLO = j;
            }
        }
}

// Whether the interior run x(1..NX-2) holds a value that is not finite: x - x
// is zero for every finite value and NaN for infinities and NaNs, and a sum of
// zeros with any NaN in it is NaN whatever its order, so the run is summed in
// four independent parts that the loop adds two at a time.
bool run_nonfinite(const double* x) {
    static_assert((NX - 2) % 4 == 0, "the run is summed in four parts");
    double z[4] = {0.0, 0.0, 0.0, 0.0};
    for (int i = 1; i <= NX - 2; i += 4)
        for (int q = 0; q < 4; ++q) z[q] = z[q] + (x[i + q] - x[i + q]);
    const double s = (z[0] + z[1]) + (z[2] + z[3]);
    return s != s;
}

bool find_nonfinite(const Ctx& c, NonFinite& at) {
    const auto& b = c.bglo;
    const Field* f3[5] = {&b.U2, &b.V2, &b.T2, &b.S2, &b.C2};
    const char* names[5] = {"u2", "v2", "t2", "s2", "c2"};
    for (int n = 0; n < 5; ++n) {
        const Field& f = *f3[n];
        for (int k = 1; k <= KM; ++k)
            for (int j = 2; j <= NY - 1; ++j) {
                if (!run_nonfinite(&f(1, j, k))) continue;
                for (int i = 2; i <= NX - 1; ++i)
                    if (!std::isfinite(f(i, j, k))) {
                        at = {names[n], i, j, k};
                        return true;
                    }
            }
    }
    for (int j = 2; j <= NY - 1; ++j)
        for (int i = 2; i <= NX - 1; ++i)
            if (!std::isfinite(b.P0(i, j))) {
                at = {"p0", i, j, 1};
                return true;
            }
    return false;
}

void check_blowup(Ctx& c) {
    auto& m = c.mpicomm;
    auto& rg = c.ranger;
    double vlo = 0, vhi = 0;
    rangerle(c.bglo.V2.at(1, 1, 1), c.bathyglo.IN.at(1, 1, 1), NX, NY, 2, 2, 81, 49, rg.ijlo, rg.ijhi, vlo, vhi);
    // A NaN passes over the range, so a state that is not finite would run
    // on and be saved: a tile holding one enters the maximum as +infinity,
    // which makes the global range infinite and stops every process after
    // the same two reductions.
    NonFinite bad{};
    const bool nonfinite = find_nonfinite(c, bad);
    const double hi = nonfinite ? std::numeric_limits<double>::infinity() : vhi;
    double gmax = 0, gmin = 0;
    m.ierr = MPI_Allreduce(&hi, &gmax, 1, MPI_DOUBLE, MPI_MAX, m.comm3d);
    m.ierr = MPI_Allreduce(&vlo, &gmin, 1, MPI_DOUBLE, MPI_MIN, m.comm3d);
    double d = gmax - gmin;
    if (!(d >= 1000.0)) return;

    const int itf = c.scaglo.itf;
    log_line(c, "itf,ilo,jlo,vlo,ihi,jhi,vhi,vmx-vmn|l,vmx-vmn|g=" + fmt::I(itf, 8) + fmt::I(rg.ijlo[0], 5) +
                    fmt::I(rg.ijlo[1], 5) + truncated(vlo, 5) + fmt::I(rg.ijhi[0], 5) + fmt::I(rg.ijhi[1], 5) +
                    truncated(vhi, 5) + fmt::F(vhi - vlo, 8, 3) + fmt::F(d, 8, 3));
    log_line(c, "stop. unix-pectedly large velocity at itf=" + fmt::I(itf, 7));
    std::string where;
    if (nonfinite) {
        where = (fmt::Line() << "value not finite:" << bad.field << "at i,j,k=" << bad.i << bad.j << bad.k
                             << "itf=" << itf << "myid =" << m.myid)
                    .str();
        log_line(c, where);
    }
    log_flush(c);
    fmt::out((fmt::Line() << "unix-pectedly large velocity at itf=" << itf << "myid =" << m.myid).str());
    if (nonfinite) fmt::out(where);
    const RawPart parts[4] = {{c.bglo.U2.data(), Field::bytes()},
                              {c.bglo.V2.data(), Field::bytes()},
                              {c.bglo.T2.data(), Field::bytes()},
                              {c.bglo.S2.data(), Field::bytes()}};
    write_raw_record(std::string("data/blow_check") + c.grdglo.name, parts, 4);
    stop_run(c);
}

}  // namespace hc
