#!/bin/bash
# Time per step of the example case and the share of the model's timer slots.
#
#   scripts/bench-step.sh [STEPS]        (default 48 steps)
#   HC_BENCH_SOLVER=1 scripts/bench-step.sh ...   the marching solver instead of BiCGStab (2)
#
# Builds the model (Release) in $HC_BENCH_BUILD (default build-bench), prepares
# the global example case with halocline-prep in $HC_BENCH_DIR (default a
# fresh temporary directory, removed afterwards) and runs STEPS steps on 24
# processes.
#
# The model writes its timer record only when it makes no step, so the run is
# started through a small driver that calls the model's own start-up and time
# loop unchanged and, when the run ends (the last save finalizes MPI and exits),
# prints process 0's wall-clock slots: 3 (communication of the step: opening
# exchanges, monthly reduction, exchange after the Coriolis stage) and 4 (the
# elliptic phase, stages 16 to 18). The solve time is the sum over all passes
# of slot 6 as the iteration lines on standard output report it.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
STEPS=${1:-48}
BUILD=${HC_BENCH_BUILD:-$ROOT/build-bench}
MPIRUN=${HC_MPIRUN:-mpirun --allow-run-as-root --oversubscribe}
case $STEPS in '' | *[!0-9]* | 0) echo "bench-step: STEPS must be a positive number, not '$STEPS'" >&2; exit 2 ;; esac
SOLVER=${HC_BENCH_SOLVER:-2}
case $SOLVER in 1 | 2) ;; *) echo "bench-step: HC_BENCH_SOLVER must be 1 (marching) or 2 (BiCGStab), not '$SOLVER'" >&2; exit 2 ;; esac

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DHALOCLINE_BOUNDS_CHECK=OFF -DHALOCLINE_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j3 --target halocline_lib halocline-prep >/dev/null

# The driver: the model's main program with a report at exit.
cat >"$BUILD/bench_step_main.cpp" <<'EOF'
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "main/model.hpp"

namespace {
hc::Ctx* g_c = nullptr;
std::chrono::steady_clock::time_point g_t0;

void report() {
    if (g_c == nullptr || g_c->mpicomm.myid != 0) return;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - g_t0).count();
    auto& t = g_c->timer.t;
    std::printf("bench-step: steps %d wall %.3f comm %.3f elliptic %.3f\n", g_c->controglo.mxit, wall, t(3), t(4));
    std::fflush(stdout);
}
}  // namespace

int main() {
    hc::set_fp_mode();
    g_c = hc::make_ctx();
    hc::init(*g_c);
    g_t0 = std::chrono::steady_clock::now();
    std::atexit(report);
    hc::run(*g_c);
    hc::finalize(*g_c);
    std::exit(0);
}
EOF
CXXFLAGS_BENCH="-std=c++20 -O2 -ffp-contract=off -fno-fast-math -DOMPI_SKIP_MPICXX=1 -DMPICH_SKIP_MPICXX=1"
# shellcheck disable=SC2046
mpicxx $CXXFLAGS_BENCH -I"$ROOT/src" "$BUILD/bench_step_main.cpp" "$BUILD/libhalocline_lib.a" \
    $(pkg-config --libs pnetcdf openblas) -llapacke -o "$BUILD/bench-step"

if [ -n "${HC_BENCH_DIR:-}" ]; then
    DIR=$HC_BENCH_DIR
else
    DIR=$(mktemp -d /tmp/hc-bench.XXXXXX)
    trap 'rm -rf "$DIR"' EXIT  # the prepared case and the run's files take about 2 GB
fi
rm -rf "$DIR"
"$BUILD/halocline-prep" --out "$DIR" --set mxit="$STEPS" --set lsolver="$SOLVER" >/dev/null
cd "$DIR/work"
echo "bench-step: $STEPS steps of the example case with lsolver=$SOLVER in $DIR/work"
$MPIRUN -np 24 "$BUILD/bench-step" >stdout.txt 2>&1 || { echo "bench-step: the run failed"; tail -20 stdout.txt; exit 1; }

awk -v steps="$STEPS" '
    /^@itf-it0===/ { passes++; sub(/.*solver time =/, ""); sub(/sec.*/, ""); solve += $1 }
    /^bench-step: steps/ { wall = $5; comm = $7; ell = $9 }
    END {
        if (wall == "") { print "bench-step: no timer report in the run output"; exit 1 }
        printf "wall time per step      %9.3f s  (%d steps, %.2f passes per step)\n", wall / steps, steps, passes / steps
        printf "communication (slot 3)  %9.3f s  %5.1f %%\n", comm / steps, 100 * comm / wall
        printf "elliptic phase (slot 4) %9.3f s  %5.1f %%\n", ell / steps, 100 * ell / wall
        printf "  of which solves       %9.3f s  %5.1f %%\n", solve / steps, 100 * solve / wall
        printf "rest of the step        %9.3f s  %5.1f %%\n", (wall - comm - ell) / steps, 100 * (wall - comm - ell) / wall
    }' stdout.txt
