#!/usr/bin/env bash
# Builds oem2sif and runs every test: the release build (with the kill
# test), the suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# the tool on exFAT, NTFS, FAT and ext4 mounts, each fuzz target for
# FUZZ_SECONDS (default 60), the Windows builds under Wine, the page in
# headless Chromium and Firefox and in WebKit, then the release packaging.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --workflow --preset default
cmake --workflow --preset asan
tools/test-filesystems.sh
tools/fuzz.sh "${FUZZ_SECONDS:-60}"
tools/test-windows.sh
tools/test-web.sh
tools/test-release.sh
