#!/usr/bin/env bash
# Startup time, memory and animation CPU of webgame-shell side by side with
# surf (a minimal browser on the same engine) and chromium --app (what a
# shell built on a bundled Chromium costs). Not part of ./test.sh: it takes
# about ten minutes. Usage: bench/startup-memory.sh [RUNS]   (at least 7)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-7}
[ "$runs" -ge 7 ] || { echo "startup-memory.sh: at least 7 runs" >&2; exit 2; }

scripts/install-deps.sh gtk
if ! command -v surf >/dev/null || ! command -v chromium >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq -o DPkg::Lock::Timeout=300
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=300 \
        --no-install-recommends surf chromium >/dev/null
fi

build=build/bench
cmake -S . -B "$build" -DWGS_GTK=ON -DWGS_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target webgame-shell >/dev/null

# Page frame numbers in /proc/<pid>/pagemap are visible to root only.
[ "$(id -u)" -eq 0 ] || { echo "startup-memory.sh: run as root (pagemap)" >&2; exit 2; }
exec /usr/bin/python3 bench/measure.py --exe "$build/webgame-shell" --pages bench/pages --runs "$runs"
