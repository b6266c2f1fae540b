#include "var/state.hpp"

#include <cstdio>
#include <cstdlib>

namespace hc {

void subscript_error(const char* name, int position, long value, long lo, long hi) {
    std::fprintf(stderr, "subscript out of range: array %s, subscript %d, value %ld, bound %ld:%ld\n", name, position,
                 value, lo, hi);
    std::fflush(stderr);
    std::fflush(stdout);
    std::_Exit(2);
}

Ctx* make_ctx() { return new Ctx(); }

}  // namespace hc
