#!/usr/bin/env bash
# Instructions of one upkeep tick, counted by callgrind on the simulated
# desktop (build/bench, -O2): the program running with its timer ticking, idle
# and in three armed states. Each figure is the cost of 41 ticks minus the cost
# of 1 (the first tick also binds the working-set function), divided by 40.
#
#   own code      from the timer event's delivery to the handler's return,
#                 the platform calls left out: collection is switched off while
#                 the sim's trim, clock or shutdown functions run (they stand
#                 for the system calls)
#   with platform the same, the sim's platform functions included
#
# The target: an idle tick under 2000 instructions of the program's own code
# beside the one system call. Exits non-zero when it is missed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh base memcheck
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWGS_SANITIZE=OFF >/dev/null
cmake --build build/bench -j "$(nproc)" --target wgs_tick_driver >/dev/null
driver=build/bench/bench/wgs_tick_driver
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

delivery='wgs::WindowManager::onTimer*'
platform=('wgs::SimDesktop::callWorkingSetTrim*' 'wgs::SimDesktop::calendarSeconds*'
          'wgs::SimDesktop::localFields*' 'wgs::SimDesktop::shutdownApi*' 'wgs::FakeShutdownApi::*')

collected() {  # collected MODE TICKS [extra toggles...] -> instructions collected
  local mode=$1 ticks=$2; shift 2
  local toggles=(--toggle-collect="$delivery")
  for f in "$@"; do toggles+=(--toggle-collect="$f"); done
  valgrind --tool=callgrind "${toggles[@]}" --callgrind-out-file="$out/cg" "$driver" "$mode" "$ticks" \
    2> "$out/log" > /dev/null || { cat "$out/log" >&2; exit 1; }
  sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$out/log"
}

per_tick() {  # per_tick MODE [extra toggles...]
  local one many
  one=$(collected "$1" 1 "${@:2}")
  many=$(collected "$1" 41 "${@:2}")
  echo $(( (many - one) / 40 ))
}

printf '%-44s %10s %15s\n' "tick" "own code" "with platform"
idle_own=0
for mode in idle other-hour other-minute firing; do
  case $mode in
    idle) what="idle (nothing armed)" ;;
    other-hour) what="armed, another hour (one clock reading)" ;;
    other-minute) what="armed, this hour, another minute (two)" ;;
    firing) what="armed, this minute (power-off request)" ;;
  esac
  own=$(per_tick "$mode" "${platform[@]}")
  all=$(per_tick "$mode")
  printf '%-44s %10s %15s\n' "$what" "$own" "$all"
  [ "$mode" = idle ] && idle_own=$own
done
if [ "$idle_own" -lt 2000 ]; then
  echo "target met: an idle tick runs $idle_own instructions of the program's own code (< 2000)"
else
  echo "target missed: an idle tick runs $idle_own instructions of the program's own code (>= 2000)"
  exit 1
fi
