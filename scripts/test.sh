#!/bin/sh
# Builds the model with subscript checking and runs every test.
set -e
cd "$(dirname "$0")/.."
BUILD=${HC_BUILD_DIR:-build-check}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DHALOCLINE_BOUNDS_CHECK=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc)"
cd "$BUILD"
ctest --output-on-failure -j "$(nproc)" --timeout 1800
