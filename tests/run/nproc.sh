#!/bin/bash
# Started with 23 or 25 processes, every process prints the count message
# and the run ends with exit status 0 before any file is opened.
set -u
dir=$HC_TESTDIR
rm -rf "$dir" && mkdir -p "$dir/data" && cd "$dir" || exit 1
for n in 23 25; do
  out=$($HC_MPIRUN -np $n "$HC_BIN" 2>&1)
  rc=$?
  [ $rc -eq 0 ] || { echo "exit status $rc with $n processes"; echo "$out"; exit 1; }
  got=$(printf '%s\n' "$out" | grep -c "^ ng0= 24  is not equal to nproc= $n\$")
  [ "$got" -eq $n ] || { echo "expected $n count messages with $n processes, got $got"; echo "$out"; exit 1; }
  [ -z "$(ls data)" ] || { echo "files were opened: $(ls data)"; exit 1; }
done
echo "1 passed, 0 failed"
