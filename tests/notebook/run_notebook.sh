#!/usr/bin/env bash
# Executes a notebook in a scratch folder of its own, as a reader would run
# it from the top: every cell, stopping at the first that raises.
# Usage: run_notebook.sh JUPYTER_NBCONVERT NOTEBOOK
set -euo pipefail
nbconvert=$1 notebook=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The kernel runs in the notebook's folder: a copy's, so that what it
# writes stays in the scratch folder.
cp "$notebook" "$scratch/notebook.ipynb"
cd "$scratch"
"$nbconvert" --to notebook --execute --ExecutePreprocessor.timeout=600 notebook.ipynb --output executed.ipynb
echo "$(basename "$notebook"): every cell ran"
