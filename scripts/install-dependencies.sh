#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, if missing.
set -euo pipefail

packages=(
  g++ make cmake pkg-config git
  libcli11-dev nlohmann-json3-dev
  qt6-base-dev libgl-dev libx11-dev libxcb1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  fonts-wine fonts-dejavu-core
  gnuplot-nox
  xvfb python3-xlib
  pybind11-dev python3-dev python3-numpy python3-pytest python3-matplotlib
  python3-pandas python3-xarray python3-tqdm jupyter-nbconvert python3-ipykernel
  libtomlplusplus-dev
  help2man dpkg-dev lintian desktop-file-utils man-db
  libopenmpi-dev openmpi-bin
  libhdf5-dev python3-h5py python3-xarray python3-h5netcdf
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
