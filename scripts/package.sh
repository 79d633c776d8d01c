#!/usr/bin/env bash
# Builds the program and its Debian package (build/tunelark_<version>_amd64.deb).
# Install it with: apt-get install ./build/tunelark_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd build
cpack -G DEB
ls -1 "$PWD"/tunelark_*.deb
