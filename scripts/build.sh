#!/usr/bin/env bash
# Configures and builds one preset (default: "default") of the project; the preset "run"
# builds only the agent and the plug-in.
set -euo pipefail
preset="${1:-default}"
cd "$(dirname "$0")/.."
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
