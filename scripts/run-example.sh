#!/bin/sh
# Builds the model, prepares the global example case in runs/example and runs
# it on 24 processes in runs/example/work.
# Environment:
#   MXIT          last time step of the run (default 96: two model days at 48 steps a day)
#   HC_BUILD_DIR  build directory (default build)
#   HC_MPIRUN     the mpirun command (default: mpirun --allow-run-as-root --oversubscribe
#                 --map-by core --bind-to core:overload-allowed, each process kept on one core,
#                 ranks dealt to the cores in turn; README, "Running on fewer cores than processes")
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
MXIT=${MXIT:-96}
BUILD=${HC_BUILD_DIR:-build}
MPIRUN=${HC_MPIRUN:-mpirun --allow-run-as-root --oversubscribe --map-by core --bind-to core:overload-allowed}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target halocline halocline-prep
rm -rf runs/example
"$BUILD/halocline-prep" --case global --out runs/example --set mxit="$MXIT"
cd runs/example/work
echo "run-example: running $MXIT steps on 24 processes in runs/example/work (standard output: run.log)"
$MPIRUN -np 24 "$ROOT/$BUILD/halocline" > run.log 2>&1 || { tail -20 run.log; exit 1; }
tail -5 run.log
echo "run-example: standard output in runs/example/work/run.log, per-process logs in runs/example/work/data/glo*,"
echo "run-example: restart set in runs/example/work/data/, topography and history files in runs/example/output/"
ls ../output
