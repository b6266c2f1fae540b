#include "io/nc.hpp"

#include <cstring>

#include "comm/comm.hpp"
#include "util/format.hpp"

namespace hc::nc {

std::string error_text(int status) { return fmt::A(ncmpi_strerror(status), 80); }

bool any(Ctx& c, bool cond) {
    int mine = cond ? 1 : 0, all = 0;
    MPI_Allreduce(&mine, &all, 1, MPI_INT, MPI_MAX, c.mpicomm.comm3d);
    return all != 0;
}

MPI_Offset Slab::values() const {
    MPI_Offset n = 1;
    for (int d = 0; d < ndims; ++d) n *= count[d];
    return n;
}

Slab from_vectors(const i64* start, const i64* count, int n) {
    Slab s;
    s.ndims = n;
    for (int d = 0; d < n; ++d) {
        s.start[d] = start[n - 1 - d] - 1;
        s.count[d] = count[n - 1 - d];
    }
    return s;
}

Slab single() { return vector_block(1, 0); }

Slab vector_block(int n, int b) {
    Slab s;
    s.ndims = 1;
    s.start[0] = MPI_Offset(n) * b;
    s.count[0] = n;
    return s;
}

Slab tile_block(int W, int H, int px, int py) {
    Slab s;
    s.ndims = 2;
    s.start[0] = MPI_Offset(H) * py, s.count[0] = H;
    s.start[1] = MPI_Offset(W) * px, s.count[1] = W;
    return s;
}

Slab tile_block(int W, int H, int px, int py, int nk) {
    Slab s;
    s.ndims = 3;
    s.start[0] = 0, s.count[0] = nk;
    s.start[1] = MPI_Offset(H) * py, s.count[1] = H;
    s.start[2] = MPI_Offset(W) * px, s.count[2] = W;
    return s;
}

Slab tile_block(int W, int H, int px, int py, int nk, int m) {
    Slab s;
    s.ndims = 4;
    s.start[0] = m - 1, s.count[0] = 1;
    s.start[1] = 0, s.count[1] = nk;
    s.start[2] = MPI_Offset(H) * py, s.count[2] = H;
    s.start[3] = MPI_Offset(W) * px, s.count[3] = W;
    return s;
}

Input::Input(Ctx& c, const char* path) : c_(c), path_(path) {
    int st = ncmpi_open(c.mpicomm.comm3d, path, NC_NOWRITE, MPI_INFO_NULL, &ncid_);
    if (any(c, st != NC_NOERR)) {
        if (st == NC_NOERR) ncmpi_close(ncid_);
        ncid_ = -1;
        std::string why = st != NC_NOERR ? ncmpi_strerror(st) : "cannot be opened on another process";
        fmt::out(" input file " + path_ + " cannot be opened: " + why + "; run stopped");
        stop_run(c);
    }
}

Input::~Input() { close(); }

void Input::close() {
    if (ncid_ >= 0) ncmpi_close(ncid_);
    ncid_ = -1;
}

void Input::fail(const char* var, const std::string& why) {
    close();
    fmt::out(" input file " + path_ + ", variable \"" + var + "\": " + why + "; run stopped");
    stop_run(c_);
}

template <class Read>
void Input::read(const char* var, const Slab& s, Read&& r) {
    int varid = -1;
    int st = ncmpi_inq_varid(ncid_, var, &varid);
    if (any(c_, st != NC_NOERR)) fail(var, "not found");

    int ndims = 0;
    int dimids[4];  // NC_MAX_VAR_DIMS is unbounded in this library: never size by it
    ncmpi_inq_varndims(ncid_, varid, &ndims);
    // A single value may be a scalar variable; every block must match the
    // variable's rank.
    const bool scalar = ndims == 0 && s.values() == 1;
    if (!scalar && ndims != s.ndims)
        fail(var, "has " + std::to_string(ndims) + " dimensions, " + std::to_string(s.ndims) + " expected");

    if (!scalar) {
        ncmpi_inq_vardimid(ncid_, varid, dimids);
        // The largest extent that any process reads along each dimension.
        long long need[4] = {}, most[4] = {};
        for (int d = 0; d < s.ndims; ++d) need[d] = s.start[d] + s.count[d];
        MPI_Allreduce(need, most, s.ndims, MPI_LONG_LONG, MPI_MAX, c_.mpicomm.comm3d);
        for (int d = 0; d < s.ndims; ++d) {
            MPI_Offset len = 0;
            ncmpi_inq_dimlen(ncid_, dimids[d], &len);
            if (len < most[d])
                fail(var, "dimension " + std::to_string(d + 1) + " (slowest first) holds " + std::to_string(len) +
                              " values, the blocks read need " + std::to_string(most[d]));
        }
    }
    st = r(varid, scalar ? nullptr : s.start, scalar ? nullptr : s.count);
    if (any(c_, st != NC_NOERR))
        fail(var, st != NC_NOERR ? std::string("read failed: ") + ncmpi_strerror(st) : "read failed on another process");
}

void Input::get(const char* var, const Slab& s, double* dst) {
    read(var, s, [&](int id, const MPI_Offset* st, const MPI_Offset* cn) {
        return st ? ncmpi_get_vara_double_all(ncid_, id, st, cn, dst) : ncmpi_get_var_double_all(ncid_, id, dst);
    });
}

void Input::get(const char* var, const Slab& s, i16* dst) {
    read(var, s, [&](int id, const MPI_Offset* st, const MPI_Offset* cn) {
        return st ? ncmpi_get_vara_short_all(ncid_, id, st, cn, dst) : ncmpi_get_var_short_all(ncid_, id, dst);
    });
}

void Input::get(const char* var, const Slab& s, i32* dst) {
    read(var, s, [&](int id, const MPI_Offset* st, const MPI_Offset* cn) {
        return st ? ncmpi_get_vara_int_all(ncid_, id, st, cn, dst) : ncmpi_get_var_int_all(ncid_, id, dst);
    });
}

void Input::get_text(const char* var, const Slab& s, char* dst) {
    read(var, s, [&](int id, const MPI_Offset* st, const MPI_Offset* cn) {
        return st ? ncmpi_get_vara_text_all(ncid_, id, st, cn, dst) : ncmpi_get_var_text_all(ncid_, id, dst);
    });
}

}  // namespace hc::nc
