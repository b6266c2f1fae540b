#!/bin/bash
# A run directory without its prepared inputs, then one whose first prepared
# file holds a variable shorter than the block read: the reader stops the run
# on every process with a message naming the file (and the variable), MPI
# finalized, exit status 0, before any step and before any file is written.
# Last, a run directory whose data/ refuses the log of one process (a
# directory in its place): all processes agree and stop at start-up, none is
# left waiting for the one that stopped.
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

if command -v ncgen > /dev/null; then
    mkdir -p prepglo/data
    cat > windmix.cdl <<'CDL'
netcdf windmix {
dimensions:
  k = 20 ;
variables:
  double vbk(k) ;
  double hbk(k) ;
}
CDL
    ncgen -k classic -o prepglo/data/windmix.nc windmix.cdl || exit 1
    out=$($HC_MPIRUN -np 24 "$HC_BIN" 2>&1)
    rc=$?
    want='^ input file prepglo/data/windmix.nc, variable "vbk": dimension 1 (slowest first) holds 20 values, the blocks read need 39; run stopped$'
    got=$(printf '%s\n' "$out" | grep -c -- "$want")
    if [ $rc -eq 0 ] && [ "$got" -eq 24 ]; then pass=$((pass + 1)); else
        fail=$((fail + 1)); echo "FAIL short variable: exit status $rc, $got of 24 stop messages"; printf '%s\n' "$out" | tail -20
    fi
fi
rm -rf data prepglo && mkdir -p data/glo000_003
out=$(timeout 300 $HC_MPIRUN -np 24 "$HC_BIN" 2>&1)
rc=$?
got=$(printf '%s\n' "$out" | grep -c "^ cannot open the log file data/glo000_003 myid = ")
if [ $rc -eq 0 ] && [ "$got" -eq 1 ] && ! printf '%s\n' "$out" | grep -q "input file"; then pass=$((pass + 1)); else
    fail=$((fail + 1)); echo "FAIL log refused: exit status $rc (124: timed out), $got log messages"
    printf '%s\n' "$out" | tail -20
fi
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
