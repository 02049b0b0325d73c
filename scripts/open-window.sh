#!/usr/bin/env bash
# Installs what is missing, builds, and opens the program's window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh
scripts/build.sh
exec build/bin/KVORAL_ver_QVTR_03_100
