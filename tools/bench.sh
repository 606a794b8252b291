#!/usr/bin/env bash
# Builds the release tool and the benchmark, and prints the table of figures.
# Run it on the disk you care about: the work folder is build/bench/work.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
work=build/bench/work
rm -rf "$work" && mkdir -p "$work"
build/bench/bench/oem2sif_bench build/bench/oem2sif "$work"
rm -rf "$work"
