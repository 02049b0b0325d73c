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

# The study files write into study/ of the folder they run in.
mkdir "$work/study"
for study in first_study averaged_loop; do
  (cd "$work" && "$OLDPWD/$ebsim" study "$OLDPWD/docs/$study.toml")
done
gnuplot -e "summary='$work/study/dilution_summary.csv'; picture='docs/first_study.png'" docs/first_study.gp
gnuplot -e "means='$work/study/loop_mean.csv'; picture='docs/averaged_loop.png'" docs/averaged_loop.gp

PYTHONPATH=$build/python /usr/bin/python3 docs/mean_loop.py docs/mean_loop.png
PYTHONPATH=$build/python /usr/bin/python3 docs/other_dynamics.py docs
PYTHONPATH=$build/python /usr/bin/python3 docs/avalanche_sizes.py docs
ls -l docs/*.png
