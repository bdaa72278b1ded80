#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need (only what is missing).
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev fonts-liberation2
  clang libclang-rt-dev
  help2man librsvg2-bin gzip file desktop-file-utils appstream man-db dpkg-dev lintian
  zlib1g-dev python3-can tshark
  xvfb xauth xdotool
  openbox x11-utils
  libzip-dev pkg-config sigrok-cli
  libdeflate-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
# tshark asks whether users may capture; the tests only read files.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
