#!/bin/sh
# Builds the model and runs every test, in the build users run and under
# subscript checking, then checks that an unoptimized build gives results
# bit-identical to the optimized one.
#   build/        optimized (the build of README's example and the benchmark)
#   build-check/  optimized with every subscript checked against its bounds
#   build-O0/     unoptimized, compared with build/ on short global cases
# HC_TEST_BUILDS limits the suites run (default "build build-check"),
# HC_SKIP_COMPARE=1 skips the comparison.
set -e
cd "$(dirname "$0")/.."
JOBS=$(nproc)
export OPENBLAS_NUM_THREADS=1
for BUILD in ${HC_TEST_BUILDS:-build build-check}; do
    case $BUILD in
        build-check) CHECK=ON ;;
        *) CHECK=OFF ;;
    esac
    echo "test: suite in $BUILD (subscript checking $CHECK)"
    cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DHALOCLINE_BOUNDS_CHECK=$CHECK >/dev/null
    cmake --build "$BUILD" -j "$JOBS"
    (cd "$BUILD" && ctest --output-on-failure -j "$JOBS" --timeout 1800)
done
if [ "${HC_SKIP_COMPARE:-0}" != 1 ]; then
    echo "test: optimized and unoptimized builds on the short global cases"
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DHALOCLINE_BOUNDS_CHECK=OFF >/dev/null
    cmake --build build -j "$JOBS" --target halocline halocline-prep
    cmake -S . -B build-O0 -DCMAKE_BUILD_TYPE=Debug -DHALOCLINE_BOUNDS_CHECK=OFF -DHALOCLINE_TESTS=OFF >/dev/null
    cmake --build build-O0 -j "$JOBS" --target halocline
    HC_PREP=build/halocline-prep bash scripts/compare-runs.sh build/halocline build-O0/halocline
fi
