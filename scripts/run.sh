#!/usr/bin/env bash
# Installs what is missing, builds only the agent and the plug-in, and runs the agent with
# the plug-ins it finds on the built-in guest OS catalogue. Extra arguments go to host-agent.
# Everything but the agent's own output goes to standard error.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/setup.sh" run >&2
# The preset "run" builds in its own folder (build/run), without tests and benchmarks, so
# the test command's build keeps everything.
"$here/build.sh" run >&2
exec "$here/../build/run/stage/bin/host-agent" run "$@"
