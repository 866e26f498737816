#!/usr/bin/env bash
# Runs the built fuzz targets, each for SECONDS, from a working copy of the
# committed seed corpus, and prints one line per target:
#   <target> runs=<total executions> seconds=<time> exec/s=<rate> corpus=<files>
# Exits non-zero when a target crashes or finds a difference from its
# reference model; the input that did it is left in WORK/crashes/<target>/.
#
# Usage: fuzz/run.sh BUILD-DIR WORK-DIR SECONDS [TARGET...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1 work=$2 seconds=$3
shift 3
targets=("$@")
[ ${#targets[@]} -gt 0 ] || mapfile -t targets < "$build/targets"

options_for() {  # the dictionary and input size that suit each target
  case $1 in
    ini_lookup) echo "-dict=$here/ini.dict -max_len=16384" ;;
    ini_write_read) echo "-dict=$here/ini.dict -max_len=32768" ;;
    text_to_int) echo "-dict=$here/text.dict -max_len=64" ;;
    date_time) echo "-max_len=32" ;;
    integer_box) echo "-dict=$here/text.dict -max_len=64" ;;
  esac
}

status=0
for t in "${targets[@]}"; do
  corpus="$work/corpus/$t" crashes="$work/crashes/$t" log="$work/logs/$t.log"
  mkdir -p "$corpus" "$crashes" "$(dirname "$log")"
  cp -n "$here/corpus/$t/"* "$corpus/" 2>/dev/null
  # shellcheck disable=SC2046
  "$build/bin/fuzz_$t" $(options_for "$t") -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" > "$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  files=$(find "$corpus" -type f | wc -l)
  echo "$t runs=${runs:-?} seconds=${took:-?} exec/s=${rate:-?} corpus=$files"
  if [ $rc -ne 0 ] || [ -n "$(ls -A "$crashes")" ]; then
    echo "fuzz: $t FAILED (exit $rc); input in $crashes, log $log"
    grep -E "check failed|ERROR|SUMMARY" -A8 "$log" | head -40
    status=1
  fi
done
exit $status
