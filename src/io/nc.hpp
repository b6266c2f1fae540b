// Small netCDF helpers shared by the readers and writers of src/io.
//
// The file slab vectors of the state (nst3/ncn3, nstm/ncnm, nst2/ncn2 ...)
// list dimensions fastest first and count from 1; the library takes them
// slowest first and from 0. `Slab` is one process's start and count in the
// library's order.
#pragma once

#include <pnetcdf.h>

#include <string>

#include "var/state.hpp"

namespace hc::nc {

// The library's message for a status, blank-padded or cut to 80 characters.
std::string error_text(int status);

// True on every process of comm3d when `cond` holds on any of them.
bool any(Ctx& c, bool cond);

struct Slab {
    int ndims = 0;
    MPI_Offset start[4] = {};
    MPI_Offset count[4] = {};
    MPI_Offset values() const;
};

// From a fastest-first, 1-based start and count vector of n entries.
Slab from_vectors(const i64* start, const i64* count, int n);
template <int N>
Slab from_vectors(const Vec<i64, N>& start, const Vec<i64, N>& count) {
    return from_vectors(start.data(), count.data(), N);
}

// Slabs of the prepared input files, given fastest first: a single value; a
// block of n values at block index b of a vector; a tile block W x H of
// process (px, py), optionally with nk levels and one month m (1-based).
Slab single();
Slab vector_block(int n, int b);
Slab tile_block(int W, int H, int px, int py);
Slab tile_block(int W, int H, int px, int py, int nk);
Slab tile_block(int W, int H, int px, int py, int nk, int m);

// Every process opens a file for reading by itself, before the library
// does: a failure on some processes only would leave the others waiting
// inside the library's collective open. One all-reduce agrees on the
// outcome and on the file's length.
struct Probe {
    MPI_Offset length = -1;  // the shortest length any process sees; -1 when one cannot open the file
    bool none = false;       // no process can open it
    std::string why;         // why this process cannot (empty when it can)
    // Some processes can open the file and others cannot.
    bool partial() const { return length < 0 && !none; }
};
Probe probe(Ctx& c, const std::string& path);

// What keeps block s of variable varid from being read whole, or an empty
// text: a rank other than the block's (a single value may be a scalar), an
// extent that the blocks of all processes do not fit in (exact: do not fill
// exactly), or data that end beyond the file's length. Collective over
// comm3d; every process gets the same text.
std::string block_fault(Ctx& c, int ncid, int varid, const Slab& s, MPI_Offset length, bool exact);

// Creates path on comm3d (64-bit offsets, an existing file replaced) when
// every process can: each first checks that it may write there, and one
// all-reduce agrees before the library is called, so that no process waits
// inside the library's collective create for one that failed. The lowest-ranked
// process that cannot prints why; all then get NC_EFILE. Otherwise the
// library's status.
int create(Ctx& c, const std::string& path, int& ncid);

// A prepared input file open for reading on comm3d. Any failure (missing
// file or variable, a variable of another rank or smaller than the blocks
// that the processes read, a failed read) stops the run on every process
// with a message that names the file and the variable; nothing is read
// outside the destination, and nothing beyond the file's end.
class Input {
public:
    Input(Ctx& c, const char* path);
    ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    void get(const char* var, const Slab& s, double* dst);
    void get(const char* var, const Slab& s, i16* dst);
    void get(const char* var, const Slab& s, i32* dst);
    void get_text(const char* var, const Slab& s, char* dst);
    void close();

private:
    template <class Read>
    void read(const char* var, const Slab& s, Read&& r);
    [[noreturn]] void fail(const char* var, const std::string& why);

    Ctx& c_;
    std::string path_;
    int ncid_ = -1;
    MPI_Offset length_ = -1;
};

}  // namespace hc::nc
