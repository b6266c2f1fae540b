#!/bin/bash
# A run of no steps (mxit = 0): every process writes its timer record, 80
# bytes of ten slots framed by the length word 80, slot 1 the loop's time
# and slot 2 zero, and the run ends with exit status 0.
set -u
dir=$HC_TESTDIR
rm -rf "$dir" && mkdir -p "$dir" || exit 1
"$HC_PREP" --out "$dir/case" --set lsolver=2 --set lfsrf=0 --no-land --flat-bottom 4 --uniform-climatology --no-wind --set mxit=0 >/dev/null ||
  { echo "preparation failed"; exit 1; }
cd "$dir/case/work" || exit 1
out=$($HC_MPIRUN -np 24 "$HC_BIN" 2>&1)
rc=$?
[ $rc -eq 0 ] || { echo "exit status $rc"; echo "$out"; exit 1; }
printf '%s\n' "$out" | grep -q '^ mxit,itf,days 0 0 0$' || { echo "no start line"; echo "$out"; exit 1; }
n=0
for f in data/timer???_???; do
  n=$((n + 1))
  python3 - "$f" <<'PY' || exit 1
import struct, sys
b = open(sys.argv[1], "rb").read()
assert len(b) == 88, len(b)
head, = struct.unpack("<i", b[:4]); tail, = struct.unpack("<i", b[84:])
slots = struct.unpack("<10d", b[4:84])
assert head == 80 and tail == 80, (head, tail)
assert slots[1] == 0.0 and slots[0] >= 0.0 and slots[0] < 60.0, slots
PY
done
[ $n -eq 24 ] || { echo "expected 24 timer records, found $n"; exit 1; }
echo "1 passed, 0 failed"
