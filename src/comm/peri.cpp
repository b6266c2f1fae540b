// Packed halo exchanges: the edge lines of several fields go into one buffer
// per direction, four paired transfers move all of them, and the receive
// buffers are unpacked slot by slot. A first-layer slot fills a field's own
// halo; a second-layer slot carries the second line inside the neighbour's
// edge (i = 0 and 83, j = 0 and 51 in this tile's indices) into the halo of
// a separate target array, for fourth-order stencils.
//
// All rows are packed before any column arrives, so a corner receives the
// north or south neighbour's halo point as it stood before the exchange.
// Nothing is packed towards, or unpacked from, a closed edge.
#include "comm/comm.hpp"

namespace hc {

void combosend(double* SBUF, int nx, int ny, int nz, double* SBW, int ICW, double* SBE, int ICE, int LASTROW_,
               int ROW, double* SBN, int JRN, double* SBS, int JRS) {
    auto f = [=](int i, int j, int k) { return SBUF[(i - 1) + long(nx) * ((j - 1) + long(ny) * (k - 1))]; };
    long n = 0;
    for (int k = 1; k <= nz; ++k)
        for (int j = 1; j <= ny; ++j, ++n) {
            SBW[n] = f(ICW, j, k);
            SBE[n] = f(ICE, j, k);
        }
    if (ROW != 0) {
        n = 0;
        for (int k = 1; k <= nz; ++k)
            for (int i = 1; i <= nx; ++i) SBS[n++] = f(i, JRS, k);
    }
    if (ROW != LASTROW_) {
        n = 0;
        for (int k = 1; k <= nz; ++k)
            for (int i = 1; i <= nx; ++i) SBN[n++] = f(i, JRN, k);
    }
}

void comborecv(double* RBUF, int nx, int ny, int nz, double* RBW, int ICW, double* RBE, int ICE, int LASTROW_,
               int ROW, double* RBN, int JRN, double* RBS, int JRS) {
    auto f = [=](int i, int j, int k) -> double& {
        return RBUF[(i - 1) + long(nx) * ((j - 1) + long(ny) * (k - 1))];
    };
    long n = 0;
    for (int k = 1; k <= nz; ++k)
        for (int j = 1; j <= ny; ++j) f(ICE, j, k) = RBE[n++];
    n = 0;
    for (int k = 1; k <= nz; ++k)
        for (int j = 1; j <= ny; ++j) f(ICW, j, k) = RBW[n++];
    if (ROW != 0) {
        n = 0;
        for (int k = 1; k <= nz; ++k)
            for (int i = 1; i <= nx; ++i) f(i, JRS, k) = RBS[n++];
    }
    if (ROW != LASTROW_) {
        n = 0;
        for (int k = 1; k <= nz; ++k)
            for (int i = 1; i <= nx; ++i) f(i, JRN, k) = RBN[n++];
    }
}

namespace {

// Which lines a slot takes from its field: first layer (2, 81 | 2, 49) or
// second layer (3, 80 | 3, 48); it always unpacks into the halo 1, 82 | 1, 50.
struct Lines {
    int west, east, south, north;
};
constexpr Lines kFirst{2, 81, 2, 49};
constexpr Lines kSecond{3, 80, 3, 48};

template <class B>
struct Packer {
    Ctx& c;
    B& b;
    int nx, ny, nz;
    long ew, ns;  // values of one slot in the east-west and north-south buffers

