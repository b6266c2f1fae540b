#!/bin/bash
# Start-up refusals: a run directory without its prepared inputs, a prepared
# set with one file missing, and a restart without a restart set each stop
# the run on every process with a message naming the file (and variable),
# MPI finalized, exit status 0, before any step.
set -u
dir=$HC_TESTDIR
rm -rf "$dir" && mkdir -p "$dir" || exit 1
pass=0
fail=0
check() {  # name, expected count, pattern, output
    local got
    got=$(printf '%s\n' "$4" | grep -c -- "$3")
    if [ "$got" -eq "$2" ]; then
        pass=$((pass + 1))
    else
        fail=$((fail + 1))
        echo "FAIL $1: expected $2 lines matching '$3', got $got"
        printf '%s\n' "$4" | tail -20
    fi
}
run_model() {  # directory
    (cd "$1" && $HC_MPIRUN -np 24 "$HC_BIN" 2>&1)
    echo "exit status $?"
}

# No prepared inputs at all: the first reader stops the run.
mkdir -p "$dir/empty/data"
out=$(run_model "$dir/empty")
check "empty: message" 24 "^ input file prepglo/data/windmix.nc cannot be opened: .*; run stopped$" "$out"
check "empty: status" 1 "^exit status 0$" "$out"

if [ -z "${HC_PREP:-}" ] || [ ! -x "$HC_PREP" ]; then
    echo "halocline-prep not built: prepared-set cases skipped"
    echo "$pass passed, $fail failed"
    [ "$fail" -eq 0 ]
    exit
fi

# One prepared file missing.
"$HC_PREP" --out "$dir/nowinds" > /dev/null || exit 1
rm "$dir/nowinds/work/prepglo/data/winds.nc"
out=$(run_model "$dir/nowinds/work")
check "winds: message" 24 "^ input file prepglo/data/winds.nc cannot be opened: " "$out"
check "winds: no step" 0 "mxit,itf,days" "$out"
check "winds: status" 1 "^exit status 0$" "$out"

# A restart without a restart set.
"$HC_PREP" --out "$dir/norerun" --set lrstrt=1 > /dev/null || exit 1
out=$(run_model "$dir/norerun/work")
check "rerun: library message" 24 "^pnetcdf error: " "$out"
check "rerun: message" 24 "^ model-state file data/rerun.nc cannot be read; run stopped$" "$out"
check "rerun: no step" 0 "mxit,itf,days" "$out"
check "rerun: status" 1 "^exit status 0$" "$out"

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
