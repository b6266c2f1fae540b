// Wind stress on the top level of the current velocities, with the run's
// per-step progress line, and two surface-heating procedures that nothing
// calls.
#include <algorithm>

#include "physics/physics.hpp"
#include "util/format.hpp"

namespace hc {

// Called by fsglo every step after the level loop. Adds the monthly stress,
// interpolated with the month weights of the step, times dt / dz of the top
// layer (the stress is not divided by a density: water of 1 g/cm3).
void windglo(Ctx& c, Field& U2, Field& V2, double& days, double& dt, double& odz1) {
    if (c.mpicomm.myid == 0) fmt::out((fmt::Line() << "days = " << days).str());
    const double fw = dt * odz1;
    const auto& kl = c.klimatglo;
    const auto& TAUX = c.windsglo.TAUX;
    const auto& TAUY = c.windsglo.TAUY;
    for (int j = 2; j <= NY - 1; ++j) {
        for (int i = 2; i <= NX - 1; ++i) {
            U2(i, j, 1) = U2(i, j, 1) +
                          (kl.wthis * TAUX(i - 1, j - 1, kl.mthis) + kl.wnext * TAUX(i - 1, j - 1, kl.mnext)) * fw;
            V2(i, j, 1) = V2(i, j, 1) +
                          (kl.wthis * TAUY(i - 1, j - 1, kl.mthis) + kl.wnext * TAUY(i - 1, j - 1, kl.mnext)) * fw;
        }
    }
}

// Adds the uniform surface heating (a * b / 25000) * 50 to the interior of a plane.
void qsurfglo(Plane& plane, double& a, double& b) {
    const double q = (a * b / 25000.0) * 50.0;
    for (int j = 2; j <= NY - 1; ++j) {
        for (int i = 2; i <= NX - 1; ++i) plane(i, j) += q;
    }
}

// Penetrating heating by the profile QPROF: level k receives a * 10 * D /
// 25000 times its reciprocal thickness, D running as QPROF(1), then
// QPROF(k+1) - D; heating meant for levels below the bottom goes into the
// bottom level. A land column (bottom level below 1) receives nothing.
void sunglo(Field& T, double& a, Vec<double, KM>& ODZ, Vec<double, KM>& QPROF, Mat<i16, NX, NY>& KB) {
    double d = QPROF(1);
    for (int k = 1; k <= KM; ++k) {
        const double cq = a * 10.0 * d / 25000.0;
        for (int j = 2; j <= NY - 1; ++j) {
            for (int i = 2; i <= NX - 1; ++i) {
                if (KB(i, j) < 1) continue;
                const int kk = std::min<int>(k, KB(i, j));
                T(i, j, kk) += ODZ(kk) * cq;
            }
        }
        if (k < KM) d = QPROF(k + 1) - d;
    }
}

}  // namespace hc
