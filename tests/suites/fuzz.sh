#!/usr/bin/env bash
# Short fuzzing run (about a minute in all): the configuration reader, write
# then read, text to integer, date-time to text and the integer box, each
# against its reference model, under AddressSanitizer and
# UndefinedBehaviorSanitizer. Fails on any crash or difference.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base fuzz
fuzz/build.sh build/fuzz
rm -rf build/fuzz/short
fuzz/run.sh build/fuzz build/fuzz/short "${WGS_FUZZ_SECONDS:-12}"
