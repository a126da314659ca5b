#!/usr/bin/env bash
# Installs what is missing, builds one preset (default: "default"; "asan" for the
# sanitizers) and runs every test of it. For the default preset it then builds the two
# Debian packages and checks their contents (scripts/package.sh).
set -euo pipefail
preset="${1:-default}"
here="$(cd "$(dirname "$0")" && pwd)"
"$here/setup.sh"
"$here/build.sh" "$preset"
cd "$here/.."
ctest --preset "$preset" -j "$(nproc)"
if [ "$preset" = default ]; then
  "$here/package.sh" build/default
fi
