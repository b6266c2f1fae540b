// Conversions between the cell-centred velocities U2, V2 and the C-grid face
// velocities U, V, both of fourth order.
//
// Face value from the cells on either side and the next one beyond each:
//   ((6 (q(m) + q(m+1)) + t) c12) mask,  t = ((q(m) - q(m-1)) + q(m+1)) - q(m+2)
// Cell value from its two faces and the next face beyond each:
//   (IN c24) ((((12 (p(m-1) + p(m)) - p(m-2)) + p(m-1)) + p(m)) - p(m+1))
// The lines one point beyond the halo come from the neighbours as whole
// columns or rows of all 40 levels (transfers H1..H8), received into work
// arrays: SCR1 (kept between steps) for the faces, SCR for the cells.
#include "comm/comm.hpp"
#include "driver/driver.hpp"
#include "driver/step.hpp"

namespace hc {

namespace {

// Two paired transfers of whole-field columns or rows in one round (the
// lines sent and the lines received are distinct).
void transfer2(Ctx& c, LineTransfer a, LineTransfer b, MPI_Datatype t) {
    const LineTransfer r[2] = {a, b};
    transfer_round(c, r, 2, t);
}

}  // namespace

void face_u_sums(Ctx& c) {
    auto& SCR = c.scratchglo.SCR;
    auto& U2 = c.bglo.U2;
    // Each loop leaves one point to itself, so that the run has even length
    // and vectorizes without a remainder.
    for (int k = 1; k <= KM; ++k)
        for (int j = 2; j <= 49; ++j) {
            auto sum = [&](int i) { SCR(i, j, k) = 6.0 * (U2(i, j, k) + U2(i + 1, j, k)); };
            auto term = [&](int i) {
                SCR(i, j, k) += ((U2(i, j, k) - U2(i - 1, j, k)) + U2(i + 1, j, k)) - U2(i + 2, j, k);
            };
            sum(1);
#pragma GCC ivdep
            for (int i = 2; i <= 81; ++i) sum(i);
#pragma GCC ivdep
            for (int i = 2; i <= 79; ++i) term(i);
            term(80);
        }
}

void face_u_finish(Ctx& c) {
    auto& SCR = c.scratchglo.SCR;
    auto& SCR1 = c.cgridwork.SCR1;
    auto& U2 = c.bglo.U2;
    auto& U = c.cgridglo.U;
    auto& IU = c.bathyglo.IU;
    // SCR1 column 82 holds U2 of column 0 (west), column 81 that of column 83 (east).
    for (int k = 1; k <= KM; ++k)
        for (int j = 2; j <= 49; ++j) {
            SCR(1, j, k) += ((U2(1, j, k) - SCR1(82, j, k)) + U2(2, j, k)) - U2(3, j, k);
            SCR(81, j, k) += ((U2(81, j, k) - U2(80, j, k)) + U2(82, j, k)) - SCR1(81, j, k);
            auto face = [&](int i) { U(i, j, k) = (SCR(i, j, k) * c12) * double(IU(i, j, k)); };
            face(1);
#pragma GCC ivdep
            for (int i = 2; i <= 81; ++i) face(i);
        }
}

void face_v_sums(Ctx& c) {
    auto& SCR = c.scratchglo.SCR;
    auto& V2 = c.bglo.V2;
    const int jb = c.mpicomm.jbeg, je = c.mpicomm.jend;
    for (int k = 1; k <= KM; ++k) {
        for (int j = jb; j <= je; ++j)
            for (int i = 2; i <= 81; ++i) SCR(i, j, k) = 6.0 * (V2(i, j, k) + V2(i, j + 1, k));
        // Faces 2..48 on every process row: on the southern row face 2 reads
        // halo row 1 and on the northern row face 48 reads row 50, which no
        // exchange fills there.
        for (int j = 2; j <= 48; ++j)
            for (int i = 2; i <= 81; ++i)
                SCR(i, j, k) = (((SCR(i, j, k) - V2(i, j - 1, k)) + V2(i, j, k)) + V2(i, j + 1, k)) - V2(i, j + 2, k);
    }
}

void face_v_finish(Ctx& c) {
    auto& SCR = c.scratchglo.SCR;
    auto& SCR1 = c.cgridwork.SCR1;
    auto& V2 = c.bglo.V2;
    auto& V = c.cgridglo.V;
    auto& IV = c.bathyglo.IV;
    const int jb = c.mpicomm.jbeg, je = c.mpicomm.jend;
    const bool south = c.mpicomm.myidy == 0, north = c.mpicomm.myidy == LASTROW;
    // SCR1 row 50 holds V2 of row 0 (south), row 49 that of row 51 (north);
    // the wall faces of the outer process rows are left as they are.
    for (int k = 1; k <= KM; ++k) {
        if (!south)
            for (int i = 2; i <= 81; ++i)
                SCR(i, 1, k) = (((SCR(i, 1, k) - SCR1(i, 50, k)) + V2(i, 1, k)) + V2(i, 2, k)) - V2(i, 3, k);
        if (!north)
            for (int i = 2; i <= 81; ++i)
                SCR(i, 49, k) = (((SCR(i, 49, k) - V2(i, 48, k)) + V2(i, 49, k)) + V2(i, 50, k)) - SCR1(i, 49, k);
        for (int j = jb; j <= je; ++j)
            for (int i = 2; i <= 81; ++i) V(i, j, k) = (SCR(i, j, k) * c12) * double(IV(i, j, k));
    }
}

void face_velocities(Ctx& c) {
    auto& m = c.mpicomm;
    auto& b = c.bglo;
    auto& SCR1 = c.cgridwork.SCR1;
    MPI_Datatype col = c.mpi_vtype.vtype[3], row = c.mpi_vtype.vtype[4];
    face_u_sums(c);
    transfer2(c, {b.U2.at(80, 1, 1), m.ieast, SCR1.at(82, 1, 1), m.iwest},  // H1
              {b.U2.at(3, 1, 1), m.iwest, SCR1.at(81, 1, 1), m.ieast}, col);   // H2
    face_u_finish(c);
    face_v_sums(c);
    transfer2(c, {b.V2.at(1, 48, 1), m.inorth, SCR1.at(1, 50, 1), m.isouth},  // H3
              {b.V2.at(1, 3, 1), m.isouth, SCR1.at(1, 49, 1), m.inorth}, row);   // H4
    face_v_finish(c);
}

void cell_sums(Ctx& c) {
    auto& b = c.bglo;
    auto& g = c.cgridglo;
    for (int k = 1; k <= KM; ++k)
        for (int j = 2; j <= 49; ++j)
#pragma GCC ivdep
            for (int i = 2; i <= 81; ++i) {
                b.U2(i, j, k) = 12.0 * (g.U(i - 1, j, k) + g.U(i, j, k));
                b.V2(i, j, k) = 12.0 * (g.V(i, j - 1, k) + g.V(i, j, k));
            }
}

void cell_u_finish(Ctx& c) {
    auto& SCR = c.scratchglo.SCR;
    auto& U2 = c.bglo.U2;
    auto& U = c.cgridglo.U;
    auto& IN = c.bathyglo.IN;
    // SCR column 80 holds U at face 0 (west), column 2 U at face 82 (east).
    for (int k = 1; k <= KM; ++k)
        for (int j = 2; j <= 49; ++j) {
            U2(2, j, k) = (double(IN(2, j, k)) * c24) *
                          ((((U2(2, j, k) - SCR(80, j, k)) + U(1, j, k)) + U(2, j, k)) - U(3, j, k));
            U2(81, j, k) = (double(IN(81, j, k)) * c24) *
                           ((((U2(81, j, k) - U(79, j, k)) + U(80, j, k)) + U(81, j, k)) - SCR(2, j, k));
            for (int i = 3; i <= 80; ++i)
                U2(i, j, k) = (double(IN(i, j, k)) * c24) *
                              ((((U2(i, j, k) - U(i - 2, j, k)) + U(i - 1, j, k)) + U(i, j, k)) - U(i + 1, j, k));
        }
}

void cell_v_finish(Ctx& c) {
    auto& SCR = c.scratchglo.SCR;
    auto& V2 = c.bglo.V2;
    auto& V = c.cgridglo.V;
    auto& IN = c.bathyglo.IN;
    const bool south = c.mpicomm.myidy == 0, north = c.mpicomm.myidy == LASTROW;
    // SCR row 48 holds V at face 0 (south), row 2 V at face 50 (north). The
    // cells next to the southern and northern walls get no four-point term.
    for (int k = 1; k <= KM; ++k) {
        for (int j = 3; j <= 48; ++j)
            for (int i = 2; i <= 81; ++i)
                V2(i, j, k) = (((V2(i, j, k) - V(i, j - 2, k)) + V(i, j - 1, k)) + V(i, j, k)) - V(i, j + 1, k);
        if (!south)
            for (int i = 2; i <= 81; ++i)
                V2(i, 2, k) = (((V2(i, 2, k) - SCR(i, 48, k)) + V(i, 1, k)) + V(i, 2, k)) - V(i, 3, k);
        if (!north)
            for (int i = 2; i <= 81; ++i)
                V2(i, 49, k) = (((V2(i, 49, k) - V(i, 47, k)) + V(i, 48, k)) + V(i, 49, k)) - SCR(i, 2, k);
        for (int j = 2; j <= 49; ++j)
            for (int i = 2; i <= 81; ++i) V2(i, j, k) = (double(IN(i, j, k)) * c24) * V2(i, j, k);
    }
}

void cell_velocities(Ctx& c) {
    auto& m = c.mpicomm;
    auto& g = c.cgridglo;
    auto& SCR = c.scratchglo.SCR;
    MPI_Datatype col = c.mpi_vtype.vtype[3], row = c.mpi_vtype.vtype[4];
    cell_sums(c);
    transfer2(c, {g.U.at(80, 1, 1), m.ieast, SCR.at(80, 1, 1), m.iwest},  // H5
              {g.U.at(2, 1, 1), m.iwest, SCR.at(2, 1, 1), m.ieast}, col);    // H6
    cell_u_finish(c);
    transfer2(c, {g.V.at(1, 48, 1), m.inorth, SCR.at(1, 48, 1), m.isouth},  // H7
              {g.V.at(1, 2, 1), m.isouth, SCR.at(1, 2, 1), m.inorth}, row);    // H8
    cell_v_finish(c);
}

}  // namespace hc