    void pack(int slot, double* q, Lines l) {
        long oe = ew * (slot - 1), on = ns * (slot - 1);
        combosend(q, nx, ny, nz, b.SBW.data() + oe, l.west, b.SBE.data() + oe, l.east, LASTROW, c.mpicomm.myidy,
                  b.SBN.data() + on, l.north, b.SBS.data() + on, l.south);
    }
    void unpack(int slot, double* q) {
        long oe = ew * (slot - 1), on = ns * (slot - 1);
        comborecv(q, nx, ny, nz, b.RBW.data() + oe, 1, b.RBE.data() + oe, NX, LASTROW, c.mpicomm.myidy,
                  b.RBN.data() + on, NY, b.RBS.data() + on, 1);
    }
    // All four buffers are packed before any transfer, so they go in one round.
    void transfer(int nslots) {
        auto& m = c.mpicomm;
        int new_ = int(ew * nslots), nns = int(ns * nslots);
        const LineTransfer t[4] = {{b.SBW.data(), m.iwest, b.RBE.data(), m.ieast, new_},
                                   {b.SBE.data(), m.ieast, b.RBW.data(), m.iwest, new_},
                                   {b.SBS.data(), m.isouth, b.RBN.data(), m.inorth, nns},
                                   {b.SBN.data(), m.inorth, b.RBS.data(), m.isouth, nns}};
        m.ierr = transfer_round(c, t, 4, MPI_DOUBLE);
    }
};

template <class B>
Packer<B> field_packer(Ctx& c, B& b) {
    return Packer<B>{c, b, NX, NY, KM, long(NY) * KM, long(NX) * KM};
}

}  // namespace

void mpi_peri_ts(Ctx& c, Field& Q1, Field& Q2) {
    auto p = field_packer(c, c.peri.ts);
    p.pack(1, Q1.data(), kFirst);
    p.pack(2, Q2.data(), kFirst);
    p.transfer(2);
    p.unpack(1, Q1.data());
    p.unpack(2, Q2.data());
}

void mpi_peri_uv(Ctx& c, Field& Q1, Field& Q2, Field& Q3, Field& Q4) {
    auto p = field_packer(c, c.peri.uv);
    p.pack(1, Q1.data(), kFirst);
    p.pack(2, Q2.data(), kFirst);
    p.pack(3, Q1.data(), kSecond);
    p.pack(4, Q2.data(), kSecond);
    p.transfer(4);
    p.unpack(1, Q1.data());
    p.unpack(2, Q2.data());
    p.unpack(3, Q3.data());
    p.unpack(4, Q4.data());
}

void mpi_peri_all(Ctx& c, Field& Q1, Field& Q2, Field& Q3, Field& Q4, Field& Q5, Field& Q6, Field& Q7, Field& Q8,
                  Field& Q9, Field& Q10, Field& Q11, Field& Q12, Field& Q13, Field& Q14) {
    auto p = field_packer(c, c.peri.all);
    Field* first[5] = {&Q9, &Q3, &Q4, &Q1, &Q2};
    Field* target[5] = {&Q14, &Q12, &Q13, &Q10, &Q11};
    Field* rest[4] = {&Q7, &Q8, &Q5, &Q6};
    for (int n = 0; n < 5; ++n) p.pack(1 + n, first[n]->data(), kFirst);
    for (int n = 0; n < 5; ++n) p.pack(6 + n, first[n]->data(), kSecond);
    for (int n = 0; n < 4; ++n) p.pack(11 + n, rest[n]->data(), kFirst);
    p.transfer(14);
    for (int n = 0; n < 5; ++n) p.unpack(1 + n, first[n]->data());
    for (int n = 0; n < 5; ++n) p.unpack(6 + n, target[n]->data());
    for (int n = 0; n < 4; ++n) p.unpack(11 + n, rest[n]->data());
}

// The plane exchange delivers the second layer: Q3 and Q4 receive, in their
// halos, the lines of Q1 and Q2 two steps beyond the tile's interior (columns
// 3 and 80, rows 3 and 48 of the neighbours). A plane whose target is another
// array has no use for its own first layer, and taking column 2 and row 2 on
// one side with column 80 and row 48 on the other would give the two sides
// stencils of different reach.
void mpi_peri_scr(Ctx& c, Plane& Q1, Plane& Q2, Plane& Q3, Plane& Q4) {
    Packer<PeriBuffers<100, 164>> p{c, c.peri.scr, NX, NY, 1, NY, NX};
    p.pack(1, Q1.data(), kSecond);
    p.pack(2, Q2.data(), kSecond);
    p.transfer(2);
    p.unpack(1, Q3.data());
    p.unpack(2, Q4.data());
}

}  // namespace hc
