// Smagorinsky lateral viscosity: DMX on the longitudinal faces and DMY on the
// latitudinal faces, from the deformation of the C-grid velocity plus the
// background dm0. The cell-centre viscosity is built in scratch planes 1..40,
// whose halo comes from the neighbours.
#include <cmath>

#include "comm/comm.hpp"
#include "physics/physics.hpp"

namespace hc {

namespace {

// The one-point halo exchange of an 82 x 50 x 40 block of work planes, in the
// order and with the tags of the model's field exchange. Nothing is tested or
// printed; at the closed southern and northern edges the missing neighbour
// leaves the outer halo row as it was.
void exchange_work_planes(Ctx& c, double* f) { exchange_lines(c, f, c.mpicomm.col3d, c.mpicomm.row3d); }

}  // namespace

void smag_cell_viscosity(Ctx& c) {
    auto& SCR = c.scratchglo.SCR;
    const auto& U = c.cgridglo.U;
    const auto& V = c.cgridglo.V;
    const auto& IN = c.bathyglo.IN;
    const auto& m = c.metricglo;
    const double cs = double(0.12f);  // Smagorinsky constant, single precision widened
    for (int k = 1; k <= KM; ++k) {
        for (int j = 2; j <= NY - 1; ++j) {
            for (int i = 2; i <= NX - 1; ++i) {
                const double d1 = (U(i, j, k) - U(i - 1, j, k)) * m.ODX(j);
                const double d2 = (m.CSV(j) * V(i, j, k) - m.CSV(j - 1) * V(i, j - 1, k)) * m.OCS(j) * m.ODY(j);
                SCR(i, j, k) = cs * m.DX(j) * m.DY(j) * double(IN(i, j, k)) * std::sqrt(d1 * d1 + d2 * d2);
            }
        }
    }
}

void smag_face_viscosity(Ctx& c) {
    const auto& SCR = c.scratchglo.SCR;
    auto& DMX = c.filterglo.DMX;
    auto& DMY = c.filterglo.DMY;
    const double dm0 = c.controglo.dm0;
    for (int k = 1; k <= KM; ++k) {
        for (int j = 1; j <= NY; ++j) {
            for (int i = 1; i <= NX - 1; ++i) DMX(i, j, k) = 0.5 * (SCR(i, j, k) + SCR(i + 1, j, k)) + dm0;
        }
    }
    // Face row 49 first gets the one-sided value; it stays only on the
    // northern process row (jend = 48), whose face row 49 is the closed wall.
    const int jend = c.mpicomm.jend;
    for (int k = 1; k <= KM; ++k) {
        for (int i = 1; i <= NX; ++i) DMY(i, 49, k) = SCR(i, 48, k) + dm0;
        for (int j = 1; j <= jend; ++j) {
            for (int i = 1; i <= NX; ++i) DMY(i, j, k) = 0.5 * (SCR(i, j, k) + SCR(i, j + 1, k)) + dm0;
        }
    }
}

// Called by fsglo on every step with itf modulo 4 equal to 1, on every
// process (the exchange needs all neighbours). On return SCR planes 1..40
// hold the cell-centre viscosity without dm0, halo included.
void smagglo(Ctx& c) {
    smag_cell_viscosity(c);
    exchange_work_planes(c, c.scratchglo.SCR.data());
    smag_face_viscosity(c);
}

}  // namespace hc
