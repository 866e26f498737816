#!/usr/bin/env bash
# Hostile yxq.ini files through the Linux program on a virtual screen: invalid
# GBK and a NUL byte, a 1 MiB line, a directory in the file's place, a saved
# place on no monitor. The other cases of the table run on the simulated
# desktop in the unit tests.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh gtk
build=build/gtk-test
cmake -S . -B "$build" -DWGS_GTK=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target webgame-shell
exec dbus-run-session -- /usr/bin/python3 tests/gtk/hostile_files.py --build "$build"
