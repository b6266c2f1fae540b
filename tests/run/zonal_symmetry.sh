#!/bin/bash
# The aqua-planet with a flat bottom (no land, 40 levels everywhere) is
# symmetric in longitude: the climatology, the wind stress, the gas-exchange
# fields and every metric depend on latitude alone, and the run starts from
# rest. For each solver (1 marching, 2 BiCGStab) and each surface (0 rigid
# lid, 1 free surface) the case runs STEPS steps from rest and STEPS more
# from the restart set it wrote (tests/run/support/aqua.py computes the
# measures; docs/physics.md gives the reasons for the bounds):
#  - the spread over longitude of every prognostic field, at any row and
#    level, is at most 1e-7 of the field's range after both runs, and it has
#    not grown by more than a factor 4 from the first to the second (below
#    1e-10, round-off, it may wander);
#  - the interior has adjusted to the meridional pressure gradient: the
#    vertical shear of the flow between 330 m and 2.8 km is the thermal wind
#    times 1 - exp(-i f t), within 0.25 of the thermal wind.
# HC_SYMMETRY_STEPS (default 24) sets STEPS.
set -u
dir=$HC_TESTDIR
. "$(dirname "$0")/support/check.sh"
need_prep
STEPS=${HC_SYMMETRY_STEPS:-24}
rm -rf "$dir" && mkdir -p "$dir" || exit 1

# Compares two numbers with a Python expression in a and b.
holds() { $PY -c "import sys; a, b = map(float, sys.argv[2:]); sys.exit(not ($1))" "$1" "$2" "$3"; }

for solver in 1 2; do
    for surface in 0 1; do
        name="lsolver=$solver lfsrf=$surface"
        run=$dir/s$solver$surface
        failed=$fail
        "$HC_PREP" --out "$run" --no-land --flat-bottom 40 --set lsolver=$solver --set lfsrf=$surface \
            --set mxit="$STEPS" >/dev/null || { check "$name: preparation" 1; continue; }
        cd "$run/work" || exit 1
        $HC_MPIRUN -np 24 "$HC_BIN" >stdout1.txt 2>&1
        check "$name: first run ends with status 0" $?
        $PY "$SUPPORT/aqua.py" symmetry . >symmetry1.txt 2>&1
        $PY "$SUPPORT/aqua.py" adjustment . "$STEPS" >adjustment1.txt 2>&1
        check "$name: thermal-wind adjustment after $STEPS steps" $?
        rundata_set lrstrt=1
        $HC_MPIRUN -np 24 "$HC_BIN" >stdout2.txt 2>&1
        check "$name: restart run ends with status 0" $?
        grep -q "^ read rerun file" stdout2.txt
        check "$name: the second run restarted" $?
        $PY "$SUPPORT/aqua.py" symmetry . >symmetry2.txt 2>&1
        $PY "$SUPPORT/aqua.py" adjustment . $((2 * STEPS)) >adjustment2.txt 2>&1
        check "$name: thermal-wind adjustment after $((2 * STEPS)) steps" $?
        d1=$(tail -1 symmetry1.txt) d2=$(tail -1 symmetry2.txt)
        echo "$name: departure from zonal symmetry $d1 after $STEPS steps, $d2 after $((2 * STEPS));" \
            "$(cut -d: -f2 adjustment1.txt | tr -d '\n'),$(cut -d: -f2 adjustment2.txt)"
        holds "a <= 1e-7" "$d1" 0
        check "$name: departure at most 1e-7 of the range after $STEPS steps" $?
        holds "b <= 1e-7" "$d1" "$d2"
        check "$name: departure at most 1e-7 of the range after $((2 * STEPS)) steps" $?
        holds "b <= max(4 * a, 1e-10)" "$d1" "$d2"
        check "$name: departure not growing from step $STEPS to $((2 * STEPS))" $?
        if [ $fail -eq "$failed" ]; then
            cd / && rm -rf "$run"  # 1.5 GB of prepared input and restart files
        else
            cat symmetry1.txt symmetry2.txt
            tail -3 stdout2.txt
        fi
    done
done
[ $fail -eq 0 ] && rm -rf "$dir"
finish
