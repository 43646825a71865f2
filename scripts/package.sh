#!/usr/bin/env bash
# Builds Tarn and its Debian package: build/tarn_<version>_amd64.deb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cd build
cpack -G DEB
ls -1 "$root"/build/tarn_*_amd64.deb
