#!/usr/bin/env bash
# Registers the built component and starts the Control Center, on a virtual display when there is none.
set -euo pipefail
build=${1:-build}

"$build/src/tools/tessaly-reg" register-component
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found: running the Control Center on a virtual display (xvfb-run)."
  exec xvfb-run -a "$build/src/app/tessaly-control-center" "${@:2}"
fi
exec "$build/src/app/tessaly-control-center" "${@:2}"
