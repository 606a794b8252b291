#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs each for SECONDS (default 60),
# seeded from the real driver files (the driver image reader needs no
# seeds of its own: it finds the "MZ" and "MSCF" headers by itself) and a
# small CD image made with genisoimage (iso_image_fuzz).
# Crashes land in build/fuzz/findings/. An input is a hang when it takes 20
# times as long as a pass over all the seeds and the corpus so far, timed
# here first (at least 20 s): -timeout scales with the machine's speed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
seeds=$PWD/build/fuzz/seeds
findings=$PWD/build/fuzz/findings
mkdir -p "$seeds" "$findings"
cp tests/corpus/*.[oO][eE][mM] "$seeds/"
# A small CD image with a setup folder, from sector 16 on (iso_image_fuzz
# puts the system area back), where genisoimage is installed.
if command -v genisoimage >/dev/null; then
  iso_tree=$(mktemp -d)
  mkdir -p "$iso_tree/I386/SUB"
  printf '[SetupData]\r\nArchitecture = i386\r\n' > "$iso_tree/I386/TXTSETUP.SIF"
  printf 'd1,viostor.sys\r\n' > "$iso_tree/I386/DOSNET.INF"
  printf 'old' > "$iso_tree/I386/VIOSTOR.SY_"
  printf 'x' > "$iso_tree/I386/SUB/X.TXT"
  genisoimage -quiet -no-pad -iso-level 2 -N -J -o "$iso_tree.iso" "$iso_tree" 2>/dev/null &&
    tail -c +32769 "$iso_tree.iso" > "$seeds/setup-folder.iso16"
  rm -rf "$iso_tree" "$iso_tree.iso"
fi
status=0
for target in profile_fuzz oem_fuzz driver_image_fuzz inf_file_fuzz check_folder_fuzz iso_image_fuzz; do
  corpus=$PWD/build/fuzz/corpus-$target
  mkdir -p "$corpus"
  started=$(date +%s%N)
  build/fuzz/tests/fuzz/$target -runs=0 -max_len=65536 -artifact_prefix="$findings/$target-" "$corpus" "$seeds" \
    >/dev/null 2>&1 || true
  pass_ms=$(( ($(date +%s%N) - started) / 1000000 ))
  hang=$(( pass_ms * 20 / 1000 )); [ $hang -ge 20 ] || hang=20
  echo "== $target: $seconds s (a pass over the inputs so far: $pass_ms ms; an input is a hang after $hang s)"
  if ! build/fuzz/tests/fuzz/$target -max_total_time="$seconds" -max_len=65536 -timeout=$hang \
       -artifact_prefix="$findings/$target-" -print_final_stats=1 "$corpus" "$seeds" \
       > "build/fuzz/$target.log" 2>&1; then
    status=1
    echo "$target FAILED; see build/fuzz/$target.log"
    tail -n 40 "build/fuzz/$target.log"
  fi
  grep -E '^stat::number_of_executed_units|^Done ' "build/fuzz/$target.log" || true
done
exit $status
