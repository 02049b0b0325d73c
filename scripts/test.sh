#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless:
# the unit and window tests, the window program under Xvfb, the Debian
# package made from build/ (tests/package/), the unit tests again under the
# address and undefined-behaviour sanitizers, and a short bounded fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen

scripts/install-dependencies.sh

echo "== build and test"
scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"

echo "== unit tests under sanitizers"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DEB_SANITIZE=ON -DEB_WINDOW=OFF -DEB_BENCH=OFF
cmake --build build-sanitize -j"$(nproc)" --target unit_tests
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 build-sanitize/bin/unit_tests --gtest_brief=1

echo "== fuzzing"
scripts/fuzz-numeric-fields.sh

echo "All tests passed."
