// Fixed-extent arrays of the model's state blocks.
//
// Every array carries its index ranges in its type (1-based, or 0:83 and the
// like where a face array needs them), the first index varies fastest in
// memory, and the storage is one contiguous block inside the array object, so
// a state block is one plain piece of memory that the halo datatypes can stride
// through and the dump and timer records can write as raw bytes.
//
// Built with HALOCLINE_BOUNDS_CHECK every subscript is tested against its
// declared range; a subscript out of range stops the process with a message
// that names the array, the subscript position, its value and the bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace hc {

// Index range lo..hi of one dimension.
template <int L, int H>
struct Rg {
    static constexpr int lo = L;
    static constexpr int hi = H;
    static constexpr int n = H - L + 1;
    static_assert(H >= L, "empty index range");
};

// Reports a subscript outside its bound and ends the process with status 2.
[[noreturn]] void subscript_error(const char* name, int position, long value, long lo, long hi);

#ifdef HALOCLINE_BOUNDS_CHECK
inline constexpr bool kBoundsCheck = true;
#else
inline constexpr bool kBoundsCheck = false;
#endif

template <class T, int Rank>
class View;

template <class T, class... R>
class Arr {
public:
    static constexpr int rank = sizeof...(R);
    static constexpr std::size_t size = (std::size_t(R::n) * ...);
    static constexpr int lo_[rank] = {R::lo...};
    static constexpr int hi_[rank] = {R::hi...};

    using value_type = T;

    constexpr explicit Arr(const char* name = "array") : d_{} {
#ifdef HALOCLINE_BOUNDS_CHECK
        name_ = name;
#else
        (void)name;
#endif
    }
    Arr(const Arr&) = delete;
    Arr& operator=(const Arr& o) {
        std::memcpy(d_, o.d_, sizeof d_);
        return *this;
    }

    static constexpr long stride(int dim) {
        long s = 1;
        for (int d = 0; d < dim; ++d) s *= (hi_[d] - lo_[d] + 1);
        return s;
    }
    static constexpr int lo(int dim) { return lo_[dim]; }
    static constexpr int hi(int dim) { return hi_[dim]; }
    static constexpr int extent(int dim) { return hi_[dim] - lo_[dim] + 1; }

    const char* name() const {
#ifdef HALOCLINE_BOUNDS_CHECK
        return name_;
#else
        return "array";
#endif
    }

    template <class... I>
    T& operator()(I... idx) {
        static_assert(sizeof...(I) == rank, "wrong number of subscripts");
        return d_[offset(static_cast<int>(idx)...)];
    }
    template <class... I>
    const T& operator()(I... idx) const {
        static_assert(sizeof...(I) == rank, "wrong number of subscripts");
        return d_[offset(static_cast<int>(idx)...)];
    }
    // Address of an element, for MPI transfers and raw records.
    template <class... I>
    T* at(I... idx) {
        return &(*this)(idx...);
    }

    T* data() { return d_; }
    const T* data() const { return d_; }
    static constexpr std::size_t bytes() { return sizeof(T) * size; }

    void fill(T v) {
        for (std::size_t n = 0; n < size; ++n) d_[n] = v;
    }

    // The whole array, or the plane (or slab) of its last index at n, as a view.
    View<T, rank> view();
    View<T, (rank > 1 ? rank - 1 : 1)> slice(int n);

private:
    std::size_t offset(int i0) const {
        check(0, i0);
        return std::size_t(i0 - lo_[0]);
    }
    std::size_t offset(int i0, int i1) const {
        check(0, i0);
        check(1, i1);
        return std::size_t((i0 - lo_[0]) + long(extent(0)) * (i1 - lo_[1]));
    }
    std::size_t offset(int i0, int i1, int i2) const {
        check(0, i0);
        check(1, i1);
        check(2, i2);
        constexpr long s1 = stride(1), s2 = stride(2);
        return std::size_t((i0 - lo_[0]) + s1 * (i1 - lo_[1]) + s2 * (i2 - lo_[2]));
    }
    std::size_t offset(int i0, int i1, int i2, int i3) const {
        check(0, i0);
        check(1, i1);
        check(2, i2);
        check(3, i3);
        constexpr long s1 = stride(1), s2 = stride(2), s3 = stride(3);
        return std::size_t((i0 - lo_[0]) + s1 * (i1 - lo_[1]) + s2 * (i2 - lo_[2]) + s3 * (i3 - lo_[3]));
    }
    void check(int dim, int v) const {
        if constexpr (kBoundsCheck) {
            if (v < lo_[dim] || v > hi_[dim]) {
                subscript_error(name(), dim + 1, v, lo_[dim], hi_[dim]);
            }
        } else {
            (void)dim;
            (void)v;
        }
    }

#ifdef HALOCLINE_BOUNDS_CHECK
    const char* name_;
#endif
    T d_[size];
};

