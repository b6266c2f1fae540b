# Shared by the whole-program test scripts: counted checks, the preparation
# tool's presence, and the closing "N passed, N failed" line.
pass=0
fail=0
check() {  # check NAME CONDITION-STATUS
    if [ "$2" -eq 0 ]; then pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAILED: $1"; fi
}
need_prep() {
    [ -n "${HC_PREP:-}" ] || { echo "halocline-prep is not built"; echo "0 passed, 1 failed"; exit 1; }
}
finish() {
    echo "$pass passed, $fail failed"
    [ "$fail" -eq 0 ]
}
