#!/usr/bin/env bash
# Installs what is missing, builds one preset (default: "default"; "asan" for the
# sanitizers) and runs every test of it.
set -euo pipefail
preset="${1:-default}"
here="$(cd "$(dirname "$0")" && pwd)"
"$here/setup.sh" test
"$here/build.sh" "$preset"
cd "$here/.."
ctest --preset "$preset" -j "$(nproc)"
