#include "ncout.hpp"

#include <cstring>

namespace prep {

NcOut::NcOut(const std::string& path) : path_(path) {
    check(ncmpi_create(MPI_COMM_SELF, path.c_str(), NC_CLOBBER | NC_64BIT_OFFSET, MPI_INFO_NULL, &id_), "create");
}

NcOut::~NcOut() {
    if (id_ >= 0) ncmpi_close(id_);
}

void NcOut::check(int status, const char* what) {
    if (status != NC_NOERR && err_.empty()) err_ = path_ + ": " + what + ": " + ncmpi_strerror(status);
}

int NcOut::dim(const char* name, MPI_Offset len) {
    int d = -1;
    if (id_ >= 0) check(ncmpi_def_dim(id_, name, len, &d), name);
    return d;
}

int NcOut::var(const char* name, nc_type type, std::vector<int> dims, const char* units) {
    int v = -1;
    if (id_ < 0) return v;
    check(ncmpi_def_var(id_, name, type, int(dims.size()), dims.data(), &v), name);
    if (units && v >= 0) check(ncmpi_put_att_text(id_, v, "units", MPI_Offset(std::strlen(units)), units), name);
    return v;
}

void NcOut::attr(const char* name, const std::string& text) {
    if (id_ >= 0) check(ncmpi_put_att_text(id_, NC_GLOBAL, name, MPI_Offset(text.size()), text.c_str()), name);
}

void NcOut::enddef() {
    if (id_ >= 0) check(ncmpi_enddef(id_), "enddef");
}

void NcOut::put(int var, const double* v) {
    if (id_ >= 0 && var >= 0) check(ncmpi_put_var_double_all(id_, var, v), "put");
}
void NcOut::put(int var, const short* v) {
    if (id_ >= 0 && var >= 0) check(ncmpi_put_var_short_all(id_, var, v), "put");
}
void NcOut::put(int var, const int* v) {
    if (id_ >= 0 && var >= 0) check(ncmpi_put_var_int_all(id_, var, v), "put");
}
void NcOut::put_text(int var, const char* v) {
    if (id_ >= 0 && var >= 0) check(ncmpi_put_var_text_all(id_, var, v), "put");
}
void NcOut::put(int var, std::vector<MPI_Offset> start, std::vector<MPI_Offset> count, const double* v) {
    if (id_ >= 0 && var >= 0) check(ncmpi_put_vara_double_all(id_, var, start.data(), count.data(), v), "put");
}

bool NcOut::close(std::string& err) {
    if (id_ >= 0) check(ncmpi_close(id_), "close");
    id_ = -1;
    err = err_;
    return err_.empty();
}

}  // namespace prep
