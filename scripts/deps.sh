#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the tools need (only those missing).
# Usage: scripts/deps.sh [extra package ...]
set -euo pipefail

packages=(
  g++ cmake ninja-build ccache pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-speech-dev libgl-dev fonts-dejavu-core
  libplist-dev libexpat1-dev libbz2-dev libzip-dev
  zlib1g-dev libutf8proc-dev
  libnetcdf-dev gmt-gshhg-low
  qt6-declarative-dev qt6-speech-flite-plugin e2fsprogs
  qt6-translations-l10n
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
