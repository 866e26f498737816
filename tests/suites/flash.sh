#!/usr/bin/env bash
# Flash content in the Linux build: the address mapping of local games, and
# a generated movie played by the injected emulator on a virtual screen, as
# game pages embed it and from the local disk, with the renderer watchdog.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh flash
build=build/flash-test
cmake -S . -B "$build" -DWGS_GTK=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target wgs_flash_tests wgs_flash_check
"$build"/src/platform/gtk/flash/wgs_flash_tests
exec /usr/bin/python3 tests/flash/flash_tests.py --build "$build"
