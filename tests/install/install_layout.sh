#!/bin/sh
# Installs the build into a temporary prefix and checks what a user gets: the files where desktops, software
# centres and man look for them, valid by their own validators, and the installed program running from the
# prefix alone. Usage: install_layout.sh BUILD_DIR SOURCE_DIR APP_ID PRODUCT_NAME
set -eu
build=$1 source=$2 app_id=$3 product=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-install.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
prefix=$work/prefix
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null

# The files, where desktops, software centres and man look for them.
for f in bin/tarnwick share/tarnwick/Help.rtf share/tarnwick/sounds/pop.wav share/tarnwick/demo \
         "share/applications/$app_id.desktop" "share/metainfo/$app_id.metainfo.xml" share/man/man1/tarnwick.1 \
         "share/icons/hicolor/scalable/apps/$app_id.svg"; do
    [ -e "$prefix/$f" ] || fail "$f is not installed"
done
[ ! -e "$prefix/bin/resources" ] || fail "bin/resources is installed: the read-only files belong in share/tarnwick"
# The web engine module, in the program's own folder of the library folder, where the installed program looks.
module=$(find "$prefix/lib" -path '*/tarnwick/tarnwick-webengine.so' 2>/dev/null | head -n1)
[ -n "$module" ] || fail "the web engine module is not installed in lib*/tarnwick"

# The desktop entry: valid, starting the installed program, showing the installed icon.
entry=$prefix/share/applications/$app_id.desktop
validation=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $validation"
echo "$validation" | grep -E 'error|warning' && fail "desktop-file-validate complains about $entry"
value() { sed -n "s/^$1=//p" "$entry"; }
[ "$(value Exec)" = tarnwick ] || fail "Exec is '$(value Exec)', not the installed program tarnwick"
[ "$(value Icon)" = "$app_id" ] || fail "Icon is '$(value Icon)', not $app_id"
[ "$(value Name)" = "$product" ] || fail "Name is '$(value Name)', not $product"
[ "$(value StartupWMClass)" = "$product" ] || fail "StartupWMClass is '$(value StartupWMClass)', not $product"
for key in Categories Keywords Comment; do
    [ -n "$(value "$key")" ] || fail "the desktop entry has no $key"
done

# The icon in every size, each PNG as large as its folder says (width and height at bytes 16-23).
for size in 16 22 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    if [ ! -f "$png" ]; then
        fail "no ${size}x${size} icon"
        continue
    fi
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')
    [ "$dims" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $dims"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg" || fail "the scalable icon is no SVG"

# The AppStream record: valid without the network, naming the entry, and releasing the version --version gives.
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$work/appstream.txt" 2>&1 ||
    { cat "$work/appstream.txt" >&2; fail "appstreamcli validate"; }
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the AppStream record does not launch $app_id.desktop"
# Each screenshot is a file of docs/screenshots.
for shot in $(sed -n 's|.*<image>.*/docs/screenshots/\([^<]*\)</image>.*|\1|p' "$metainfo"); do
    [ -f "$source/docs/screenshots/$shot" ] || fail "the screenshot $shot is not in docs/screenshots"
done
grep -q '<image>' "$metainfo" || fail "the AppStream record shows no screenshot"

# The man page renders without complaint and documents every option that --help lists.
page=$prefix/share/man/man1/tarnwick.1
MANWIDTH=100 man --warnings -l "$page" >"$work/man.txt" 2>"$work/man-warnings.txt" || fail "man -l $page"
[ ! -s "$work/man-warnings.txt" ] || { cat "$work/man-warnings.txt" >&2; fail "man warns about the page"; }
grep -q 'FILES' "$work/man.txt" || fail "the man page has no FILES section"

# The installed program, run from the prefix with the build and source folders hidden under empty
# folders (a mount namespace of its own): whatever it needs must come from the prefix.
cat >"$work/programs.sh" <<INNER
set -eu
cd /
"$prefix/bin/tarnwick" --version >"$work/version.txt"
"$prefix/bin/tarnwick" --help >"$work/help.txt"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/tarnwick" --demo >"$work/demo.txt" 2>"$work/demo-errors.txt"
# The desktop program, its window shown offscreen, loads its web engine module for the banner's page.
# It is let run until QtWebEngine's helper has started, so that it is ended as a user would end it.
QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu \\
    "$prefix/bin/tarnwick" >/dev/null 2>"$work/desktop-errors.txt" &
desktop=\$!
waited=0
until { grep -q "$module" /proc/\$desktop/maps && pgrep -P \$desktop QtWebEngineProc; } >/dev/null 2>&1 ||
    [ \$waited -ge 600 ]; do
    sleep 0.1
    waited=\$((waited + 1))
done
grep -q "$module" /proc/\$desktop/maps || echo "the installed program did not load $module" >"$work/module-missed.txt"
kill -TERM \$desktop
wait \$desktop || echo "the installed desktop program exited with \$?" >>"$work/module-missed.txt"
INNER
# A sanitizer build reads its leak suppressions at exit, when the source folder is hidden: a copy is used.
case "${LSAN_OPTIONS:-}" in
*suppressions=*)
    supp=$(echo "$LSAN_OPTIONS" | tr ':' '\n' | sed -n 's/^suppressions=//p')
    cp "$supp" "$work/lsan.supp"
    LSAN_OPTIONS=$(echo "$LSAN_OPTIONS" | tr ':' '\n' | sed "s#^suppressions=.*#suppressions=$work/lsan.supp#" |
        paste -sd: -)
    export LSAN_OPTIONS
    ;;
