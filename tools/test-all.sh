#!/usr/bin/env bash
# Builds oem2sif and runs every test: the release build (with the kill
# test), the suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# then each fuzz target for FUZZ_SECONDS (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --workflow --preset default
cmake --workflow --preset asan
tools/fuzz.sh "${FUZZ_SECONDS:-60}"
