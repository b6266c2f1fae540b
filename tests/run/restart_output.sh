#!/bin/bash
# A restarted run next to an earlier run's output, and a state that is not a
# number, on a 30-step period (--short-periods).
#  1. A cold run of 30 steps writes ../output/d001_030.nc and a restart set.
#  2. A restart of 30 steps writes d001_030.nc again: the earlier file is
#     first moved to d001_030.nc.1, unchanged, with one line.
#  3. A restart whose older temperature holds one NaN stops at step 1 the
#     blow-up way on all 24 processes (message, dump, exit status 0), writes
#     no history and leaves the restart set as it was.
set -u
dir=$HC_TESTDIR
rm -rf "$dir" && mkdir -p "$dir" || exit 1
. "$(dirname "$0")/support/check.sh"
need_prep

count() { printf '%s\n' "$2" | grep -c -- "$1"; }  # pattern, text
set_sums() { (cd "$w/data" && md5sum rerun.nc ./??.nc initial.nc); }

"$HC_PREP" --out "$dir/case" --set lsolver=2 --set lfsrf=0 --no-land --flat-bottom 40 --uniform-climatology --no-wind --short-periods \
    --set mxit=30 > /dev/null || exit 1
w=$dir/case/work
hist=$dir/case/output/d001_030.nc

# 1. Cold run.
out=$(run_model "$w")
ended_well "$out" && [ -f "$hist" ]
check "cold run writes $hist" $?
first=$(md5sum < "$hist")

# 2. Restart next to it.
set_run "$w" lrstrt=1
out=$(run_model "$w")
ended_well "$out"
check "restart: status" $?
[ "$(count '^ earlier ../output/d001_030.nc moved to ../output/d001_030.nc.1$' "$out")" -eq 1 ]
check "restart: one line for the file moved aside" $?
[ -f "$hist" ] && [ "$(md5sum < "$hist.1")" = "$first" ] && [ "$(md5sum < "$hist")" != "$first" ]
check "restart: the earlier history kept as d001_030.nc.1, a new d001_030.nc" $?

# 3. One NaN in t1.nc at global longitude 100, latitude 100, level 1 (the
# file holds big-endian doubles, level fastest, after its header).
t1=$w/data/t1.nc
off=$(($(stat -c %s "$t1") - 320 * 288 * 40 * 8 + (100 * 288 + 100) * 40 * 8))
printf '\177\370\000\000\000\000\000\000' | dd of="$t1" bs=1 seek=$off conv=notrunc status=none
before=$(set_sums)
rm -f "$w"/data/blow_check*
out=$(run_model "$w")
ended_well "$out"
check "NaN: status 0" $?
[ "$(count '^ unix-pectedly large velocity at itf= 1 myid = [0-9]*$' "$out")" -eq 24 ]
check "NaN: every process stops at step 1" $?
[ "$(count '^ value not finite: [uvtsc][2] at i,j,k=\| value not finite: p0 at' "$out")" -ge 1 ]
check "NaN: the field and point are named" $?
[ "$(count 'write output\|write rerun file' "$out")" -eq 0 ]
check "NaN: no history or restart save" $?
n=0
for f in "$w"/data/blow_check*; do [ "$(stat -c %s "$f")" -eq 5248008 ] && n=$((n + 1)); done
[ "$n" -eq 24 ]
check "NaN: 24 dumps ($n)" $?
[ "$(set_sums)" = "$before" ] && [ ! -e "$hist.2" ]
check "NaN: restart set and history untouched" $?

[ "$fail" -eq 0 ] || printf '%s\n' "$out" | grep -v '^ *[-0-9.E+ ]*$' | tail -30
finish && rm -rf "$dir"
