#!/usr/bin/env bash
# Usage: tools/screenshots.sh [PROGRAM]   (PROGRAM: the tarnwick binary, build/tarnwick by default)
# Takes a picture of each of Tarnwick's windows on an X server of its own (Xvfb, openbox, trayer) and writes
# docs/screenshots/{splash,main,prompt,help,about,browser,tray-menu}.png. Installs the Debian packages it needs.
# Windows are found by their captions and controls by their accessible names, never by how they look.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
case "${1:-}" in
    -h | --help)
        sed -n '2,5s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
        exit 0
        ;;
esac
[ $# -le 1 ] || {
    echo "usage: $0 [PROGRAM]" >&2
    exit 2
}
program=${1:-$here/build/tarnwick}
[ -x "$program" ] || {
    echo "$program: no such program (build it first, or name it)" >&2
    exit 2
}
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
out=$here/docs/screenshots

log="" # the program's output, shown when something fails
die() {
    echo "screenshots: $*" >&2
    if [ -n "$log" ] && [ -s "$log" ]; then
        echo "the program said:" >&2
        tail -n 20 "$log" >&2
    fi
    exit 1
}

# --- What the machine lacks -------------------------------------------------------------------------------------
"$here/tools/deps.sh" shots
python=/usr/bin/python3 # Debian's, which has the gi binding
product=$("$program" --version | awk '{ print $1; exit }')
[ -n "$product" ] || die "$program --version names no product"

# --- A home, a desktop and a bus of our own, all gone on exit ----------------------------------------------------
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-shots.XXXXXX")
started=() # process groups, stopped in reverse order
app=""     # the program's process group

