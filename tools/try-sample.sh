#!/usr/bin/env bash
# Builds oem2sif, runs it on a scratch copy of examples/sample (the sample
# itself stays clean) and shows what the run changed.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
cmake --preset tool >/dev/null
cmake --build --preset tool >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/oem2sif-sample-XXXXXX")
cp examples/sample/txtsetup.oem examples/sample/txtsetup.sif "$work/"
echo "Running oem2sif in $work"
(cd "$work" && "$top/build/tool/oem2sif") || true
echo
echo "Files now in $work:"
ls -l "$work"
echo
echo "What changed in txtsetup.sif (diff against the sample):"
diff -u examples/sample/txtsetup.sif "$work/txtsetup.sif" | tr -d '\r' |
  iconv -f CP932 -t UTF-8 -c | cat -v | sed 's/\^Z$/<0x1A>/' || true
