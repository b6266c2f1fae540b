#!/bin/bash
# A one-step cold run leaves its restart set, initial-state file and
# topography file in the layouts the readers expect, and ends after its save
# with no log line. A second run of the same case with "lbred" = 1 in its
# configuration rescales in bred-vector mode instead: it takes the window and
# target sizes at step 1 (all zero on this grid), says that a perturbation of
# size zero is not rescaled, and leaves the restart set untouched.
set -u
dir=$HC_TESTDIR
rm -rf "$dir" && mkdir -p "$dir" || exit 1
pass=0
fail=0
ok() {  # name, condition status
    if [ "$2" -eq 0 ]; then
        pass=$((pass + 1))
    else
        fail=$((fail + 1))
        echo "FAIL $1"
    fi
}
count() {  # name, expected count, pattern, text
    local got
    got=$(printf '%s\n' "$4" | grep -c -- "$3")
    [ "$got" -eq "$2" ]
    ok "$1 (expected $2 lines matching '$3', got $got)" $?
}
run_model() {
    (cd "$w" && $HC_MPIRUN -np 24 "$HC_BIN" 2>&1)
    echo "exit status $?"
}
vars() {  # file: its variable names in order
    ncdump -h "$1" | sed -n 's/^\t[a-z]* \([a-z0-9_-]*\)(.*/\1/p' | tr '\n' ' '
}

if [ -z "${HC_PREP:-}" ] || [ ! -x "$HC_PREP" ]; then
    echo "halocline-prep not built: skipped"
    echo "0 passed, 0 failed"
    exit 0
fi
"$HC_PREP" --out "$dir/case" --set lsolver=2 --set lfsrf=0 --no-land --flat-bottom 40 --uniform-climatology --no-wind --short-periods \
    --set mxit=1 > /dev/null || exit 1
w=$dir/case/work

out=$(run_model)
count "cold: status" 1 "^exit status 0$" "$out"
count "cold: one save" 1 "^ write rerun file$" "$out"
[ "$(vars "$w/data/rerun.nc")" = "itf days evap qsum olde oldq nsombo x p0 qvag tnudge pbar pvar xbar ucli vcli rmsv " ]
ok "rerun.nc variables" $?
n=0
for t in u1 u2 ul v1 v2 vl t1 t2 tl s1 s2 sl pp uc wc vc c1 c2 cl; do
    [ -f "$w/data/$t.nc" ] && n=$((n + 1))
done
[ "$n" -eq 19 ]
ok "19 per-field files ($n)" $?
ncdump -h "$w/data/wc.nc" | grep -q "level = 41 ;" && ncdump -h "$w/data/vl.nc" | grep -q "double vlf(longitude, latitude, level)"
ok "per-field layout" $?
[ "$(ncdump -v itf "$w/data/rerun.nc" | sed -n 's/^ itf = \([0-9]*\) ;/\1/p')" = 1 ]
ok "itf saved" $?
[ -z "$(ls "$w/data" | grep '\.tmp$')" ]
ok "no temporary files" $?
[ "$(vars "$w/data/initial.nc")" = "ti si " ]
ok "initial.nc" $?
[ "$(vars "$dir/case/output/topo.nc")" = "lev_c lev_f lat lon s_nudge t_nudge hmean_nudge taux tauy sclis tclis kb mask mask_w " ]
ok "topo.nc variables" $?
! grep -q "save at day" "$w/data/glo000_000"
ok "no log line at the last step" $?

# Bred-vector mode: the set just written is the control.
rd=$w/prepglo/data/rundata.nc
ncdump -p 9,17 "$rd" | sed -e 's/^variables:$/variables:\n\tint lbred(scalar) ;/' -e 's/^data:$/data:\n\n lbred = 1 ;/' \
    > "$dir/rundata.cdl" && ncgen -k 2 -o "$rd" "$dir/rundata.cdl"
ok "switch added" $?
before=$(cd "$w/data" && md5sum rerun.nc u1.nc sl.nc)
out=$(run_model)
count "bred: status" 1 "^exit status 0$" "$out"
count "bred: window sizes" 1 "^ bred ke1 factor = 0 bred ke1 =  0$" "$out"
count "bred: filtered level" 1 "^ bred kelf factor = 0 bred kelf =  0$" "$out"
count "bred: zero size" 3 "perturbation size 0 gives no finite factor; kept unscaled$" "$out"
count "bred: no NaN factor" 0 "factor = NaN" "$out"
[ "$before" = "$(cd "$w/data" && md5sum rerun.nc u1.nc sl.nc)" ]
ok "bred: restart set untouched" $?

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
