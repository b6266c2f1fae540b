#!/bin/bash
# A run directory without its prepared inputs: the first reader stops the run
# on every process with a message naming the file, MPI finalized, exit status
# 0, before any step and before any file is written.
set -u
dir=$HC_TESTDIR
rm -rf "$dir" && mkdir -p "$dir/data" && cd "$dir" || exit 1
pass=0
fail=0
out=$($HC_MPIRUN -np 24 "$HC_BIN" 2>&1)
rc=$?
got=$(printf '%s\n' "$out" | grep -c "^ input file prepglo/data/windmix.nc cannot be opened: .*; run stopped$")
if [ $rc -eq 0 ] && [ "$got" -eq 24 ]; then pass=$((pass + 1)); else
    fail=$((fail + 1)); echo "FAIL: exit status $rc, $got of 24 stop messages"; printf '%s\n' "$out" | tail -20
fi
if printf '%s\n' "$out" | grep -q "mxit,itf,days"; then fail=$((fail + 1)); echo "FAIL: the run went on"; else pass=$((pass + 1)); fi
extra=$(ls data | grep -v '^glo')
if [ -z "$extra" ]; then pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAIL: files written: $extra"; fi
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
