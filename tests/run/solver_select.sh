#!/bin/bash
# The solver that rundata.nc names. lsolver = 1 on the global case, with
# evp.nc removed: process 0 alone says "evp solver" and how long the
# influence matrices took, nothing is read for the solver, and two steps
# run with every step's passes ending below the closed-face threshold before
# the ninth. lsolver = 0 and 3: one "(incorrect solver)" line from process
# 0, exit status 0 on every process, no step and no file written.
set -u
dir=$HC_TESTDIR
. "$(dirname "$0")/support/check.sh"
need_prep
command -v ncgen >/dev/null && command -v ncdump >/dev/null ||
    { echo "ncgen and ncdump are needed"; echo "0 passed, 1 failed"; exit 1; }
rm -rf "$dir"
"$HC_PREP" --out "$dir" --set mxit=2 --set lsolver=1 --set lfsrf=0 >/dev/null ||
    { echo "preparation failed"; echo "0 passed, 1 failed"; exit 1; }
cd "$dir/work" || exit 1
rm prepglo/data/evp.nc
$HC_MPIRUN -np 24 "$HC_BIN" >stdout.txt 2>&1
check "lsolver=1: exit status 0" $?
[ "$(grep -c '^ *evp solver *$' stdout.txt)" -eq 1 ]
check "lsolver=1: one 'evp solver' line" $?
[ "$(grep -c '^marching solver: influence matrices built in  *[0-9.]* s$' stdout.txt)" -eq 1 ]
check "lsolver=1: one line with the building time" $?
! grep -q "bi-cgstab solver" stdout.txt
check "lsolver=1: no BiCGStab" $?
for itf in 1 2; do
    last=$(grep "^@itf-it0===  *$itf,itmask=" stdout.txt | tail -1)
    n=$(printf '%s\n' "$last" | sed 's/.*itmask= *\([0-9]*\),.*/\1/')
    [ -n "$last" ] && [ "$n" -lt 9 ]
    check "lsolver=1: step $itf closes the faces before the ninth pass (last: '$last')" $?
done
! grep -qi "blow" stdout.txt
check "lsolver=1: no blow-up" $?

# The same directory with a solver that does not exist.
rm -rf data output
mkdir -p data
for ls in 0 3; do
    ncdump prepglo/data/rundata.nc | sed "s/^ lsolver = .* ;/ lsolver = $ls ;/" >rundata.cdl &&
        ncgen -k classic -o prepglo/data/rundata.nc rundata.cdl || exit 1
    $HC_MPIRUN -np 24 "$HC_BIN" >stdout$ls.txt 2>&1
    check "lsolver=$ls: exit status 0" $?
    [ "$(grep -c "^ *lsolver= *$ls *(incorrect solver) *$" stdout$ls.txt)" -eq 1 ]
    check "lsolver=$ls: one '(incorrect solver)' line" $?
    ! grep -q "^@itf-it0===\|evp solver\|bi-cgstab solver" stdout$ls.txt
    check "lsolver=$ls: no solver and no step" $?
    extra=$(ls data | grep -v '^glo')
    [ -z "$extra" ]
    check "lsolver=$ls: no file written ($extra)" $?
done
if [ $fail -eq 0 ]; then rm -rf "$dir"; fi
finish
