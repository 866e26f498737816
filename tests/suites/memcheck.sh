#!/usr/bin/env bash
# The whole unit and scenario test binary once under valgrind's memcheck,
# built without sanitizers: any memory error or definite leak fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base memcheck
cmake -S . -B build/memcheck -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DWGS_SANITIZE=OFF >/dev/null
cmake --build build/memcheck -j "$(nproc)" --target wgs_tests
logs=build/memcheck/logs
rm -rf "$logs" && mkdir -p "$logs"
# Processes that the tests fork are checked as well, each into a log of its
# own; a child with an error exits with the error code, which fails its test.
if valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --track-origins=yes --num-callers=30 \
    --log-file="$logs/memcheck.%p.log" build/memcheck/tests/wgs_tests --gtest_brief=1; then
  echo "memcheck: $(ls "$logs" | wc -l) processes, no error and no definite leak"
  exit 0
fi
echo "memcheck: errors or leaks found; see $logs"
grep -hE "Invalid|uninitialised|unaddressable|definitely lost|ERROR SUMMARY" -A12 "$logs"/* | head -120
exit 1
