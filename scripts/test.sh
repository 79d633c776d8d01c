#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh -DTUNELARK_TESTS=ON
export QT_QPA_PLATFORM=offscreen TUNELARK_AUDIO=virtual
cd build
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
