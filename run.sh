#!/usr/bin/env bash
# Builds webgame-shell and runs it.
set -euo pipefail
cd "$(dirname "$0")"
if [ -x scripts/run-gtk.sh ]; then
  exec scripts/run-gtk.sh "$@"
fi
echo "run.sh: the Linux desktop program is not built yet; the program runs only on the simulated desktop used by ./test.sh."
exit 1
