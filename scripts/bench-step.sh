#!/bin/bash
# Wall time per step of the example case, as a user waits for it.
#
#   scripts/bench-step.sh [STEPS]        (default 24 steps, at least 7)
#
# Runs the global example case on 24 processes once per configuration: the
# example's solver (marching, lsolver=1) and BiCGStab (lsolver=2), with the
# example's free surface. HC_BENCH_SOLVER=1 or 2 runs only that solver,
# HC_BENCH_RUNS=N repeats each configuration N times (one line per run),
# HC_BENCH_LFSRF="0 1" runs each solver with the rigid lid and the free
# surface (default: the surface the example is prepared with).
#
# One line per run: the median and mean wall time of steps 6..STEPS (each
# step from the end of the previous step's history call to the end of its
# own step, so the saves of the run's end are not in it), the start-up (the
# model's initialisation: reading the prepared files and, for the marching
# solver, building the influence matrices), the first five steps together,
# the final save, the elliptic passes per step, and the shares of steps
# 6..STEPS in communication (slot 3: opening exchanges, monthly reduction,
# exchange after the Coriolis stage), in the elliptic phase (slot 4, stages
# 16 to 18) and in the rest.
#
# Builds the model (Release) in $HC_BENCH_BUILD (default build-bench) unless
# HC_BENCH_NOBUILD=1 (then the library already in $HC_BENCH_BUILD is timed,
# for example one built from an earlier commit), prepares the case with that
# build's halocline-prep in $HC_BENCH_DIR (default a fresh temporary directory,
# removed afterwards; a run takes about 2 GB). The processes are started as
# scripts/run-example.sh starts them (HC_MPIRUN, default with each process
# bound to one core, ranks dealt to the cores in turn).
#
# The step clock: the run is started through a small driver that calls the
# model's own start-up and time loop unchanged; the linker routes the time
# loop's call of the history writer through a wrapper that notes, on process
# 0, the wall clock and slots 3 and 4 at every step's end. The last step's
# save finalizes MPI and exits; the driver reports at exit.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
STEPS=${1:-24}
BUILD=${HC_BENCH_BUILD:-$ROOT/build-bench}
MPIRUN=${HC_MPIRUN:-mpirun --allow-run-as-root --oversubscribe --map-by core --bind-to core:overload-allowed}
RUNS=${HC_BENCH_RUNS:-1}
case $STEPS in '' | *[!0-9]*) echo "bench-step: STEPS must be a number, not '$STEPS'" >&2; exit 2 ;; esac
[ "$STEPS" -ge 7 ] || { echo "bench-step: STEPS must be at least 7" >&2; exit 2; }
case $RUNS in '' | *[!0-9]* | 0) echo "bench-step: HC_BENCH_RUNS must be a positive number" >&2; exit 2 ;; esac
SOLVERS=${HC_BENCH_SOLVER:-1 2}
for s in $SOLVERS; do
    case $s in 1 | 2) ;; *) echo "bench-step: HC_BENCH_SOLVER must be 1 (marching) or 2 (BiCGStab), not '$s'" >&2; exit 2 ;; esac
done
SURFACES=${HC_BENCH_LFSRF:-default}
for f in $SURFACES; do
    case $f in 0 | 1 | default) ;; *) echo "bench-step: HC_BENCH_LFSRF must list 0 (rigid lid) or 1 (free surface), not '$f'" >&2; exit 2 ;; esac
done

if [ "${HC_BENCH_NOBUILD:-0}" != 1 ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DHALOCLINE_BOUNDS_CHECK=OFF -DHALOCLINE_TESTS=OFF >/dev/null
    nice -n 10 cmake --build "$BUILD" -j4 --target halocline_lib halocline-prep >/dev/null
fi

# The driver: the model's main program with a clock at every step's end.
cat >"$BUILD/bench_step_main.cpp" <<'EOF'
#include <mpi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "main/model.hpp"

namespace hc {
void __real__ZN2hc10write_histERNS_3CtxE(Ctx& c) __asm__("__real__ZN2hc10write_histERNS_3CtxE");
}

namespace {
double clock_now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }
hc::Ctx* g_c = nullptr;
double g_start = 0.0, g_run = 0.0;
std::vector<double> g_end;  // wall clock at the end of steps 1, 2, ...
double g_slot[2][2] = {};    // slots 3 and 4 at the end of step 5 and of the last step

void report() {
    if (g_c == nullptr || g_c->mpicomm.myid != 0) return;
    const double now = clock_now();
    const int n = int(g_end.size());
    if (n < 7) {
        std::printf("bench-step: only %d steps timed\n", n);
        return;
    }
    std::vector<double> d;
    for (int i = 5; i < n; ++i) d.push_back(g_end[i] - g_end[i - 1]);
    const double sum = g_end[n - 1] - g_end[4];
    std::vector<double> s = d;
    std::sort(s.begin(), s.end());
    const size_t m = s.size();
    const double median = m % 2 ? s[m / 2] : 0.5 * (s[m / 2 - 1] + s[m / 2]);
    std::printf("bench-step: median %.4f mean %.4f startup %.3f first5 %.3f save %.3f steps %d comm %.4f elliptic %.4f\n",
                median, sum / double(m), g_run - g_start, g_end[4] - g_run, now - g_end[n - 1], n,
                g_slot[1][0] - g_slot[0][0], g_slot[1][1] - g_slot[0][1]);
    std::fflush(stdout);
}
}  // namespace