esac
# A user who is not root mounts as root of a user namespace, then runs the program as themselves again in a
# nested one: as the namespace's root, the launched Chromium sometimes misses the demo's last click.
namespace="--mount" as_user=""
if [ "$(id -u)" -ne 0 ]; then
    namespace="--mount --map-root-user"
    as_user="unshare --user --map-user=$(id -u) --map-group=$(id -g)"
fi
cat >"$work/hidden.sh" <<INNER
set -eu
mount -t tmpfs tarnwick-hidden "$build"
mount -t tmpfs tarnwick-hidden "$source"
[ ! -e "$build/CMakeCache.txt" ] && [ ! -e "$source/CMakeLists.txt" ]
$as_user sh "$work/programs.sh"
INNER
# shellcheck disable=SC2086
if ! unshare $namespace sh "$work/hidden.sh"; then
    cat "$work/demo-errors.txt" >&2 2>/dev/null || true
    fail "the installed program did not run from the prefix"
fi

if [ -e "$work/module-missed.txt" ]; then
    cat "$work/desktop-errors.txt" >&2
    fail "$(cat "$work/module-missed.txt")"
fi

version=$(sed -n "s/^$product //p" "$work/version.txt")
[ -n "$version" ] || fail "--version printed '$(cat "$work/version.txt")'"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the AppStream record does not release $version"
for option in $(grep -o -- '--[a-z][a-z-]*' "$work/help.txt" | sort -u); do
    grep -q -- "$option" "$work/man.txt" || fail "the man page does not document $option"
done

# The headless demo's five decisions, as the README shows them (any port).
sed -E 's/127\.0\.0\.1:[0-9]+/127.0.0.1:PORT/g' "$work/demo.txt" >"$work/demo-got.txt"
sed -n '/^blocked\t\|^allowed\t/p' "$source/README.md" | sed -E 's/127\.0\.0\.1:[0-9]+/127.0.0.1:PORT/g' \
    >"$work/demo-want.txt"
[ "$(wc -l <"$work/demo-want.txt")" -eq 5 ] || fail "the README does not show five decision lines"
diff "$work/demo-want.txt" "$work/demo-got.txt" >&2 || fail "the installed demo's decisions differ from the README's"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "installed layout under $prefix checked"
