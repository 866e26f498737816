#!/usr/bin/env bash
# The Windows program: builds the 32-bit webgame-shell.exe with MinGW-w64,
# checks that it is one PE32 GUI file needing no DLL beyond the system's, and
# runs the Windows tests under Wine and Xvfb in a fresh Wine prefix.
#
# Wine runs 32-bit Windows code only where the kernel runs 32-bit code. Where
# it cannot (a kernel without IA-32 emulation), the same sources are built a
# second time as 64-bit Windows files and the tests run on those under 64-bit
# Wine; the 32-bit files are then built and checked but not run.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)

scripts/install-deps.sh win32

configure_and_build() {  # configure_and_build DIR TOOLCHAIN
    cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$1" -j "$jobs"
}

echo "--- building the 32-bit Windows program (build/win32)"
configure_and_build build/win32 mingw-i686.cmake

failures=0
check() {  # check DESCRIPTION COMMAND...
    local name=$1
    shift
    if "$@"; then
        echo "ok: $name"
    else
        echo "FAILED: $name"
        failures=$((failures + 1))
    fi
}

pe_is() {  # pe_is FILE FORMAT: the file's format and its imports are only system DLLs
    local file=$1 format=$2
    [ -f "$file" ] || { echo "missing $file"; return 1; }
    local header
    header=$(i686-w64-mingw32-objdump -f "$file")
    grep -q "file format $format\$" <<<"$header" || { echo "$file is not $format"; return 1; }
    local dlls
    dlls=$(i686-w64-mingw32-objdump -p "$file" 2>/dev/null | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    echo "$file imports:" $dlls
    local allowed=" advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll user32.dll uxtheme.dll "
    for dll in $dlls; do
        case "$allowed" in *" $dll "*) ;; *) echo "$file needs $dll, which is not a system DLL"; return 1 ;; esac
    done
}

# The resources as Windows reads them back from the file.
resources_are_right() {
    local dump
    dump=$(i686-w64-mingw32-windres -i "$1" -O rc) || return 1
    local want
    while IFS= read -r want; do
        grep -qF -- "$want" <<<"$dump" || { echo "resource line missing: $want"; return 1; }
    done <<'LINES'
LANGUAGE 4, 2
1037 DIALOG 0, 0, 252, 92
STYLE 0x80c808c0
CAPTION L"\x8bf7\x8f93\x5165\xff1a"
FONT 9, L"\x5b8b\x4f53"
CONTROL "", 65535, "STATIC", 0x50021000, 7, 7, 238, 35
CONTROL "", 1128, "STATIC", 0x50020000, 12, 11, 229, 27
CONTROL "", 1001, "EDIT", 0x50810080, 7, 45, 238, 12
CONTROL "", 1002, "EDIT", 0x508100a0, 7, 45, 238, 12
CONTROL L"\x786e\x8ba4\x8f93\x5165(&O)", 1, "BUTTON", 0x50010001, 63, 66, 55, 19
CONTROL L"\x53d6\x6d88(&C)", 2, "BUTTON", 0x50010000, 134, 66, 55, 19
FILEVERSION 1, 3, 12, 30
PRODUCTVERSION 1, 3, 12, 30
BLOCK "080404b0"
VALUE "FileVersion", "1.3.12.30"
VALUE "ProductVersion", "1.3.12.30"
VALUE "Translation", 0x804, 1200
name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""
LINES
}

program_built=0
if [ -f build/win32/webgame-shell.exe ]; then
    program_built=1
    gui_subsystem() {
        local headers
        headers=$(i686-w64-mingw32-objdump -p build/win32/webgame-shell.exe)
        grep -q 'Subsystem.*(Windows GUI)' <<<"$headers"
    }
    check "webgame-shell.exe is a PE32 file needing only system DLLs" pe_is build/win32/webgame-shell.exe pei-i386
    check "webgame-shell.exe is a GUI program" gui_subsystem
    check "resources: address prompt 1037 (Chinese, PRC), version 1.3.12.30, common controls 6" \
        resources_are_right build/win32/webgame-shell.exe
fi

# ---- which build runs under Wine ----
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    run_dir=build/win32
    wine_loader=/usr/bin/wine
    wine_server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    export WINEARCH=win32
else
    echo "--- this machine cannot run 32-bit code; the tests run on the 64-bit build (build/win64)"
    configure_and_build build/win64 mingw-x86_64.cmake
    run_dir=build/win64
    wine_loader=/usr/lib/wine/wine64
    wine_server=/usr/lib/wine/wineserver64
    export WINEARCH=win64 WINELOADER=$wine_loader
fi
export WINESERVER=$wine_server WINEDEBUG=-all
# No Mono and no HTML engine are downloaded into the prefix (there is no network).
export WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d)
export WINEPREFIX=$work/prefix
xvfb_pid=""
cleanup() {
    "$wine_server" -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A display of our own; -displayfd picks a free number.
exec 9>"$work/display"
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
echo "--- Xvfb on $DISPLAY; creating a fresh Wine prefix"
"$wine_loader" wineboot -i >/dev/null 2>&1 || true
"$wine_server" -w || true

run_exe() {  # run_exe EXE [ARGS...]: runs a Windows test program, its exit code is ours
    local exe=$1; shift
    timeout 300 "$wine_loader" "$exe" "$@"
}

check "Windows backend tests (windows, controls, browser host, files, shutdown binding)" \
    run_exe "$run_dir/tests/win32/win32_platform_test.exe"
if [ -f "$run_dir/tests/win32/profile_compat_test.exe" ]; then
    # The file's code page is 936: the private-profile functions use the ANSI code page.
    check "yxq.ini reader and writer against the private-profile functions (code page 936)" \
        env LC_ALL=zh_CN.UTF-8 timeout 300 "$wine_loader" "$run_dir/tests/win32/profile_compat_test.exe"
    "$wine_server" -k >/dev/null 2>&1 || true  # the next programs run in the machine's own locale
    "$wine_server" -w >/dev/null 2>&1 || true
fi
if [ -f "$run_dir/tests/win32/system_shutdown_test.exe" ]; then
    check "shutdown request mode table (fakes only)" run_exe "$run_dir/tests/win32/system_shutdown_test.exe"
fi
if [ "$program_built" = 1 ]; then
    check "smoke test of webgame-shell.exe" tests/win32/smoke_test.sh "$run_dir/webgame-shell.exe" "$wine_loader" \
        "$work/smoke"
fi

echo "win32 suite: $failures failed"
[ "$failures" -eq 0 ]
