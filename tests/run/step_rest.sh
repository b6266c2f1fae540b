#!/bin/bash
# A flat basin without land, wind or horizontal contrasts of temperature and
# salinity, run for two steps: the run ends normally, each step needs one
# elliptic pass with no flow left on closed surface faces, every process logs
# the iteration line and the incompressibility line on both steps, nothing
# blows up, and no timer record is written (the run made steps). The same
# directory with lfsrf = 2 stops in the first pass of step 1, before its
# solve: one "lfsrf is not set correctly" line and nothing after it, exit
# status 0, no iteration line, no restart set.
set -u
dir=$HC_TESTDIR
. "$(dirname "$0")/support/check.sh"
need_prep
rm -rf "$dir"
"$HC_PREP" --out "$dir" --no-land --flat-bottom 40 --uniform-climatology --no-wind --set mxit=2 --set lsolver=2 --set lfsrf=0 >/dev/null ||
    { echo "preparation failed"; echo "0 passed, 1 failed"; exit 1; }
cd "$dir/work" || exit 1
$HC_MPIRUN -np 24 "$HC_BIN" >stdout.txt 2>&1
check "exit status 0" $?

for itf in 1 2; do
    lines=$(grep -c "^@itf-it0===  *$itf,itmask=" stdout.txt)
    [ "$lines" -eq 1 ]
    check "one elliptic pass at step $itf (got $lines)" $?
    grep -q "^@itf-it0===  *$itf,itmask=  1, vmx on land=  0.0000 cm/s, solver time =" stdout.txt
    check "no flow on closed faces at step $itf" $?
done
logs=$(ls data/glo* | wc -l)
[ "$logs" -eq 24 ]
check "24 per-process logs" $?
bad=0
for f in data/glo*; do
    [ "$(grep -c '^@itf-it0===' "$f")" -eq 2 ] || bad=1
    [ "$(grep -c '^ \*\*\* normalized mean incompressibility error = ' "$f")" -eq 2 ] || bad=1
done
check "iteration and incompressibility lines in every log on both steps" $bad
! grep -qi "blow" stdout.txt
check "no blow-up" $?
[ -z "$(ls data | grep '^timer')" ]
check "no timer record after a run that made steps" $?

rm -f data/rerun.nc  # the set of the run above; the gas-exchange inputs stay
rundata_set lfsrf=2
$HC_MPIRUN -np 24 "$HC_BIN" >stdout2.txt 2>&1
check "lfsrf=2: exit status 0" $?
[ "$(grep -c '^ *lfsrf is not set correctly *$' stdout2.txt)" -eq 1 ]
check "lfsrf=2: one 'lfsrf is not set correctly' line" $?
grep -q '^ mxit,itf,days ' stdout2.txt && ! grep -q '^@itf-it0===' stdout2.txt
check "lfsrf=2: the loop started, no pass finished" $?
[ ! -e data/rerun.nc ] && [ -z "$(ls data | grep '^timer')" ]
check "lfsrf=2: no restart set and no timer record" $?
[ "$(sed -n '/lfsrf is not set correctly/,$p' stdout2.txt | wc -l)" -eq 1 ]
check "lfsrf=2: nothing printed after the message" $?
tidy_up "$dir" stdout.txt
finish
