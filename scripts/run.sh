#!/usr/bin/env bash
# Installs what is missing, builds, and runs the agent with the plug-ins it finds on the
# built-in guest OS catalogue. Extra arguments go to host-agent.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/setup.sh"
"$here/build.sh" default
exec "$here/../build/default/stage/bin/host-agent" run "$@"
