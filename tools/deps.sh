#!/bin/sh
# Installs the Debian 12 packages that building, running and testing Tarnwick need, if any are missing.
# Usage: tools/deps.sh [run|test|shots]   (test also brings the browser and tools the tests drive; shots what
# tools/screenshots.sh needs to run the program on a desktop of its own)
set -eu
build="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-websockets-dev qt6-webengine-dev libgl-dev
       libsndfile1-dev libpulse-dev libbenchmark-dev libsqlite3-dev libxcb1-dev libxcb-xtest0-dev libpsl-dev dpkg-dev"
run="chromium fonts-dejavu-core libqt6webenginecore6-bin libpsl5"
# dpkg-dev: dpkg-shlibdeps, which gives the Debian package its Depends. appstream, man-db: the installed
# layout's AppStream record and man page are checked with them.
test="clang libclang-rt-14-dev pulseaudio sox desktop-file-utils libglib2.0-bin xvfb openbox xdotool trayer
      appstream man-db"
# x11-utils: xwininfo, xprop; the accessibility bus and its Python binding find buttons by their names.
shots="xvfb openbox trayer xdotool imagemagick x11-utils dbus-daemon at-spi2-core python3 python3-gi gir1.2-atspi-2.0"
case "${1:-run}" in
    run) want="$build $run" ;;
    test) want="$build $run $test" ;;
    shots) want="$run $shots" ;;
    *) echo "usage: $0 [run|test|shots]" >&2; exit 2 ;;
esac
missing=""
for p in $want; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# shellcheck disable=SC2086
$sudo apt-get install -y -q --no-install-recommends $missing
