#!/usr/bin/env bash
# Builds the Debian package: a Release build in build-package/ (no tests or
# benchmarks), then CPack. The .deb lands in build-package/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DEB_TESTS=OFF -DEB_MPI=OFF
cmake --build build-package -j"$(nproc)"
(cd build-package && cpack)
ls build-package/*.deb
