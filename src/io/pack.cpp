// Packing of tile blocks into the order in which the output files store them,
// and the running means of the history.
#include "io/output.hpp"

namespace hc {

void mtx2rvec(const double* FD, double* RBF, int ni, int nj, int mi, int mj, int nk, int oi, int oj) {
    auto f = View<const double, 3>::shape(FD, {ni, nj, nk}, "FD");
    auto r = View<double, 1>::shape(RBF, {mi * mj * nk}, "RBF");
    int n = 0;
    for (int i = oi + 1; i <= oi + mi; ++i)
        for (int j = oj + 1; j <= oj + mj; ++j)
            for (int k = 1; k <= nk; ++k) r(++n) = f(i, j, k);
}

void mtx2dvec(const double* FD, double* DBF) { mtx2rvec(FD, DBF, NX, NY, NXI, NYI, 1, 1, 1); }

void mtx2rvec2(const double* FD, double* RBF, int ni, int nj, int mi, int mj, int nk, int oi, int oj) {
    auto f = View<const double, 3>::shape(FD, {ni, nj, nk}, "FD");
    auto r = View<double, 1>::shape(RBF, {mi * mj * nk}, "RBF");
    int n = 0;
    for (int k = 1; k <= nk; ++k)
        for (int j = oj + 1; j <= oj + mj; ++j)
            for (int i = oi + 1; i <= oi + mi; ++i) r(++n) = f(i, j, k);
}

void mtx2rvec_m(const double* FD, double* RBF, int ni, int nj, int nk, int mi, int mj, int mk, int nm, int oi,
                int oj) {
    auto f = View<const double, 4>::shape(FD, {ni, nj, nk, nm}, "FD");
    auto r = View<double, 1>::shape(RBF, {mi * mj * mk * nm}, "RBF");
    int n = 0;
    for (int m = 1; m <= nm; ++m)
        for (int k = 1; k <= mk; ++k)
            for (int j = oj + 1; j <= oj + mj; ++j)
                for (int i = oi + 1; i <= oi + mi; ++i) r(++n) = f(i, j, k, m);
}

void mtx2ivec(const i16* FD, i32* RBF, int ni, int nj, int mi, int mj, int nk, int oi, int oj) {
    auto f = View<const i16, 3>::shape(FD, {ni, nj, nk}, "FD");
    auto r = View<i32, 1>::shape(RBF, {mi * mj * nk}, "RBF");
    int n = 0;
    for (int k = 1; k <= nk; ++k)
        for (int j = oj + 1; j <= oj + mj; ++j)
            for (int i = oi + 1; i <= oi + mi; ++i) r(++n) = f(i, j, k);
}

namespace {

template <class F, class M>
void masked_interior(const F& FLD, const M& MASK, double* RBF, int nk) {
    auto r = View<double, 1>::shape(RBF, {nk * INTERIOR}, "RBF");
    int n = 0;
    for (int k = 1; k <= nk; ++k)
        for (int j = 2; j <= NY - 1; ++j)
            for (int i = 2; i <= NX - 1; ++i) r(++n) = static_cast<double>(MASK(i, j, k)) * FLD(i, j, k);
}

}  // namespace

void mtx2vec_c(const Field& FLD, const Box<i16, NX, NY, KM>& MASK, double* RBF) {
    masked_interior(FLD, MASK, RBF, KM);
}
void mtx2dec_c(const Field& FLD, const Box<i16, NX, NY, KM>& MASK, double* RBF) { mtx2vec_c(FLD, MASK, RBF); }
void mtx2vec_f(const FieldW& FLD, const Box<i16, NX, NY, KMP1>& MASK, double* RBFW) {
    masked_interior(FLD, MASK, RBFW, KMP1);
}

void timeavg(const double* SRC, double* ACC, int nk, double weight) {
    // Interior points of every level: runs of NX - 2 contiguous values. The
    // mean and the field are distinct arrays (ivdep), so each run is a plain
    // elementwise update that the compiler vectorizes.
    for (int k = 0; k < nk; ++k)
        for (int j = 1; j <= NY - 2; ++j) {
            const long o = (long(k) * NY + j) * NX + 1;
#pragma GCC ivdep
            for (int i = 0; i < NX - 2; ++i) ACC[o + i] = weight * SRC[o + i] + ACC[o + i];
        }
}

void timeavgd(const double* SRC, double* ACC, int nk, double weight) { timeavg(SRC, ACC, nk, weight); }

}  // namespace hc
