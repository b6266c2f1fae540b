#!/bin/bash
# Coriolis and metric terms against an inertial oscillation. The flat
# aqua-planet without wind and with horizontally uniform temperature and
# salinity runs one step from rest; its restart set then gets a horizontally
# uniform zonal flow of zero depth mean (tests/run/support/inertial.py says
# how), and a restart runs 24 more steps (12 hours). Nothing but the rotation
# at the rate F + TANPHI u acts on that flow, so every row must have turned
# by f t (the trapezoidal scheme's angle per step), clockwise in the north,
# at an unchanged speed, and the prepared "f" and "tanphi" must be 2 Omega
# sin(lat) and tan(lat) / R with R the radius of the grid's metrics in cm.
set -u
dir=$HC_TESTDIR
. "$(dirname "$0")/support/check.sh"
need_prep
U0=10
STEPS=24
rm -rf "$dir"
"$HC_PREP" --out "$dir" --no-land --flat-bottom 40 --uniform-climatology --no-wind --set lsolver=1 --set lfsrf=0 \
    --set mxit=1 >/dev/null || { echo "preparation failed"; echo "0 passed, 1 failed"; exit 1; }
cd "$dir/work" || exit 1
$HC_MPIRUN -np 24 "$HC_BIN" >stdout1.txt 2>&1
check "cold step ends with status 0" $?
$PY "$SUPPORT/inertial.py" start . $U0
check "zonal flow written into the restart set" $?
rundata_set lrstrt=1 mxit=$STEPS
$HC_MPIRUN -np 24 "$HC_BIN" >stdout2.txt 2>&1
check "restart run ends with status 0" $?
grep -q "^ read rerun file" stdout2.txt
check "the second run restarted" $?
$PY "$SUPPORT/inertial.py" check . $U0 $STEPS
check "rotation at the rate f, speed kept, f and tanphi as the grid gives them" $?
tidy_up "$dir" stdout2.txt
finish
