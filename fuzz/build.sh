#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into the directory given (build/fuzz by default).
#
# The program's sources hold Chinese literals in UTF-8 and are meant for
# -fexec-charset=GBK, which clang does not support. They are copied through
# gbk_escape first, which writes those literals as the \x escapes of their GBK
# bytes; everything else stays as it is, so the fuzzers run the program's own
# code (core/gbk_literals.h checks the result at compile time).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
out=${1:-$root/build/fuzz}
mkdir -p "$out/bin" "$out/src"
out=$(cd "$out" && pwd)

cxx=${CLANGXX:-}
if [ -z "$cxx" ]; then
  for c in clang++ clang++-16 clang++-15 clang++-14; do
    command -v "$c" >/dev/null && { cxx=$c; break; }
  done
fi
[ -n "$cxx" ] || { echo "fuzz/build.sh: clang++ not found" >&2; exit 1; }

# The filter itself is plain C++ (iconv from the C library).
if [ ! -x "$out/gbk_escape" ] || [ "$here/gbk_escape.cpp" -nt "$out/gbk_escape" ]; then
  "$cxx" -std=c++17 -O2 -Wall -Wextra -Werror "$here/gbk_escape.cpp" -o "$out/gbk_escape"
fi
(cd "$root/src" && find . -name '*.cpp' -o -name '*.h') | while read -r f; do
  mkdir -p "$out/src/$(dirname "$f")"
  if [ ! -e "$out/src/$f" ] || [ "$root/src/$f" -nt "$out/src/$f" ]; then
    "$out/gbk_escape" "$root/src/$f" "$out/src/$f"
  fi
done

flags=(-std=c++17 -g -O1 -Wall -Wextra -Werror
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
       -I "$out/src" -I "$here")
lib=("$out/src/core/text.cpp" "$out/src/core/config_file.cpp")
targets=(ini_lookup ini_write_read text_to_int date_time integer_box)
pids=()
for t in "${targets[@]}"; do
  "$cxx" "${flags[@]}" "$here/fuzz_$t.cpp" "${lib[@]}" -o "$out/bin/fuzz_$t" &
  pids+=($!)
done
status=0
for p in "${pids[@]}"; do wait "$p" || status=1; done
[ $status -eq 0 ] || { echo "fuzz/build.sh: build failed" >&2; exit 1; }
printf '%s\n' "${targets[@]}" > "$out/targets"
