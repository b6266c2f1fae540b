#!/bin/bash
# Cold start and restart of the example case.
#  1. A cold start with mxit = 1 prints the start-up lines, writes the run
#     header, topo.nc, data/initial.nc and a restart set, and ends with exit
#     status 0.
#  2. A restart without a restart set stops on every process, before any step.
#  3. A restart from the set of 1. at half the time step (mxit = 0: no step)
#     doubles the step count and reports it.
set -u
dir=$HC_TESTDIR
rm -rf "$dir" && mkdir -p "$dir" || exit 1
[ -n "${HC_PREP:-}" ] && [ -x "$HC_PREP" ] || { echo "halocline-prep not built"; echo "0 passed, 1 failed"; exit 1; }
pass=0
fail=0
ok() { pass=$((pass + 1)); }
bad() { fail=$((fail + 1)); echo "FAIL $*"; }
count() { printf '%s\n' "$2" | grep -c -- "$1"; }  # pattern, text
run_model() { (cd "$1" && $HC_MPIRUN -np 24 "$HC_BIN" 2>&1; echo "exit status $?"); }

# 1. Cold start.
"$HC_PREP" --out "$dir/cold" --set lsolver=2 --set lfsrf=0 --set mxit=1 > /dev/null || exit 1
out=$(run_model "$dir/cold/work")
[ "$(count '^exit status 0$' "$out")" -eq 1 ] && ok || bad "cold: exit status"
[ "$(count '^month  *[0-9]* in bounds$' "$out")" -eq 12 ] && ok || bad "cold: month lines"
[ "$(count '^ write ncf initial$' "$out")" -eq 1 ] && ok || bad "cold: write ncf initial"
[ "$(count '^n,k,tmin,tmax,smin,smax:    1  [12]' "$out")" -eq 2 ] && ok || bad "cold: fill lines"
[ "$(count '^ mxit,itf,days 1 0 0$' "$out")" -eq 1 ] && ok || bad "cold: mxit,itf,days"
log=$dir/cold/work/data/glo002_005
[ "$(sed -n 4p "$log")" = "$(printf '%9d%9d%5d%5d%5d' 0 1 82 50 41)$(sed -n 4p "$log" | cut -c34-)" ] && ok || bad "cold: header i0 j0 k0"
[ "$(sed -n 3p "$log")" = " lrstrt   mxit   i0   j0   k0 ktrm" ] && ok || bad "cold: header titles"
data=$dir/cold/work/data
n=0
for t in u1 u2 ul v1 v2 vl t1 t2 tl s1 s2 sl pp uc wc vc c1 c2 cl; do [ -f "$data/$t.nc" ] && n=$((n + 1)); done
[ $n -eq 19 ] && [ -f "$data/rerun.nc" ] && [ -f "$data/initial.nc" ] && [ -f "$dir/cold/output/topo.nc" ] && ok ||
    bad "cold: restart set, initial.nc or topo.nc missing"
if command -v ncdump > /dev/null; then
    ncdump -h "$data/wc.nc" | grep -q "level = 41 ;" && ok || bad "wc.nc: 41 levels"
    ncdump -h "$data/initial.nc" | grep -q "double ti(longitude, latitude, level)" && ok || bad "initial.nc: ti"
fi

# 2. Restart without a restart set.
"$HC_PREP" --out "$dir/re" --set lsolver=2 --set lfsrf=0 --set lrstrt=1 --set mxit=0 --set dt=900 --set daodt=96 > /dev/null || exit 1
out=$(run_model "$dir/re/work")
[ "$(count '^ model-state file data/rerun.nc cannot be read; run stopped$' "$out")" -eq 24 ] && ok ||
    bad "no set: 24 stop messages"
[ "$(count '^pnetcdf error: ' "$out")" -eq 24 ] && ok || bad "no set: library messages"
[ "$(count 'mxit,itf,days' "$out")" -eq 0 ] && [ "$(count '^exit status 0$' "$out")" -eq 1 ] && ok ||
    bad "no set: stopped with status 0 before the loop"

# 3. Restart at half the time step.
cp "$data"/*.nc "$dir/re/work/data/"
out=$(run_model "$dir/re/work")
[ "$(count '^exit status 0$' "$out")" -eq 1 ] && ok || bad "restart: exit status"
[ "$(count '^ read rerun file 0 0$' "$out")" -eq 1 ] && [ "$(count '^ read ncf initial$' "$out")" -eq 1 ] && ok ||
    bad "restart: read lines"
[ "$(count '^dtnew/dtold= 0.500$' "$out")" -eq 1 ] && ok || bad "restart: dtnew/dtold"
[ "$(count '^time step # changed from      1 to      2 at restart to reflect dt change$' "$out")" -eq 1 ] && ok ||
    bad "restart: step change line"
[ "$(count '^itf,days,daodt_new,daodt_old       2     0.0    96.0    48.0$' "$out")" -eq 1 ] && ok ||
    bad "restart: itf,days line"
[ "$(count '^restart data read for time step         2, day     0.02$' "$out")" -eq 1 ] && ok ||
    bad "restart: restart data read"
[ "$(count '^nsombo:  2  2  2  2  2  2  2  2  2  2  2  2$' "$out")" -eq 1 ] && ok || bad "restart: nsombo"
[ "$(count '^ mxit,itf,days 0 2 0.020833333333333332$' "$out")" -eq 1 ] && ok || bad "restart: mxit,itf,days"
grep -q '^dtnew/dtold= 0.500$' "$dir/re/work/data/glo000_000" && ok || bad "restart: log of process 0"

[ "$fail" -eq 0 ] || printf '%s\n' "$out" | tail -30
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ] && rm -rf "$dir"  # the two run directories hold a few gigabytes
[ "$fail" -eq 0 ]
