#include "io/nc.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

Probe probe(Ctx& c, const std::string& path) {
    Probe p;
    long long mine[2] = {-1, 1};  // the length, and 1 when this process cannot open the file
    const int fd = ::open(path.c_str(), O_RDONLY);
    struct stat sb;
    if (fd < 0 || ::fstat(fd, &sb) != 0)
        p.why = std::strerror(errno);
    else if (!S_ISREG(sb.st_mode))
        p.why = "not a regular file";
    else
        mine[0] = sb.st_size, mine[1] = 0;
    if (fd >= 0) ::close(fd);
    long long least[2] = {};
    MPI_Allreduce(mine, least, 2, MPI_LONG_LONG, MPI_MIN, c.mpicomm.comm3d);
    p.length = least[0];
    p.none = least[1] == 1;
    return p;
}

namespace {

MPI_Offset element_bytes(nc_type t) {
    switch (t) {
        case NC_BYTE: case NC_CHAR: case NC_UBYTE: return 1;
        case NC_SHORT: case NC_USHORT: return 2;
        case NC_INT: case NC_UINT: case NC_FLOAT: return 4;
        default: return 8;
    }
}

}  // namespace

std::string block_fault(Ctx& c, int ncid, int varid, const Slab& s, MPI_Offset length, bool exact) {
    int ndims = 0;
    int dimids[4] = {};  // NC_MAX_VAR_DIMS is unbounded in this library: never size by it
    MPI_Offset len[4] = {};
    ncmpi_inq_varndims(ncid, varid, &ndims);
    // A single value may be a scalar variable; every block must match the
    // variable's rank.
    const bool scalar = ndims == 0 && s.values() == 1;
    if (!scalar && ndims != s.ndims)
        return "has " + std::to_string(ndims) + " dimensions, " + std::to_string(s.ndims) + " expected";

    if (!scalar) {
        ncmpi_inq_vardimid(ncid, varid, dimids);
        // The largest extent that any process reads along each dimension.
        long long need[4] = {}, most[4] = {};
        for (int d = 0; d < s.ndims; ++d) need[d] = s.start[d] + s.count[d];
        MPI_Allreduce(need, most, s.ndims, MPI_LONG_LONG, MPI_MAX, c.mpicomm.comm3d);
        for (int d = 0; d < s.ndims; ++d) {
            ncmpi_inq_dimlen(ncid, dimids[d], &len[d]);
            if (exact ? len[d] != most[d] : len[d] < most[d])
                return "dimension " + std::to_string(d + 1) + " (slowest first) holds " + std::to_string(len[d]) +
                       " values, " + (exact ? "" : "the blocks read need ") + std::to_string(most[d]) +
                       (exact ? " expected" : "");
        }
    }

    // Where the variable's data end: a fixed-size variable is one run of
    // bytes from its offset; a record variable has one run per record.
    MPI_Offset begin = 0, bytes = 0;
    nc_type type = NC_DOUBLE;
    int unlimited = -1;
    ncmpi_inq_varoffset(ncid, varid, &begin);
    ncmpi_inq_vartype(ncid, varid, &type);
    ncmpi_inq_unlimdim(ncid, &unlimited);
    const bool record = ndims > 0 && dimids[0] == unlimited;
    bytes = element_bytes(type);
    for (int d = record ? 1 : 0; d < ndims; ++d) bytes *= len[d];
    MPI_Offset end = begin + bytes;
    if (record) {
        MPI_Offset recsize = 0;
        ncmpi_inq_recsize(ncid, &recsize);
        end = len[0] == 0 ? 0 : begin + (len[0] - 1) * recsize + bytes;
    }
    if (end > length)
        return "data end at byte " + std::to_string(end) + " of the file, which holds " + std::to_string(length) +
               " bytes";
    return {};
}

int create(Ctx& c, const std::string& path, int& ncid) {
    std::string why;
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    struct stat sb;
    if (::stat(path.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode))
        why = "it is a directory";
    else if (::access(dir.c_str(), W_OK | X_OK) != 0)
        why = std::strerror(errno);
    // The lowest-ranked process that cannot says why (all usually fail alike).
    int mine = why.empty() ? INT_MAX : c.mpicomm.myid, first = INT_MAX;
    MPI_Allreduce(&mine, &first, 1, MPI_INT, MPI_MIN, c.mpicomm.comm3d);
    if (first != INT_MAX) {
        if (first == c.mpicomm.myid) fmt::out(" cannot create " + path + ": " + why);
        return NC_EFILE;
    }
    return ncmpi_create(c.mpicomm.comm3d, path.c_str(), NC_64BIT_OFFSET, MPI_INFO_NULL, &ncid);
}

Input::Input(Ctx& c, const char* path) : c_(c), path_(path) {
    // A file that no process can open fails alike in the library on all.
    const Probe p = probe(c, path_);
    int st = NC_NOERR;
    if (!p.partial()) st = ncmpi_open(c.mpicomm.comm3d, path, NC_NOWRITE, MPI_INFO_NULL, &ncid_);
    if (p.partial() || any(c, st != NC_NOERR)) {
        if (!p.partial() && st == NC_NOERR) ncmpi_close(ncid_);
        ncid_ = -1;
        std::string why = !p.why.empty()     ? p.why
                          : st != NC_NOERR ? ncmpi_strerror(st)
                                           : "cannot be opened on another process";
        fmt::out(" input file " + path_ + " cannot be opened: " + why + "; run stopped");
        stop_run(c);
    }
    length_ = p.length;
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
    const std::string fault = block_fault(c_, ncid_, varid, s, length_, false);
    if (!fault.empty()) fail(var, fault);
    int ndims = 0;
    ncmpi_inq_varndims(ncid_, varid, &ndims);
    const bool scalar = ndims == 0;
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
