#!/usr/bin/env bash
# Builds the numeric-field fuzzer with clang in build-fuzz/ and runs it for a
# bounded time on a working copy of the seed corpus. Exits non-zero when the
# build fails or the fuzzer finds a crash or a mismatch.
#
#   FUZZ_SECONDS=60 scripts/fuzz-numeric-fields.sh
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${root}/build-fuzz"
seconds="${FUZZ_SECONDS:-20}"

CXX=clang++ cmake -S "${root}" -B "${build}" \
  -DCMAKE_CXX_COMPILER=clang++ -DEB_FUZZ=ON -DEB_WINDOW=OFF -DEB_BENCH=OFF
cmake --build "${build}" --target numeric_fields_fuzzer -j2

# The fuzzer adds what it finds to its corpus: keep that out of the sources.
corpus="${build}/corpus/numeric_fields"
mkdir -p "${corpus}"
cp "${root}"/fuzz/corpus/* "${corpus}/"

"${build}/bin/numeric_fields_fuzzer" \
  -max_total_time="${seconds}" -max_len=64 -print_final_stats=1 \
  -artifact_prefix="${build}/" "${corpus}"
