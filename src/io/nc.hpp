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

// A prepared input file open for reading on comm3d. Any failure (missing
// file or variable, a variable of another rank or smaller than the blocks
// that the processes read, a failed read) stops the run on every process
// with a message that names the file and the variable; nothing is read
// outside the destination.
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
};

}  // namespace hc::nc