stop_group() {
    local group=$1 i
    kill -TERM -- "-$group" 2>/dev/null || return 0
    kill -CONT -- "-$group" 2>/dev/null || true # a program held still for the splash
    for i in $(seq 50); do
        kill -0 -- "-$group" 2>/dev/null || return 0
        [ "$i" -lt 50 ] && sleep 0.1
    done
    kill -KILL -- "-$group" 2>/dev/null || true
}
cleanup() {
    local i
    [ -z "$app" ] || stop_group "$app"
    for ((i = ${#started[@]} - 1; i >= 0; i--)); do
        stop_group "${started[i]}"
    done
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Each in a process group of its own, so that what it starts (a browser, the accessibility bus) goes with it.
# Sets $pid.
start() {
    local log=$1
    shift
    setsid "$@" >"$tmp/$log.log" 2>&1 &
    pid=$!
}

mkdir -p "$tmp"/{home,config,data,cache,runtime,site,shots}
chmod 700 "$tmp/runtime"
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data XDG_CACHE_HOME=$tmp/cache \
    XDG_RUNTIME_DIR=$tmp/runtime QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export QTWEBENGINE_CHROMIUM_FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}
unset WAYLAND_DISPLAY SESSION_MANAGER

# Runs a command every tenth of a second until it succeeds or the seconds are up; its output is left in $found.
found=""
poll() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    while :; do
        found=$("$@" 2>/dev/null) && return 0
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# The server takes the first free display itself and writes its number once it accepts clients; -noreset, or it
# starts afresh whenever its last client leaves and turns away the next one meanwhile.
start xvfb Xvfb -displayfd 3 -noreset -screen 0 1280x800x24 -nolisten tcp 3>"$tmp/display"
started+=("$pid")
poll 10 grep -m1 -x '[0-9][0-9]*' "$tmp/display" || die "Xvfb did not start: $(cat "$tmp/xvfb.log")"
export DISPLAY=:$found
poll 10 xdpyinfo || die "cannot connect to Xvfb on $DISPLAY: $(cat "$tmp/xvfb.log")"

start dbus dbus-daemon --session --nofork --print-address=1
started+=("$pid")
poll 10 grep -m1 . "$tmp/dbus.log" || die "the session bus did not start"
export DBUS_SESSION_BUS_ADDRESS=$found

start openbox openbox --sm-disable
started+=("$pid")
poll 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    die "openbox did not start: $(cat "$tmp/openbox.log")"
# It names itself before its event loop runs: a window mapped in between may be dropped.
sleep 1
start trayer trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    --SetPartialStrut true
started+=("$pid")
poll 10 xdotool search --onlyvisible --class '^trayer$' || die "trayer did not start: $(cat "$tmp/trayer.log")"

# --- The pages: one for the built-in browser, one that opens a popup when go.txt appears --------------------------
cat >"$tmp/site/index.html" <<'EOF'
<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>A page on this computer</title>
<style>body { font: 16px/1.5 "DejaVu Sans", Verdana, sans-serif; margin: 24px; color: #222; }</style></head>
<body><h1>A page on this computer</h1>
<p>The built-in browser window shows any page, here one served on 127.0.0.1.</p></body></html>
EOF
cat >"$tmp/site/opener.html" <<'EOF'
<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>A page that opens a popup</title></head>
<body><h1>A page that opens a popup</h1>
<script>
  const timer = setInterval(async () => {
    const reply = await fetch('/go.txt?' + Date.now());
    if (reply.ok) {
      clearInterval(timer);
      window.open('/popup.html');
    }
  }, 200);
</script></body></html>
EOF
printf '<!doctype html><title>popup</title><p>popup</p>\n' >"$tmp/site/popup.html"
start http "$python" -u -m http.server 0 --bind 127.0.0.1 --directory "$tmp/site"
started+=("$pid")
poll 10 sh -c "grep -o 'port [0-9]*' '$tmp/http.log' | grep -o '[0-9]*'" || die "the page server did not start"
site=http://127.0.0.1:$found

# --- Finding windows and controls -------------------------------------------------------------------------------
# A visible window of the program whose caption matches the pattern.
window() {
    local id
    for id in $(xdotool search --onlyvisible --name "$1"); do
        xprop -id "$id" WM_CLASS | grep -q "\"$product\"\$" && echo "$id" && return 0
    done
    return 1
}
viewable() {
    xwininfo -id "$1" | grep -q 'Map State: IsViewable'
}
# Prints "X Y NAME" (X Y: its centre on the screen) of a control shown in the program's window with this caption:
# role as the accessibility bus names it ("push button", "menu item", "text"), and a pattern for its name.
cat >"$tmp/control.py" <<'EOF'
import re, sys
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi

product, caption, role, pattern = sys.argv[1:5]

def find(node):
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is None:
            continue
        if child.get_role_name() == role and re.search(pattern, child.get_name() or ""):
            box = child.get_extents(Atspi.CoordType.SCREEN)
            if box.width > 0 and box.height > 0:
                return child, box
        hit = find(child)
        if hit:
            return hit
    return None

desktop = Atspi.get_desktop(0)
for i in range(desktop.get_child_count()):
    application = desktop.get_child_at_index(i)
    if application is None or application.get_name() != product:
        continue
    for j in range(application.get_child_count()):
        window = application.get_child_at_index(j)
        if window is not None and window.get_name() == caption:
            hit = find(window)
            if hit:
                child, box = hit
                print(box.x + box.width // 2, box.y + box.height // 2, child.get_name())
                sys.exit(0)
sys.exit(1)
EOF
# The same for the window with this id, under the caption it has now (a page's title, in the browser window).
control() {
    "$python" "$tmp/control.py" "$product" "$(xdotool getwindowname "$1")" "$2" "$3"
}
# Clicks a control found as control() finds it, over its window brought to the front.
click() {
    xdotool windowactivate --sync "$1" 2>/dev/null || true
    poll 10 control "$@" || die "no $2 \"$3\" in the window \"$(xdotool getwindowname "$1")\""
    read -r x y _ <<<"$found"
    xdotool mousemove "$x" "$y" click 1
}
# Ends a window of the program as its close button would.
close_window() {
    xdotool windowactivate --sync "$1" 2>/dev/null || true
    [ "$(xdotool getactivewindow)" = "$1" ] || die "cannot bring the window $1 to the front to close it"
    xdotool key --clearmodifiers alt+F4
    local end=$((SECONDS + 10))
    while viewable "$1" 2>/dev/null; do
        [ "$SECONDS" -lt "$end" ] || die "the window $1 did not close"
        sleep 0.1
    done
}
# Saves the window (with its frame, where the window manager gives it one) as NAME.png; a picture of one colour
# is a window not drawn yet, or one hidden behind another.
capture() {
    local file=$tmp/shots/$1.png
    import -silent -frame -window "$2" "$file" 2>/dev/null || return 1
    [ "$(identify -format '%k' "$file")" -gt 1 ] || return 1
}
# The same for a window brought to the front first, with the pointer out of its way: the window manager may have
# put another one over it in the meantime, so each look brings it to the front again.
front_capture() {
    xdotool windowactivate --sync "$2" >/dev/null 2>&1 || true
    sleep 0.3
    [ "$(xdotool getactivewindow)" = "$2" ] && capture "$1" "$2"
}
capture_front() {
    xdotool mousemove 0 799
    sleep 1
    poll 15 front_capture "$1" "$2" || die "the $1 window could not be captured"
}

# --- The program ------------------------------------------------------------------------------------------------
mkdir -p "$XDG_CONFIG_HOME/$product"
# Setup mode, so that a popup from a site on neither list asks; help only when asked for, so it hides nothing.
printf '[Settings]\nchkAuto=1\nshowHelp=0\n' >"$XDG_CONFIG_HOME/$product/$product.ini"

# The splash shows for about 150 ms: caught the moment it is on screen, and the program held still while it is
# taken. A start that misses it is tried again.
splash=""
for try in 1 2 3 4 5; do
    start "tarnwick-$try" "$program" --launch --open "$site/opener.html"
    app=$pid
    log=$tmp/tarnwick-$try.log
    end=$((SECONDS + 30))
    seen=" "
    missed=""
    while [ -z "$splash$missed" ] && [ "$SECONDS" -lt "$end" ] && kill -0 "$app" 2>/dev/null; do
        for id in $(xdotool search --onlyvisible --class "^$product\$" 2>/dev/null || true); do
            case "$seen" in *" $id "*) continue ;; esac
            seen="$seen$id "
            # Its name is in _NET_WM_NAME alone, which xdotool's name search does not read.
            if xprop -id "$id" _NET_WM_NAME _NET_WM_WINDOW_TYPE 2>/dev/null | tr '\n' ' ' |
                grep -q "= \"$product\" .*_NET_WM_WINDOW_TYPE_SPLASH"; then
                # Mapped may not be drawn yet: a few looks while it stays on screen.
                for _ in 1 2 3; do
                    sleep 0.03
                    kill -STOP "$app"
                    viewable "$id" && capture splash "$id" && splash=$id
                    kill -CONT "$app"
                    [ -z "$splash" ] || break
                done
            fi
            # The splash is the program's first window: after any other, it is too late.
            [ -n "$splash" ] || missed=$id
            break
        done
        sleep 0.01
    done
    [ -n "$splash" ] && break
    stop_group "$app"
    app=""
    printf '[Settings]\nchkAuto=1\nshowHelp=0\n' >"$XDG_CONFIG_HOME/$product/$product.ini"
done
[ -n "$splash" ] || die "the splash window could not be captured (5 starts)"
[ "$try" -eq 1 ] || echo "the splash window was caught on start $try" >&2

poll 60 window "^$product by " || die "the main window did not show"
main=$found
# The launched browser's window comes up, and to the front, on its own time: once it shows the page it is
# minimized, so that it covers nothing. Its page goes on asking for go.txt.
poll 60 xdotool search --onlyvisible --name '^A page that opens a popup' ||
    die "the browser did not show the page $site/opener.html"
sleep 1
for id in $(xdotool search --onlyvisible --class '^Chromium'); do
    xdotool windowminimize "$id" || true
done
poll 30 control "$main" "push button" . || die "the main window's controls are not on the accessibility bus"
capture_front main "$main"

# The tray menu: a click on the icon docked in trayer.
icon_in_tray() {
    local panel
    for panel in $(xdotool search --class '^trayer$'); do
        xwininfo -tree -id "$panel" | grep -o -m1 "0x[0-9a-f]* \"[^\"]*\": (\"[^\"]*\" \"$product\")" | cut -d' ' -f1
    done | head -n1 | grep .
}
# A menu of the program on screen: a window of its own the window manager does not frame, not a tooltip, not
# the icon.
menu_window() {
    local id
    for id in $(xdotool search --onlyvisible --class "^$product\$"); do
        [ "$id" -ne "$(($1))" ] || continue
        xwininfo -id "$id" | grep -q 'Override Redirect State: yes' || continue
        xprop -id "$id" _NET_WM_WINDOW_TYPE | grep -q TOOLTIP && continue
        echo "$id"
        return 0
    done
    return 1
}
poll 30 icon_in_tray || die "the tray icon did not dock in trayer"
icon=$found
read -r w h < <(xwininfo -id "$icon" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')
# A click that comes while the icon is still being docked opens nothing: then another.
menu=""
for _ in 1 2 3; do
    xdotool mousemove --window "$icon" $((w / 2)) $((h / 2)) click 1
    poll 5 menu_window "$icon" && menu=$found && break
done
[ -n "$menu" ] || die "the tray-menu window did not show"
sleep 0.5
poll 10 capture tray-menu "$menu" || die "the tray-menu window could not be captured"
xdotool key Escape

# Help and About, through the main window's menus.
click "$main" "menu item" '^Help$'
click "$main" "menu item" '^View Help$'
poll 30 window '^Readme/Help$' || die "the help window did not show"
help=$found
capture_front help "$help"
close_window "$help"

click "$main" "menu item" '^About$'
click "$main" "menu item" '^About this software$'
poll 30 window "^About $product\$" || die "the about window did not show"
about=$found
capture_front about "$about"
close_window "$about"

# The built-in browser: the Visit button, then a page of ours typed into its address box.
click "$main" "push button" '^Visit '
read -r _ _ visit <<<"$found"
website=${visit#Visit }
poll 30 window "$(printf '%s' "$website" | sed 's/[].[^$*+?(){}|\\]/\\&/g')" || die "the browser window did not show"
browser=$found
click "$browser" text .
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 "$site/index.html"
xdotool key Return
poll 30 sh -c "[ \"\$(xdotool getwindowname $browser)\" = 'A page on this computer' ]" ||
    die "the browser window did not show the page (its caption: $(xdotool getwindowname "$browser"))"
capture_front browser "$browser"
close_window "$browser"

# The prompt: the page in the launched browser opens its popup now.
echo go >"$tmp/site/go.txt"
poll 60 window '^Popup Detected!$' || die "the prompt window did not show"
capture_front prompt "$found"

mkdir -p "$out"
for name in splash main prompt help about browser tray-menu; do
    [ -s "$tmp/shots/$name.png" ] || die "the $name window was not captured"
done
for name in splash main prompt help about browser tray-menu; do
    cp "$tmp/shots/$name.png" "$out/$name.png"
    echo "$out/$name.png: $(identify -format '%wx%h' "$out/$name.png")"
done
