// A netCDF file written by this one process through PnetCDF.
#pragma once

#include <pnetcdf.h>

#include <string>
#include <vector>

namespace prep {

class NcOut {
public:
    explicit NcOut(const std::string& path);
    ~NcOut();
    NcOut(const NcOut&) = delete;
    NcOut& operator=(const NcOut&) = delete;

    // Define mode: dimensions (lengths), variables over them (slowest first), attributes.
    int dim(const char* name, MPI_Offset len);
    int var(const char* name, nc_type type, std::vector<int> dims, const char* units = nullptr);
    void attr(const char* name, const std::string& text);  // global text attribute
    void enddef();

    // Data mode: a whole variable, or a slab (start and count slowest first).
    void put(int var, const double* v);
    void put(int var, const short* v);
    void put(int var, const int* v);
    void put_text(int var, const char* v);
    void put(int var, std::vector<MPI_Offset> start, std::vector<MPI_Offset> count, const double* v);

    // Closes the file; false (and the first failure in err) if any call failed.
    bool close(std::string& err);

private:
    void check(int status, const char* what);
    std::string path_;
    int id_ = -1;
    std::string err_;
};

}  // namespace prep
