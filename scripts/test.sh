#!/usr/bin/env bash
# Sets up, builds and runs every test (C++ unit tests, page tests, end-to-end tests).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" --tests
cd "$root/build"
# Every test runs once: a test that needs a second run to pass is a fault to find.
# The soak and the USB rig run apart (ctest -L soak, ctest -L usb): see the README.
ctest --output-on-failure --timeout 900 -j2 -LE "soak|usb" "$@"
