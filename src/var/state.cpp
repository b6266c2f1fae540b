#include "var/state.hpp"

#include <cstdio>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace hc {

void subscript_error(const char* name, int position, long value, long lo, long hi) {
    std::fprintf(stderr, "subscript out of range: array %s, subscript %d, value %ld, bound %ld:%ld\n", name, position,
                 value, lo, hi);
    std::fflush(stderr);
    std::fflush(stdout);
    std::_Exit(2);
}

namespace {
constexpr std::size_t kLargePage = std::size_t(2) << 20;
}

void* Ctx::operator new(std::size_t n) {
    const std::size_t size = (n + kLargePage - 1) / kLargePage * kLargePage;
    void* p = std::aligned_alloc(kLargePage, size);
    if (p == nullptr) throw std::bad_alloc();
    // Advice only: where the system keeps large pages to itself the memory is
    // the usual kind and nothing else changes.
    madvise(p, size, MADV_HUGEPAGE);
    return p;
}

void Ctx::operator delete(void* p) { std::free(p); }

Ctx* make_ctx() { return new Ctx(); }

}  // namespace hc
