#!/bin/bash
# Input files cut short or holding a variable of another rank: the reader
# refuses them before it reads (file length against the header's offsets and
# sizes, rank and extents against the blocks read) and stops every process
# with a message naming the file and the variable, MPI finalized, exit status
# 0, before the first step.
#  1. Prepared inputs: "windmix.nc" cut by 8 bytes (its last variable "hbk"),
#     then a "windmix.nc" whose "vbk" has two dimensions.
#  2. A cold start (mxit = 1) writes a restart set and "data/initial.nc"; a
#     restart from it reads it whole (mxit = 0: no step).
#  3. Restart set: "rerun.nc" cut by 8 bytes (its last variable "rmsv"), then
#     a "u1.nc" whose "u1" has two dimensions.
#  4. "data/initial.nc": cut by 8 bytes (its last variable "si"), then one
#     whose "ti" and "si" have two dimensions.
set -u
. "$(dirname "$0")/support/check.sh"
need_prep
command -v ncgen > /dev/null || { echo "ncgen is missing"; echo "0 passed, 1 failed"; exit 1; }
dir=$HC_TESTDIR
rm -rf "$dir" && mkdir -p "$dir" || exit 1
work=$dir/case/work
small="--no-land --flat-bottom 4 --uniform-climatology --no-wind --short-periods"
run_model() { (cd "$work" && timeout 600 $HC_MPIRUN -np 24 "$HC_BIN" 2>&1; echo "exit status $?"); }

# expect_stop NAME PATTERN: the run stops on all 24 processes with PATTERN,
# with exit status 0, before the time loop.
expect_stop() {
    local out n
    out=$(run_model)
    n=$(printf '%s\n' "$out" | grep -c -- "$2")
    printf '%s\n' "$out" | grep -q '^exit status 0$' && [ "$n" -eq 24 ] &&
        ! printf '%s\n' "$out" | grep -q 'mxit,itf,days'
    local st=$?
    check "$1" $st
    [ $st -eq 0 ] || { echo "$n of 24 stop messages"; printf '%s\n' "$out" | tail -15; }
}

# cut FILE: a copy of FILE kept as FILE.whole, FILE cut by 8 bytes.
cut8() { cp "$1" "$1.whole" && truncate -s -8 "$1"; }
restore() { mv "$1.whole" "$1"; }
# replace FILE CDL: FILE kept as FILE.whole, FILE made from the CDL text.
replace() { cp "$1" "$1.whole" && printf '%s\n' "$2" > "$dir/x.cdl" && ncgen -k classic -o "$1" "$dir/x.cdl"; }

"$HC_PREP" --out "$dir/case" --set lsolver=2 --set lfsrf=0 $small --set mxit=1 > /dev/null || exit 1

# 1. Prepared inputs.
f=$work/prepglo/data/windmix.nc
cut8 "$f"
expect_stop "prepared, cut short" \
    '^ input file prepglo/data/windmix.nc, variable "hbk": data end at byte 1136 of the file, which holds 1128 bytes; run stopped$'
restore "$f"
replace "$f" 'netcdf w { dimensions: a = 3 ; b = 13 ; interface = 39 ; variables: double vbk(a, b) ; double hbk(interface) ; }'
expect_stop "prepared, wrong rank" \
    '^ input file prepglo/data/windmix.nc, variable "vbk": has 2 dimensions, 1 expected; run stopped$'
restore "$f"

# 2. A restart set, and a restart that reads it whole.
out=$(run_model)
printf '%s\n' "$out" | grep -q '^exit status 0$' && [ -f "$work/data/rerun.nc" ] && [ -f "$work/data/initial.nc" ]
check "cold start writes the restart set" $?
"$HC_PREP" --out "$dir/case" --set lsolver=2 --set lfsrf=0 $small --set lrstrt=1 --set mxit=0 > /dev/null || exit 1
out=$(run_model)
printf '%s\n' "$out" | grep -q '^exit status 0$' && printf '%s\n' "$out" | grep -q '^ mxit,itf,days 0 1 '
st=$?
check "a whole restart set is read" $st
[ $st -eq 0 ] || printf '%s\n' "$out" | tail -15

# 3. The restart set.
f=$work/data/rerun.nc
cut8 "$f"
expect_stop "rerun.nc, cut short" \
    '^ model-state file data/rerun.nc, variable "rmsv": data end at byte [0-9]* of the file, which holds [0-9]* bytes; run stopped$'
restore "$f"
f=$work/data/u1.nc
replace "$f" 'netcdf u { dimensions: longitude = 320 ; latitude = 288 ; variables: double u1(longitude, latitude) ; }'
expect_stop "u1.nc, wrong rank" \
    '^ model-state file data/u1.nc, variable "u1": has 2 dimensions, 3 expected; run stopped$'
restore "$f"

# 4. The annual means.
f=$work/data/initial.nc
cut8 "$f"
expect_stop "initial.nc, cut short" \
    '^ model-state file data/initial.nc, variable "si": data end at byte [0-9]* of the file, which holds [0-9]* bytes; run stopped$'
restore "$f"
replace "$f" 'netcdf i { dimensions: longitude = 320 ; latitude = 288 ; variables: double ti(longitude, latitude) ; double si(longitude, latitude) ; }'
expect_stop "initial.nc, wrong rank" \
    '^ model-state file data/initial.nc, variable "ti": has 2 dimensions, 3 expected; run stopped$'
restore "$f"

finish && rm -rf "$dir"  # the run directory holds about 1.5 GB
