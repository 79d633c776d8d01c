#!/usr/bin/env bash
# Configures and builds Tunelark (Ninja, RelWithDebInfo) into build/, or into
# the folder BUILD_DIR names.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${BUILD_DIR:-build}"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
