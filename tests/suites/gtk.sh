#!/usr/bin/env bash
# GUI smoke tests of the Linux program: the GTK backend checked on its own,
# the shutdown table against a fake logind, and the whole program driven as a
# user would, on virtual screens. Needs no display of its own.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh gtk
build=build/gtk-test
cmake -S . -B "$build" -DWGS_GTK=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
# A session bus of its own: the accessibility bus hangs off it.
exec dbus-run-session -- /usr/bin/python3 tests/gtk/gui_tests.py --build "$build"
