#!/bin/bash
# Two runs in two directories write files of the same names at the same time
# (the topography file, the restart set, the history file "d001_030.nc" at
# step 30 with one day a step), next to the locked semaphore that a run killed
# while writing "d001_030.nc" leaves in /dev/shm ("sem.OMPIO_d001_030.nc"):
# both end with exit status 0, each history file is whole, and nothing of the
# MPI-IO layer is left behind beside the files or under a file's name in
# /dev/shm.
set -u
. "$(dirname "$0")/support/check.sh"
need_prep
dir=$HC_TESTDIR
rm -rf "$dir" && mkdir -p "$dir" || exit 1
"$HC_PREP" --out "$dir/a" --set lsolver=2 --set lfsrf=0 --no-land --flat-bottom 4 --uniform-climatology --no-wind --short-periods \
    --set mxit=30 > /dev/null || exit 1
# The second run shares the prepared inputs (read only) and has its own data/ and output/.
mkdir -p "$dir/b/work/data" "$dir/b/output" && ln -s "$dir/a/work/prepglo" "$dir/b/work/prepglo" &&
    cp "$dir/a/work/data/brinex_gasx.nc" "$dir/a/work/data/cfc1112_new.atm" "$dir/b/work/data/" || exit 1
LC_ALL=C ls /dev/shm > "$dir/shm.before" 2> /dev/null
# The crashed run's semaphore, created locked (value 0); one that is there
# already is left as it is. "made" when this script created it.
sem=/OMPIO_d001_030.nc
semaphore() {  # semaphore open|unlink
    $PY - "$1" "$sem" <<'PY'
import ctypes, os, sys
libc = ctypes.CDLL(None, use_errno=True)
libc.sem_open.restype = ctypes.c_void_p
name = sys.argv[2].encode()
if sys.argv[1] == "unlink":
    sys.exit(libc.sem_unlink(name) != 0)
s = libc.sem_open(name, os.O_CREAT | os.O_EXCL, 0o644, 0)
if s:
    libc.sem_close(ctypes.c_void_p(s))
    print("made")
PY
}
made=$(semaphore open)

for r in a b; do
    (cd "$dir/$r/work" && timeout 600 $HC_MPIRUN -np 24 "$HC_BIN" > "$dir/$r.out" 2>&1; echo $? > "$dir/$r.rc") &
done
wait
[ "$made" = made ] && semaphore unlink

for r in a b; do
    [ "$(cat "$dir/$r.rc")" = 0 ] && grep -q '^ write output$' "$dir/$r.out"
    st=$?
    check "run $r ends and writes its history (exit status $(cat "$dir/$r.rc"), 124: timed out)" $st
    [ $st -eq 0 ] || tail -15 "$dir/$r.out"
    h=$dir/$r/output/d001_030.nc
    # 13 variables of 320 x 288 doubles: 9 of 40 levels, 3 of 41, one of 12 months.
    [ -f "$h" ] && [ "$(stat -c %s "$h")" -ge $(((9 * 40 + 3 * 41 + 12) * 320 * 288 * 8)) ]
    check "run $r: d001_030.nc whole" $?
    [ -z "$(ls "$dir/$r/output" "$dir/$r/work/data" | grep '\.lock$')" ]
    check "run $r: no lock files left" $?
done
new=$(LC_ALL=C ls /dev/shm 2> /dev/null | LC_ALL=C comm -13 "$dir/shm.before" - | grep -E 'OMPIO_(topo|d001_030|rerun|initial)')
[ -z "$new" ]
check "no semaphore of a file name left in /dev/shm" $?

finish && rm -rf "$dir"  # the two runs hold about 3 GB
