#!/usr/bin/env bash
# Runs every test of webgame-shell: installs what is missing, builds, runs the
# unit and scenario tests, runs them again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then every suite in tests/suites (GUI tests,
# Windows tests under Wine, fuzzing, ...).
set -uo pipefail
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)
passed=0
failed=0
failures=()

step() {  # step NAME COMMAND...
  local name=$1; shift
  echo "=== $name"
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)); failures+=("$name")
    echo "=== FAILED: $name"
  fi
}

scripts/install-deps.sh base || { echo "test.sh: could not install the build dependencies"; exit 1; }

build_and_test() {  # build_and_test DIR CMAKE-ARGS...
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug "$@" >/dev/null &&
    cmake --build "$dir" -j "$jobs" &&
    (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
}

step "unit and scenario tests" build_and_test build/test
step "unit and scenario tests (ASan+UBSan)" build_and_test build/asan -DWGS_SANITIZE=ON

for suite in tests/suites/*.sh; do
  [ -e "$suite" ] || continue
  step "suite $(basename "$suite" .sh)" bash "$suite"
done

echo
[ ${#failures[@]} -eq 0 ] || printf 'failed: %s\n' "${failures[@]}"
echo "summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
