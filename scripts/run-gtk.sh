#!/usr/bin/env bash
# Builds webgame-shell for Linux into build/gtk and starts it from there, with
# its yxq.ini beside it.
#
# The first run writes a yxq.ini naming the demo game in demo/, so that there
# is a game on screen. Without a display (no DISPLAY) the program runs on a
# virtual screen (Xvfb, with openbox so that the window has a frame): the
# script waits until the page has been painted, saves a screenshot to the
# path it prints, and closes the window the ordinary way, so that the window's
# place and size are saved in yxq.ini.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh gtk
build=build/gtk
cmake -S . -B "$build" -DWGS_GTK=ON -DWGS_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target webgame-shell
exe="$root/$build/webgame-shell"
ini="$root/$build/yxq.ini"

# A file: address for a path, every byte outside the unreserved set escaped,
# so that the address is plain ASCII whatever the folder is called.
file_url() {
    local path=$1 out="" c i
    local LC_ALL=C
    for ((i = 0; i < ${#path}; i++)); do
        c=${path:i:1}
        case "$c" in
            [A-Za-z0-9/._~-]) out+=$c ;;
            *) out+=$(printf '%%%02X' "'$c") ;;
        esac
    done
    printf 'file://%s' "$out"
}

if [ ! -e "$ini" ]; then
    # yxq.ini is GBK with CR LF line ends, as the program writes it.
    printf '[请勿随便修改此配置文件]\r\n名称=接星星\r\n地址=%s\r\n' "$(file_url "$root/demo/index.html")" |
        iconv -f UTF-8 -t GBK >"$ini"
    echo "run.sh: wrote $ini for the demo game"
fi

if [ -n "${DISPLAY:-}" ]; then
    exec "$exe"
fi

# ---- no display: a virtual screen, a screenshot, an ordinary close ----
cleanup() {
    [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null
    [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null
    wait 2>/dev/null || true
}
trap cleanup EXIT

for n in $(seq 90 150); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
export DISPLAY=":$n"
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
x_pid=$!
for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done
openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 0.5

echo "run.sh: no display; running on the virtual screen $DISPLAY"
"$exe" &
app_pid=$!
win=""
for _ in $(seq 150); do
    win=$(xdotool search --onlyvisible --name 'V1\.3$' 2>/dev/null | head -1 || true)
    [ -n "$win" ] && break
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$win" ]; then
    echo "run.sh: the window did not appear" >&2
    kill "$app_pid" 2>/dev/null || true
    exit 1
fi

# Painted: the middle of the page is no longer the engine's blank white and
# has stayed the same for half a second (the demo game paints dark blue).
pixel() {
    eval "$(xwininfo -id "$win" | awk '/Absolute upper-left X/{print "x="$4} /Absolute upper-left Y/{print "y="$4}
        /Width:/{print "w="$2} /Height:/{print "h="$2}')"
    import -window root -crop "1x1+$((x + w / 2))+$((y + h / 2))" -depth 8 txt:- 2>/dev/null |
        grep -o '#[0-9A-Fa-f]\{6\}' | head -1
}
last="" same=0
for _ in $(seq 150); do
    now=$(pixel || true)
    if [ -n "$now" ] && [ "$now" != "#FFFFFF" ] && [ "$now" = "$last" ]; then
        same=$((same + 1))
        [ "$same" -ge 5 ] && break
    else
        same=0
    fi
    last=$now
    sleep 0.1
done

shot="$root/$build/screenshot.png"
import -window root "$shot"
echo "run.sh: screenshot saved to $shot"

# Closed the ordinary way: the window manager's close (Alt+F4 in openbox).
xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true
xdotool key --clearmodifiers alt+F4
status=0
wait "$app_pid" || status=$?
echo "run.sh: webgame-shell exited with $status; its place and size are in $ini"
exit "$status"
