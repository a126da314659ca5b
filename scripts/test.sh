#!/usr/bin/env bash
# Installs what is missing, builds one preset (default: "default"; "asan" for the
# sanitizers) and runs every test of it. For the default preset it then checks the
# binaries for hardening and exports, builds and checks the two Debian packages, installs,
# uses and purges them where it runs as root (tests/package), and runs the two fuzz targets
# for 60 s each (scripts/fuzz.sh, a build of its own with clang).
set -euo pipefail
preset="${1:-default}"
here="$(cd "$(dirname "$0")" && pwd)"
"$here/setup.sh" test
"$here/build.sh" "$preset"
cd "$here/.."
ctest --preset "$preset" -j "$(nproc)"
# The sanitizer build is not the one that ships.
if [ "$preset" = default ]; then
  "$here/check-hardening.sh" "build/$preset/stage"
  "$here/package.sh" build/default
  tests/package/installed_packages_test.sh build/default/packages
  "$here/fuzz.sh" 60
fi
