#!/usr/bin/env bash
# Installs a built tree with `cmake --install` into a scratch prefix under DESTDIR, then runs
# the installed program: --version, and --headless serving its embedded page on loopback.
#   install.test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
tarn_pid=
cleanup() {
  [ -n "$tarn_pid" ] && kill "$tarn_pid" 2>/dev/null && wait "$tarn_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
app=com.corvane.Tarn
prefix=/opt/tarn-scratch

DESTDIR=$scratch/dest cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" || fail "cmake --install"
root=$scratch/dest$prefix
for f in bin/tarn share/applications/$app.desktop share/metainfo/$app.metainfo.xml \
         share/icons/hicolor/scalable/apps/$app.svg share/man/man1/tarn.1.gz; do
  [ -f "$root/$f" ] || fail "not installed: $f"
done
[ -e "$root/bin/looper-sim" ] && fail "the simulator is installed without being asked for"
DESTDIR=$scratch/sim cmake --install "$build" --prefix "$prefix" --component simulator >/dev/null || fail "simulator component"
[ -x "$scratch/sim$prefix/bin/looper-sim" ] || fail "the simulator component lacks looper-sim"

version=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$root/share/metainfo/$app.metainfo.xml")
[ "$("$root/bin/tarn" --version)" = "tarn $version" ] || fail "installed tarn --version is not $version"

# Headless, in a home of its own: the page comes from the program alone.
home=$scratch/home
mkdir -p "$home"
HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR= \
  "$root/bin/tarn" --headless >"$scratch/out" 2>"$scratch/err" &
tarn_pid=$!
for _ in $(seq 200); do
  grep -q '^http://' "$scratch/out" && break
  kill -0 "$tarn_pid" 2>/dev/null || { cat "$scratch/err"; fail "installed tarn --headless ended"; }
  sleep 0.1
done
address=$(head -n1 "$scratch/out")
[[ $address =~ ^http://127\.0\.0\.1:[0-9]+/index\.html\?token=[0-9A-Fa-f]{64}$ ]] || fail "headless address: $address"
python3 - "$address" <<'PY' || fail "the installed page is not served"
import sys, urllib.request
with urllib.request.urlopen(sys.argv[1], timeout=10) as r:
    body = r.read().decode()
    assert r.status == 200, r.status
    assert '<html' in body.lower() and 'js/lib/native.js' in body, body[:200]
PY
echo "installed under $prefix: ok"
