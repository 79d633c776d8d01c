#!/usr/bin/env bash
# Configures and builds Tunelark (Ninja, RelWithDebInfo) into build/, or into
# the folder BUILD_DIR names. BUILD_TARGETS (space-separated) builds only
# those targets and what they need.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${BUILD_DIR:-build}"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
targets=()
[[ -n "${BUILD_TARGETS:-}" ]] && read -ra targets <<< "$BUILD_TARGETS"
cmake --build "$dir" --parallel "$(nproc)" ${targets[@]+--target "${targets[@]}"}
