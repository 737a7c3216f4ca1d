#!/usr/bin/env bash
# Installs every Debian package Lumatrim needs to build, run and test.
# Idempotent: running it again only re-checks the packages.
# With --bench it also installs the programs the comparison benchmarks time.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libjpeg62-turbo-dev libpng-dev libtiff-dev libgif-dev zlib1g-dev libdeflate-dev
  libheif-dev libwebp-dev libjxl-dev libexif-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation2 xdg-utils python3
  desktop-file-utils appstream xvfb xauth
)
bench_packages=(libjpeg-turbo-progs imagemagick graphicsmagick libvips-tools hyperfine time)

if [[ "${1:-}" == "--bench" ]]; then
  packages+=("${bench_packages[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