// A non-owning view of an array (or of a plane or block of one) with index
// ranges fixed at run time: what a procedure sees of an argument that the
// caller passes "by reference" with its own extents, as in rangerle(FLD, IN,
// nx, ny, ...). Checked like an array in the bounds-checked build.
template <class T, int Rank>
class View {
public:
    View() = default;
    View(T* p, const int (&lo)[Rank], const int (&hi)[Rank], const char* name = "view") : p_(p), name_(name) {
        long s = 1;
        for (int d = 0; d < Rank; ++d) {
            lo_[d] = lo[d];
            hi_[d] = hi[d];
            st_[d] = s;
            s *= (hi[d] - lo[d] + 1);
        }
        n_ = s;
    }
    // Shape nx x ny (x nz ...) from 1, over raw storage.
    static View shape(T* p, const int (&n)[Rank], const char* name = "view") {
        int lo[Rank], hi[Rank];
        for (int d = 0; d < Rank; ++d) {
            lo[d] = 1;
            hi[d] = n[d];
        }
        return View(p, lo, hi, name);
    }

    template <class... I>
    T& operator()(I... idx) const {
        static_assert(sizeof...(I) == Rank, "wrong number of subscripts");
        return p_[offset(std::make_index_sequence<Rank>{}, static_cast<int>(idx)...)];
    }
    template <class... I>
    T* at(I... idx) const {
        return &(*this)(idx...);
    }
    T* data() const { return p_; }
    long size() const { return n_; }
    int lo(int d) const { return lo_[d]; }
    int hi(int d) const { return hi_[d]; }
    const char* name() const { return name_; }

private:
    // The offset as one expression per subscript (no loop over the
    // dimensions left for the compiler to unroll in every inner loop).
    template <std::size_t... D, class... I>
    long offset(std::index_sequence<D...>, I... v) const {
        if constexpr (kBoundsCheck) {
            ((v < lo_[D] || v > hi_[D] ? subscript_error(name_, int(D) + 1, v, lo_[D], hi_[D]) : void()), ...);
        }
        return (0L + ... + (st_[D] * (v - lo_[D])));
    }

    T* p_ = nullptr;
    int lo_[Rank] = {};
    int hi_[Rank] = {};
    long st_[Rank] = {};
    long n_ = 0;
    const char* name_ = "view";
};

template <class T, class... R>
View<T, Arr<T, R...>::rank> Arr<T, R...>::view() {
    int lo[rank], hi[rank];
    for (int d = 0; d < rank; ++d) {
        lo[d] = lo_[d];
        hi[d] = hi_[d];
    }
    return View<T, rank>(d_, lo, hi, name());
}

template <class T, class... R>
View<T, (Arr<T, R...>::rank > 1 ? Arr<T, R...>::rank - 1 : 1)> Arr<T, R...>::slice(int n) {
    static_assert(rank > 1, "slice of a vector");
    constexpr int r = rank - 1;
    check(rank - 1, n);
    int lo[r], hi[r];
    for (int d = 0; d < r; ++d) {
        lo[d] = lo_[d];
        hi[d] = hi_[d];
    }
    return View<T, r>(d_ + stride(rank - 1) * (n - lo_[rank - 1]), lo, hi, name());
}

// Shorthands for the shapes the model uses most.
template <class T, int N>
using Vec = Arr<T, Rg<1, N>>;
template <class T, int NX, int NY>
using Mat = Arr<T, Rg<1, NX>, Rg<1, NY>>;
template <class T, int NX, int NY, int NZ>
using Box = Arr<T, Rg<1, NX>, Rg<1, NY>, Rg<1, NZ>>;

// Fixed-width blank-padded text, as in the configuration's case name.
template <int N>
struct Text {
    char c[N];
    Text() { std::memset(c, ' ', N); }
    void set(const char* s, std::size_t len) {
        std::memset(c, ' ', N);
        for (std::size_t n = 0; n < len && n < std::size_t(N); ++n) c[n] = s[n] == '\0' ? ' ' : s[n];
    }
    static constexpr int length = N;
};

}  // namespace hc
