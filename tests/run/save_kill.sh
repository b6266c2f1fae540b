#!/bin/bash
# A save killed at any moment leaves a restart set that the next start reads
# as either the whole previous set or the whole new one, never a mix.
#  1. A one-step cold run leaves set A; a one-step restart from A leaves set B
#     (the reference: md5 sums of the 20 files).
#  2. For several moments of the restart's save (the save's halt points,
#     HALOCLINE_SAVE_HALT: while the temporary files are written, with the
#     journal cut short, with the journal whole and half-way through the
#     renames) the 24 processes are killed with SIGKILL there;
#     a start with mxit = 0 then reads the set, saying what it put right, and
#     the set in place is exactly A (before the journal is whole) or exactly
#     B (after), with no temporary file or journal left.
set -u
dir=$HC_TESTDIR
rm -rf "$dir" && mkdir -p "$dir" || exit 1
. "$(dirname "$0")/support/check.sh"
need_prep

files="u1 u2 ul v1 v2 vl t1 t2 tl s1 s2 sl pp uc wc vc c1 c2 cl rerun"
sums() { (cd "$w/data" && for f in $files; do md5sum "$f.nc"; done); }
# Set A back in place (hard links: a save renames new files over the names
# and never writes into the files themselves).
restore_a() {
    rm -f "$w"/data/*.tmp "$w/data/restart.journal"
    for f in $files; do ln -f "$dir/a/$f.nc" "$w/data/$f.nc"; done
}

"$HC_PREP" --out "$dir/case" --set lsolver=2 --set lfsrf=0 --no-land --flat-bottom 40 --uniform-climatology --no-wind --short-periods \
    --set mxit=1 > /dev/null || exit 1
w=$dir/case/work

out=$(run_model "$w")
ended_well "$out"
check "cold run" $?
mkdir -p "$dir/a" && for f in $files; do ln "$w/data/$f.nc" "$dir/a/$f.nc"; done
sum_a=$(sums)

set_run "$w" lrstrt=1
out=$(run_model "$w")
ended_well "$out"
check "restart run" $?
sum_b=$(sums)
[ "$sum_a" != "$sum_b" ]
check "the two sets differ" $?

# point: expected set, expected start-up message
cases=(
    "11 a temporary files of an unfinished save removed; the previous files are kept"
    "22 a 20 temporary files of an unfinished save removed; the previous files are kept"
    "23 b the interrupted save recorded in data/restart.journal was completed"
    "33 b the interrupted save recorded in data/restart.journal was completed"
)
for cs in "${cases[@]}"; do
    read -r point want message <<< "$cs"
    restore_a
    set_run "$w" mxit=1
    log=$dir/halt$point.txt
    (cd "$w" && HALOCLINE_SAVE_HALT=$point exec $HC_MPIRUN -np 24 "$HC_BIN" > "$log" 2>&1) &
    mp=$!
    halted=1
    for _ in $(seq 1 1200); do
        grep -q "^ save halted at point $point$" "$log" && { halted=0; break; }
        kill -0 $mp 2> /dev/null || break
        sleep 0.25
    done
    check "point $point: halted" $halted
    # Every process of the run at once, the way a job is killed.
    kill -9 $(pgrep -P $mp) 2> /dev/null
    wait $mp 2> /dev/null

    set_run "$w" mxit=0
    out=$(run_model "$w")
    ended_well "$out"
    check "point $point: restart status" $?
    printf '%s\n' "$out" | grep -q "^ restart files: .*$message"
    check "point $point: says '$message'" $?
    got=$(sums)
    if [ "$want" = a ]; then [ "$got" = "$sum_a" ]; else [ "$got" = "$sum_b" ]; fi
    check "point $point: the set read is set $want" $?
    [ -z "$(ls "$w/data" | grep -e '\.tmp$' -e '^restart\.journal$')" ]
    check "point $point: nothing left behind" $?
done

finish && rm -rf "$dir"
