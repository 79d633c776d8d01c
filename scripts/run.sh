#!/usr/bin/env bash
# Builds and starts Tunelark. Without a display it runs the main job on the
# virtual sound card instead (scripts/demo.sh: a 10-second take with the
# demo accompaniment, saved as WAV and MP3) and says how to start the window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: running the main job without a window."
  bash scripts/demo.sh build 10
  echo "To start the window, run it under a display, e.g.: xvfb-run -a -s \"-screen 0 1024x768x24\" $PWD/build/app/tunelark"
  exit 0
fi
exec build/app/tunelark "$@"
