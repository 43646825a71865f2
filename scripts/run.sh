#!/usr/bin/env bash
# Sets up and starts Tarn. Without a display Tarn runs headless and prints the page's address.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
exec "$root/build/tarn" "$@"
