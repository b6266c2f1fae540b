#!/bin/sh
# Builds the model, prepares the global example case in runs/example and runs
# it on 24 processes in runs/example/work.
#   MXIT   last time step of the run (default 96: two days at 48 steps a day)
#   NP_MPIRUN  the mpirun command (default: mpirun --allow-run-as-root --oversubscribe)
set -e
cd "$(dirname "$0")/.."
MXIT=${MXIT:-96}
MPIRUN=${NP_MPIRUN:-mpirun --allow-run-as-root --oversubscribe}
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target halocline halocline-prep
rm -rf runs/example
./build/halocline-prep --case global --out runs/example --set mxit="$MXIT"
cd runs/example/work
echo "run-example: running $MXIT steps on 24 processes in runs/example/work (log: runs/example/work/run.log)"
$MPIRUN -np 24 ../../../build/halocline > run.log 2>&1 || { tail -20 run.log; exit 1; }
tail -5 run.log
echo "run-example: standard output in runs/example/work/run.log, per-process logs in runs/example/work/data/glo*,"
echo "run-example: restart set in runs/example/work/data/, topography and history files in runs/example/output/"
ls ../output
