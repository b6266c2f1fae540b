// The Robert-Asselin-Williams filter of the three time levels.
//
// With d = fltw (0.5 (X1 + X2) - XLF) the filtered level n becomes the next
// step's older level, X1 := XLF + rawf d, and the filtered level n+1 the next
// step's XLF := X2 + (rawf - 1) d; X2 keeps the unfiltered level n+1. With
// rawf = 1 this is the classical Robert-Asselin filter (XLF = X2 after it).
// Interior points only: the halos stay as the step's exchanges left them.
#include "filter/filter.hpp"

namespace hc {

namespace {

void filter_field(Field& X1, const Field& X2, Field& XLF, double fltw, double rawf) {
    for (int k = 1; k <= KM; ++k)
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) {
                const double x1 = X1(i, j, k), x2 = X2(i, j, k), xlf = XLF(i, j, k);
                const double d = fltw * (0.5 * (x1 + x2) - xlf);
                X1(i, j, k) = xlf + rawf * d;
                XLF(i, j, k) = x2 + (rawf - 1.0) * d;
            }
}

}  // namespace

void modified_filter(Ctx& c) {
    auto& b = c.bglo;
    const double fltw = c.controglo.fltw, rawf = c.controglo.rawf;
    filter_field(b.U1, b.U2, b.ULF, fltw, rawf);
    filter_field(b.V1, b.V2, b.VLF, fltw, rawf);
    filter_field(b.T1, b.T2, b.TLF, fltw, rawf);
    filter_field(b.S1, b.S2, b.SLF, fltw, rawf);
    filter_field(b.C1, b.C2, b.CLF, fltw, rawf);
}

}  // namespace hc
