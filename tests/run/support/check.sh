# Shared by the whole-program test scripts: counted checks, the preparation
# tool's presence, the closing "N passed, N failed" line, and the Python 3
# (with Debian's numpy and netCDF4) that runs the checkers beside this file.
PY=${HC_PYTHON:-/usr/bin/python3}
SUPPORT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export OPENBLAS_NUM_THREADS=1
pass=0
fail=0
check() {  # check NAME CONDITION-STATUS
    if [ "$2" -eq 0 ]; then pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAILED: $1"; fi
}
need_prep() {
    [ -n "${HC_PREP:-}" ] || { echo "halocline-prep is not built"; echo "0 passed, 1 failed"; exit 1; }
}
# run_model DIR: the model started as 24 processes in DIR; its output, then "exit status N".
run_model() { (cd "$1" && $HC_MPIRUN -np 24 "$HC_BIN" 2>&1; echo "exit status $?"); }
ended_well() { printf '%s\n' "$1" | grep -qx 'exit status 0'; }  # output of run_model
# set_run DIR NAME=VALUE ...: integer scalars of DIR/prepglo/data/rundata.nc.
set_run() {
    local rd=$1/prepglo/data/rundata.nc expr=() a
    shift
    for a in "$@"; do expr+=(-e "s/^ ${a%%=*} = .*/ ${a%%=*} = ${a#*=} ;/"); done
    ncdump "$rd" | sed "${expr[@]}" > "$rd.cdl" && ncgen -k 2 -o "$rd" "$rd.cdl" && rm -f "$rd.cdl"
}
finish() {
    echo "$pass passed, $fail failed"
    [ "$fail" -eq 0 ]
}
# Removes the run directory $1 (gigabytes of input and restart files) when
# every check passed; otherwise shows the end of the model's output $2.
tidy_up() {
    if [ "$fail" -eq 0 ]; then cd / && rm -rf "$1"; else tail -20 "$2"; fi
}
# Changes scalars of the prepared run configuration in the current work
# folder, e.g. `rundata_set lrstrt=1 mxit=24` before a restart run.
rundata_set() {
    $PY - "$@" <<'PY'
import sys
import netCDF4
with netCDF4.Dataset("prepglo/data/rundata.nc", "r+") as nc:
    for arg in sys.argv[1:]:
        name, value = arg.split("=", 1)
        nc[name][:] = float(value)
PY
}
