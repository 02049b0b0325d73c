#!/usr/bin/env bash
# Makes the pictures the README shows, docs/first_study.png,
# docs/averaged_loop.png and docs/mean_loop.png, by running its studies
# with the build in BUILD_DIR (default build/, as scripts/build.sh makes it).
# Their tables go to a scratch folder; nothing else in the tree is touched.
# Usage: scripts/make-pictures.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j"$(nproc)" --target ebsim ebsim_python
work=$(mktemp -d "${TMPDIR:-/tmp}/make-pictures.XXXXXX")
trap 'rm -rf "$work"' EXIT
ebsim=$build/bin/ebsim

"$ebsim" sweep --seed-ms 0 --dilution 0:0.2:0.02 --realizations 100 \
  --out "$work/dilution_runs.csv" --summary "$work/dilution_summary.csv"
gnuplot -e "summary='$work/dilution_summary.csv'; picture='docs/first_study.png'" docs/first_study.gp

"$ebsim" sweep --seed-ms 0 --dilution 0:0.2:0.05 --realizations 100 \
  --out "$work/loop_runs.csv" --loop-mean "$work/loop_mean.csv"
gnuplot -e "means='$work/loop_mean.csv'; picture='docs/averaged_loop.png'" docs/averaged_loop.gp

PYTHONPATH=$build/python /usr/bin/python3 docs/mean_loop.py docs/mean_loop.png
ls -l docs/*.png
