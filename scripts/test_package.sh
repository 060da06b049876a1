#!/usr/bin/env bash
# Builds the Debian package from a configured build directory and checks it as a user would meet
# it: the file name, the files it holds, its dependencies, the desktop entry and AppStream
# metainfo, the man page, installation with apt-get, the installed program, and removal.
# Usage: scripts/test_package.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

fail() { echo "test_package: $*" >&2; exit 1; }

if dpkg-query -W -f='${Status}' kest 2>/dev/null | grep -q 'install ok installed'; then
    fail "a kest package is installed on this machine already; remove it first (apt-get remove kest)"
fi

rm -f "$BUILD_DIR"/kest_*.deb
# Only what the package holds needs to be current (the package target would build the tests too).
{ cmake --build "$BUILD_DIR" --target kest kest_man && (cd "$BUILD_DIR" && cpack -G DEB); } \
    >"$BUILD_DIR/package.log" 2>&1 || { cat "$BUILD_DIR/package.log" >&2; fail "the package did not build"; }
shopt -s nullglob
debs=("$BUILD_DIR"/kest_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one kest_*.deb in $BUILD_DIR, found ${#debs[@]}"
deb="${debs[0]}"
arch="$(dpkg --print-architecture)"
[[ "$(basename "$deb")" =~ ^kest_[0-9][0-9.]*_${arch}\.deb$ ]] || fail "unexpected name $deb"

contents="$(dpkg-deb --contents "$deb" | awk '{print $6}')"
expected=(
    ./usr/bin/kest
    ./usr/share/doc/kest/manual.html
    ./usr/share/doc/kest/copyright
    ./usr/share/doc/kest/images/kest_logging.png
    ./usr/share/man/man1/kest.1.gz
    ./usr/share/applications/org.kest.Kest.desktop
    ./usr/share/metainfo/org.kest.Kest.metainfo.xml
    ./usr/share/icons/hicolor/scalable/apps/org.kest.Kest.svg
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/org.kest.Kest.png")
done
for f in "${expected[@]}"; do
    grep -qxF "$f" <<<"$contents" || fail "$f is missing from the package"
done
if grep -E -q '/(test_|bench_|kest_sim)' <<<"$contents"; then
    fail "the package holds test or development programs"
fi

# Libraries found by dpkg-shlibdeps, and the font the Japanese interface needs.
depends="$(dpkg-deb -f "$deb" Depends)"
for dep in libc6 libqt6core6 libqt6widgets6 libqt6serialport6 fonts-noto-cjk; do
    grep -q "\b$dep\b" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
desktop-file-validate "$tree/usr/share/applications/org.kest.Kest.desktop"
grep -qx 'Exec=kest %f' "$tree/usr/share/applications/org.kest.Kest.desktop" || fail "Exec line"
grep -qx 'MimeType=text/csv;' "$tree/usr/share/applications/org.kest.Kest.desktop" \
    || fail "MimeType line"
appstreamcli validate --no-net "$tree/usr/share/metainfo/org.kest.Kest.metainfo.xml"
manwarn="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$tree/usr/share/man/man1/kest.1.gz" 2>&1 >/dev/null)"
[ -z "$manwarn" ] || fail "man page warnings: $manwarn"

# Install, use and remove the package.
trap 'rm -rf "$tree"; $SUDO apt-get remove -y kest >/dev/null 2>&1 || true' EXIT
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q -o DPkg::Lock::Timeout=300 --no-install-recommends "./$deb"
version="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/kest --version)"
[ "$version" = "kest $(dpkg-deb -f "$deb" Version)" ] || fail "kest --version said '$version'"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_CONFIG_HOME HOME="$tree" /usr/bin/kest --list-ports \
    | grep -q "^Profile: $tree/.config/kest/kest.INI$" \
    || fail "the installed program does not use the per-user profile"
[ -f /usr/share/doc/kest/manual.html ] || fail "manual not installed"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -q -o DPkg::Lock::Timeout=300 kest
[ ! -e /usr/bin/kest ] || fail "/usr/bin/kest is still there after removal"
echo "Package $(basename "$deb") built, checked, installed, run and removed."
