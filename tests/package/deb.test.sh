#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks it with Debian's own tools:
# its file list, lintian (no errors), the desktop entry, the AppStream metadata, the manual
# page, and that the package, the metadata and the program agree on the version.
#   deb.test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
app=com.corvane.Tarn

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack"; }
debs=("$scratch"/tarn_*_amd64.deb)
[ -f "${debs[0]}" ] || fail "no tarn_<version>_amd64.deb in the package folder"
deb=${debs[0]}

# The files a desktop program installs, and nothing for tests.
dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$scratch/contents"
for f in /usr/bin/tarn \
         /usr/share/applications/$app.desktop \
         /usr/share/metainfo/$app.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/$app.svg \
         /usr/share/icons/hicolor/48x48/apps/$app.png \
         /usr/share/icons/hicolor/128x128/apps/$app.png \
         /usr/share/icons/hicolor/256x256/apps/$app.png \
         /usr/share/man/man1/tarn.1.gz \
         /usr/share/doc/tarn/copyright /usr/share/doc/tarn/changelog.gz; do
  grep -qx "$f" "$scratch/contents" || fail "the package lacks $f"
done
grep -q 'looper-sim' "$scratch/contents" && fail "the package carries the test simulator"

# The dependencies come from the program's shared libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libwebkit2gtk-4.1-0 libavcodec libcurl4 libc6; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Section)" = sound ] || fail "section"

# lintian: errors fail the test, warnings are shown.
lintian --tag-display-limit 0 "$deb" >"$scratch/lintian" 2>/dev/null || true
cat "$scratch/lintian"
grep -q '^E: ' "$scratch/lintian" && fail "lintian reports errors"

# The installed files, validated where they are installed.
root=$scratch/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$app.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" || fail "appstreamcli validate"
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/tarn.1.gz" >"$scratch/man.txt" 2>"$scratch/man.err" || fail "man -l"
[ -s "$scratch/man.err" ] && { cat "$scratch/man.err"; fail "the manual page renders with warnings"; }
grep -q -- '--headless' "$scratch/man.txt" || fail "the manual page lacks the options"

# One version: the package's, the metadata's release, the program's own.
version=$(dpkg-deb -f "$deb" Version)
[[ $deb == *"tarn_${version}_amd64.deb" ]] || fail "file name $deb for version $version"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$app.metainfo.xml" || fail "metainfo release is not $version"
[ "$("$root/usr/bin/tarn" --version)" = "tarn $version" ] || fail "tarn --version is not $version"
# The window groups with the entry: StartupWMClass is the application id, as the icon.
grep -qx "StartupWMClass=$app" "$root/usr/share/applications/$app.desktop" || fail "StartupWMClass"
grep -qx "Icon=$app" "$root/usr/share/applications/$app.desktop" || fail "Icon"
echo "package $deb: ok"
