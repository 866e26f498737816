#!/usr/bin/env bash
# Smoke test of webgame-shell.exe under Wine, run by tests/suites/win32.sh
# with DISPLAY, WINEPREFIX and the Wine variables set:
#   smoke_test.sh EXE WINE-LOADER WORK-DIR
#
# Wine has no HTML engine here (no Gecko in the prefix, no network), so the
# browser pane shows nothing: this test proves the wiring (window, caption,
# menu keys, the settings window, the configuration file, the close box and
# the exit code), not the rendering of pages.
#
# The program starts from a fresh folder whose name holds Chinese characters
# and a blank, and Wine runs in the machine's own locale (normally not code
# page 936): the caption must still read back as the right characters,
# because the program converts its GBK texts naming code page 936 itself.
set -euo pipefail
exe=$1
wine_loader=$2
work=$3

fail() {
    echo "smoke test: $*" >&2
    exit 1
}

# The X window (a Wine top-level) whose _NET_WM_NAME is exactly $1, or nothing.
find_window() {
    local id
    for id in $(xdotool search --name . 2>/dev/null); do
        if [ "$(xprop -id "$id" _NET_WM_NAME 2>/dev/null)" = "_NET_WM_NAME(UTF8_STRING) = \"$1\"" ]; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

wait_for_window() {  # wait_for_window TITLE SECONDS
    local i
    for i in $(seq $(($2 * 5))); do
        find_window "$1" && return 0
        sleep 0.2
    done
    return 1
}

wait_until_gone() {  # wait_until_gone TITLE SECONDS
    local i
    for i in $(seq $(($2 * 5))); do
        find_window "$1" >/dev/null || return 0
        sleep 0.2
    done
    return 1
}

gbk() { printf "$1" | iconv -f UTF-8 -t GBK; }

folder="$work/游戏 目录"
mkdir -p "$folder"
cp "$exe" "$folder/webgame-shell.exe"
ini="$folder/yxq.ini"

# A window manager gives the windows frames with a close box.
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    kill "$wm_pid" 2>/dev/null || true
}
trap cleanup EXIT
sleep 1

(cd "$folder" && exec "$wine_loader" ./webgame-shell.exe) &
program_pid=$!

main_title="未设置名称   V1.3"
main=$(wait_for_window "$main_title" 60) || fail "no window titled \"$main_title\" appeared"
echo "main window $main: \"$main_title\""
[ ! -e "$ini" ] || fail "yxq.ini was written at start"

# F1 is a hotkey of the menu bar; the browser pane has the focus at this point.
xdotool windowactivate --sync "$main" >/dev/null 2>&1 || xdotool windowfocus --sync "$main"
sleep 1
xdotool key F1
settings=$(wait_for_window "设置" 20) || fail "F1 did not open the window \"设置\""
echo "settings window $settings"

# The name box has the focus and holds the default name: append "2", then
# Tab, Tab to the 保存 button and press it with Space.
sleep 1
xdotool key End
xdotool type 2
xdotool key Tab Tab space
wait_until_gone "设置" 20 || fail "保存 did not close the settings window"
wait_for_window "未设置名称2   V1.3" 10 >/dev/null || fail "the caption did not take the saved name"

expected_saved=$(gbk '[请勿随便修改此配置文件]\r\n名称=未设置名称2\r\n地址=about:blank\r\n' | od -An -tx1)
actual_saved=$(od -An -tx1 <"$ini")
[ "$actual_saved" = "$expected_saved" ] || fail "yxq.ini after saving is not the expected GBK bytes:
$(iconv -f GBK -t UTF-8 <"$ini" | cat -A)"
echo "saved: 名称 and 地址 in GBK"

# The close box: the window manager asks the window to close (WM_DELETE_WINDOW).
wmctrl -i -c "$main"
status=0
for _ in $(seq 150); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.2
done
kill -0 "$program_pid" 2>/dev/null && fail "the program did not end after its window was closed"
wait "$program_pid" || status=$?
program_pid=""
[ "$status" -eq 0 ] || fail "exit code $status, not 0"
echo "exit code 0"

iconv -f GBK -t UTF-8 <"$ini" >"$work/yxq.utf8" || fail "yxq.ini is not GBK"
mapfile -t lines <"$work/yxq.utf8"
patterns=('\[请勿随便修改此配置文件\]' '名称=未设置名称2' '地址=about:blank'
          '高度=-?[0-9]+' '宽度=-?[0-9]+' '左边=-?[0-9]+' '顶边=-?[0-9]+')
[ "${#lines[@]}" -eq "${#patterns[@]}" ] || fail "yxq.ini has ${#lines[@]} lines, not ${#patterns[@]}:
$(cat -A "$work/yxq.utf8")"
for i in "${!patterns[@]}"; do
    [[ "${lines[$i]}" =~ ^${patterns[$i]}$'\r'$ ]] ||
        fail "line $((i + 1)) of yxq.ini is not ${patterns[$i]} with CR LF:
$(cat -A "$work/yxq.utf8")"
done
echo "geometry written:" "${lines[@]:3}" | tr -d '\r'
echo "smoke test passed"
