#!/usr/bin/env bash
# Flash content in the Linux build: the address mapping of local games, a
# generated movie played by the injected emulator on a virtual screen (as
# game pages embed it, from the local disk, with the renderer watchdog), and
# the same in webgame-shell itself once the program is built.
set -uo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh flash || exit 1
build=build/flash-test
cmake -S . -B "$build" -DWGS_GTK=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null || exit 1
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" || exit 1
status=0
"$build"/src/platform/gtk/flash/wgs_flash_tests || status=1
/usr/bin/python3 tests/flash/flash_tests.py --build "$build" || status=1
if [ -x "$build/webgame-shell" ]; then
  # A session bus of its own: the accessibility bus hangs off it.
  dbus-run-session -- /usr/bin/python3 tests/flash/program_tests.py --build "$build" || status=1
else
  echo "webgame-shell is not built in this tree: only the emulation module was tested"
fi
exit $status
