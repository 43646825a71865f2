#!/usr/bin/env bash
# Installs what is missing (Debian packages, the test tools from npm) and builds Tarn.
#   scripts/setup.sh          build only what running Tarn needs
#   scripts/setup.sh --tests  also the test tools
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

want_tests=0
[ "${1:-}" = "--tests" ] && want_tests=1

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

mapfile -t packages < <(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' scripts/packages.txt | tr -d ' \t')
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  # nodejs from another source may already bring npm: never ask apt for npm separately.
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

if [ $want_tests -eq 1 ] && [ -f tests/e2e/package.json ]; then
  if [ ! -d tests/e2e/node_modules ] || [ tests/e2e/package.json -nt tests/e2e/node_modules ]; then
    (cd tests/e2e && npm install --no-audit --no-fund --loglevel=error)
  fi
fi

# A compiler cache, when the machine has one, makes rebuilds of other checkouts cheap.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build -j"$(nproc)"
