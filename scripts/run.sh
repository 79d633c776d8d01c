#!/usr/bin/env bash
# Builds and starts Tunelark. Without a display it says how to start it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: start Tunelark under one, e.g. xvfb-run -a -s \"-screen 0 1024x768x24\" $PWD/build/app/tunelark" >&2
  exit 1
fi
exec build/app/tunelark "$@"
