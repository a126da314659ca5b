#!/usr/bin/env bash
# Installs the Debian 12 packages that are missing for one purpose:
#   setup.sh run    building the agent and the plug-in, and running them
#   setup.sh test   all of that, plus what the tests and the benchmarks need (the default)
set -euo pipefail
purpose="${1:-test}"

# dpkg-dev and file: CPack's Debian packages (dpkg-shlibdeps finds their dependencies).
run_packages=(g++ cmake ninja-build pkg-config libboost-dev nlohmann-json3-dev
              libcli11-dev libutf8proc-dev)
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev libexpat1-dev libxml2-utils groff-base clang
               dpkg-dev file)

case "$purpose" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "setup.sh: unknown purpose \"$purpose\" (run or test)" >&2; exit 2 ;;
esac

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
  command -v sudo >/dev/null || { echo "setup.sh: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
