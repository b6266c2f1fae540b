#!/bin/bash
# Runs the same short global cases with two model binaries and checks that
# they leave bit-identical files and standard output.
#
#   scripts/compare-runs.sh BIN_A BIN_B [CASE ...]
#
# CASE is one of m0 m1 b0 b1 (marching or BiCGStab solver, rigid lid 0 or
# free surface 1) or h (the marching solver and rigid lid on a short calendar:
# one 30-step history period and two saves); default: all five. Each case is
# prepared once with the preparation tool, run cold with each binary, then
# restarted from each binary's own restart set for three more steps.
#
# Compared, byte for byte: every netCDF file the runs leave (restart set,
# "data/initial.nc", topography and history files), the per-process logs and
# standard output, with wall-clock figures (solver times, the marching
# solver's build time) masked. Exit status 0 when everything is identical.
#
# Uses: binaries A and B (for example an optimized and an unoptimized build
# of one commit, or one commit before and after a change made for speed),
# HC_PREP (default build/halocline-prep), HC_MPIRUN (default mpirun
# --allow-run-as-root --oversubscribe), HC_COMPARE_DIR (scratch directory,
# default a new temporary one, removed afterwards if everything matched),
# HC_COMPARE_STEPS (cold-run steps of cases m0..b1, default 4).
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
[ $# -ge 2 ] || { echo "usage: compare-runs.sh BIN_A BIN_B [m0|m1|b0|b1|h ...]" >&2; exit 2; }
BIN_A=$(readlink -f "$1") BIN_B=$(readlink -f "$2")
shift 2
CASES=${*:-m0 m1 b0 b1 h}
PREP=$(readlink -f "${HC_PREP:-build/halocline-prep}")
MPIRUN=${HC_MPIRUN:-mpirun --allow-run-as-root --oversubscribe}
STEPS=${HC_COMPARE_STEPS:-4}
for b in "$BIN_A" "$BIN_B" "$PREP"; do [ -x "$b" ] || { echo "compare-runs: no program $b" >&2; exit 2; }; done
DIR=${HC_COMPARE_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/hc-compare.XXXXXX")}
mkdir -p "$DIR"
export OPENBLAS_NUM_THREADS=1

# Wall-clock figures differ from run to run; everything else must not.
mask() { sed -E 's/solver time = *[-+0-9.E]+sec/solver time = <t>sec/; s/built in *[-+0-9.E]+ s/built in <t> s/' "$1"; }

run_model() { # $1 run directory's work folder, $2 binary
    (cd "$1" && $MPIRUN -np 24 "$2" >stdout.txt 2>&1)
}

compare_dirs() { # $1 label, $2 $3 run directories of A and B (work/ and output/ inside)
    local bad=0 f
    for f in $(cd "$2" && find work/stdout.txt work/data output -type f \( -name '*.nc' -o -name 'glo*' -o -name stdout.txt \) | sort); do
        if [ ! -e "$3/$f" ]; then
            echo "  $1: $f only in A"; bad=1; continue
        fi
        case $f in
            work/stdout.txt | work/data/glo*) cmp -s <(mask "$2/$f") <(mask "$3/$f") ;;
            *) cmp -s "$2/$f" "$3/$f" ;;
        esac || { echo "  $1: $f differs"; bad=1; }
    done
    for f in $(cd "$3" && find work/data output -type f -name '*.nc' | sort); do
        [ -e "$2/$f" ] || { echo "  $1: $f only in B"; bad=1; }
    done
    return $bad
}

fail=0
for cs in $CASES; do
    case $cs in
        m0) opts="--set lsolver=1 --set lfsrf=0 --set mxit=$STEPS" ;;
        m1) opts="--set lsolver=1 --set lfsrf=1 --set mxit=$STEPS" ;;
        b0) opts="--set lsolver=2 --set lfsrf=0 --set mxit=$STEPS" ;;
        b1) opts="--set lsolver=2 --set lfsrf=1 --set mxit=$STEPS" ;;
        h) opts="--short-periods --set lsolver=1 --set lfsrf=0 --set mxit=31" ;;
        *) echo "compare-runs: unknown case $cs" >&2; exit 2 ;;
    esac
    rm -rf "$DIR/$cs"
    mkdir -p "$DIR/$cs"
    # shellcheck disable=SC2086
    "$PREP" --case global --out "$DIR/$cs/A" $opts >/dev/null || { echo "compare-runs: preparation of $cs failed"; exit 1; }
    cp -a "$DIR/$cs/A" "$DIR/$cs/B"
    run_model "$DIR/$cs/A/work" "$BIN_A"
    run_model "$DIR/$cs/B/work" "$BIN_B"
    if compare_dirs "$cs cold" "$DIR/$cs/A" "$DIR/$cs/B"; then
        echo "compare-runs: $cs cold start identical ($(grep -c '^@itf' "$DIR/$cs/A/work/stdout.txt") passes)"
    else
        echo "compare-runs: $cs cold start DIFFERS"; fail=1; continue
    fi
    # The restart: each binary continues from its own restart set, with the
    # configuration the tool writes for a restart of three steps.
    # shellcheck disable=SC2086
    "$PREP" --case global --out "$DIR/$cs/R" $opts --set lrstrt=1 --set mxit=3 >/dev/null ||
        { echo "compare-runs: preparation of the $cs restart failed"; exit 1; }
    for s in A B; do
        cp "$DIR/$cs/R/work/prepglo/data/rundata.nc" "$DIR/$cs/$s/work/prepglo/data/rundata.nc"
        rm -rf "$DIR/$cs/$s/output.cold" && mv "$DIR/$cs/$s/output" "$DIR/$cs/$s/output.cold" && mkdir "$DIR/$cs/$s/output"
    done
    rm -rf "$DIR/$cs/R"
    run_model "$DIR/$cs/A/work" "$BIN_A"
    run_model "$DIR/$cs/B/work" "$BIN_B"
    if compare_dirs "$cs restart" "$DIR/$cs/A" "$DIR/$cs/B"; then
        echo "compare-runs: $cs restart identical"
    else
        echo "compare-runs: $cs restart DIFFERS"; fail=1; continue
    fi
    rm -rf "${DIR:?}/$cs"
done
if [ $fail -eq 0 ]; then
    [ -n "${HC_COMPARE_DIR:-}" ] || rm -rf "$DIR"
    echo "compare-runs: all identical"
else
    echo "compare-runs: differences found (runs kept in $DIR)"
fi
exit $fail
