#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, if any is missing.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libboost-dev libpugixml-dev nlohmann-json3-dev
          libcli11-dev libutf8proc-dev libgtest-dev libgmock-dev libbenchmark-dev libxml2-utils groff-base clang)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