namespace hc {
void __wrap__ZN2hc10write_histERNS_3CtxE(Ctx& c) __asm__("__wrap__ZN2hc10write_histERNS_3CtxE");
void __wrap__ZN2hc10write_histERNS_3CtxE(Ctx& c) {
    if (c.mpicomm.myid == 0) {
        g_end.push_back(clock_now());
        const int k = g_end.size() == 5 ? 0 : 1;
        g_slot[k][0] = c.timer.t(3);
        g_slot[k][1] = c.timer.t(4);
    }
    __real__ZN2hc10write_histERNS_3CtxE(c);
}
}  // namespace hc

int main() {
    g_start = clock_now();
    hc::set_fp_mode();
    g_c = hc::make_ctx();
    hc::init(*g_c);
    MPI_Barrier(MPI_COMM_WORLD);
    g_run = clock_now();
    g_end.reserve(100000);
    std::atexit(report);
    hc::run(*g_c);
    hc::finalize(*g_c);
    std::exit(0);
}
EOF
CXXFLAGS_BENCH="-std=c++20 -O2 -ffp-contract=off -fno-fast-math -DOMPI_SKIP_MPICXX=1 -DMPICH_SKIP_MPICXX=1"
# shellcheck disable=SC2046
mpicxx $CXXFLAGS_BENCH -I"$ROOT/src" "$BUILD/bench_step_main.cpp" "$BUILD/libhalocline_lib.a" \
    -Wl,--wrap=_ZN2hc10write_histERNS_3CtxE $(pkg-config --libs pnetcdf openblas) -llapacke -o "$BUILD/bench-step"

if [ -n "${HC_BENCH_DIR:-}" ]; then
    DIR=$HC_BENCH_DIR
else
    DIR=$(mktemp -d /tmp/hc-bench.XXXXXX)
    trap 'rm -rf "$DIR"' EXIT
fi

printf '%-26s %9s %9s %9s %8s %7s %7s %6s %6s %6s\n' "configuration" "median_s" "mean_s" "startup_s" "first5_s" "save_s" \
    "passes" "comm%" "ellip%" "rest%"
for s in $SOLVERS; do
  for f in $SURFACES; do
    name=$([ "$s" = 2 ] && echo "BiCGStab" || echo "marching")
    surface=()
    case $f in
        0) name="$name rigid lid" surface=(--set lfsrf=0) ;;
        1) name="$name free surf" surface=(--set lfsrf=1) ;;
        *) name="$name (lsolver=$s)" ;;
    esac
    for ((r = 1; r <= RUNS; ++r)); do
        rm -rf "$DIR"
        "$BUILD/halocline-prep" --out "$DIR" --set mxit="$STEPS" --set lsolver="$s" "${surface[@]}" >/dev/null
        (cd "$DIR/work" && $MPIRUN -np 24 "$BUILD/bench-step" >stdout.txt 2>&1) ||
            { echo "bench-step: the run with lsolver=$s failed"; tail -20 "$DIR/work/stdout.txt"; exit 1; }
        awk -v name="$name" -v steps="$STEPS" '
            /^@itf-it0===/ { passes++ }
            /^bench-step: median/ { med = $3; mean = $5; st = $7; f5 = $9; sv = $11; n = $13; comm = $15; ell = $17 }
            END {
                if (med == "") { print "bench-step: no step report in the run output"; exit 1 }
                tot = mean * (n - 5)
                printf "%-26s %9.4f %9.4f %9.2f %8.2f %7.2f %7.2f %6.1f %6.1f %6.1f\n", name, med, mean, st, f5, sv,
                    passes / steps, 100 * comm / tot, 100 * ell / tot, 100 * (tot - comm - ell) / tot
            }' "$DIR/work/stdout.txt"
    done
  done
done
