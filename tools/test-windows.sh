#!/usr/bin/env bash
# Builds the Windows executables with mingw-w64 and tests them under Wine:
# - their imports against what Windows 2000 offers,
# - the end-to-end and corpus suites, byte for byte (CR LF line ends), and
#   oem2sif-check.exe on a checked setup folder,
# - the profile engine against the system's profile functions, whose
#   figures the README quotes,
# - oem2sif-integrate.exe --iso: the same image bytes as the Linux build.
# The i686 build is always built and its imports checked; it runs where
# this machine can run it (tools/probe-i686.sh), and the reason is printed
# where it cannot.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
corpus="Z:$(realpath tests/corpus | tr / '\\')"

cmake --workflow --preset windows-x64
cmake --workflow --preset windows-x86
[ -x build/default/tests/oem2sif_tests ] || { cmake --preset default && cmake --build --preset default; }

status=0
for tool in oem2sif oem2sif-check oem2sif-integrate; do
  python3 tests/windows/check_imports.py i686-w64-mingw32-objdump build/windows-x86/$tool.exe \
    tests/windows/win2000_imports.txt || status=1
  python3 tests/windows/check_imports.py x86_64-w64-mingw32-objdump build/windows-x64/$tool.exe \
    tests/windows/win2000_imports.txt || status=1
  for exe in build/windows-x86/$tool.exe build/windows-x64/$tool.exe; do
    grep -q version.1.01 "$exe" || { echo "$exe: the release string is missing"; status=1; }
  done
done

# oem2sif-integrate.exe --iso writes the same image, byte for byte, as the
# Linux build (genisoimage makes a small CD; skipped without it).
iso_same() {  # wine loader, exe
  local loader=$1 exe=$2 work=$top/build/iso-windows
  if ! command -v genisoimage >/dev/null; then
    echo "--iso under Wine: skipped: genisoimage is not installed"
    return 0
  fi
  rm -rf "$work" && mkdir -p "$work/cd/I386" "$work/drv"
  build/default/tests/make_setup_file --xp 400 > "$work/cd/I386/TXTSETUP.SIF"
  build/default/tests/make_setup_file --dosnet > "$work/cd/I386/DOSNET.INF"
  build/default/tests/make_setup_file --oem 2 3 > "$work/drv/txtsetup.oem"
  for n in 0 1; do build/default/tests/make_setup_file --driver x86 > "$work/drv/bench$n.sys"; done
  genisoimage -quiet -iso-level 2 -N -J -o "$work/in.iso" "$work/cd" 2>/dev/null
  (cd "$work" && "$top/build/default/oem2sif-integrate" --iso in.iso --output linux.iso --windows xp drv >/dev/null) || true
  (cd "$work" && "$loader" "$exe" --iso in.iso --output windows.iso --windows xp drv >/dev/null) || true
  if [ -s "$work/linux.iso" ] && cmp -s "$work/linux.iso" "$work/windows.iso"; then
    echo "--iso under Wine: the same image as Linux"
  else
    echo "FAIL: --iso under Wine: $exe does not write the image the Linux build writes"
    return 1
  fi
}

run_suite() {  # name, wine loader, prefix, arch, build folder
  local name=$1 loader=$2 prefix=$3 arch=$4 build=$5
  echo "== $name under Wine"
  export WINEPREFIX=$top/build/$prefix WINEARCH=$arch OEM2SIF_WINE=$loader
  mkdir -p "$top/build/diff-$name" "$WINEPREFIX"
  # One server for the whole suite: when each of its many Wine processes
  # starts and stops its own, a process now and then meets a server that is
  # shutting down, and dies ("recvmsg: Connection reset by peer").
  "$wineserver" -p
  "$loader" wineboot -u >/dev/null 2>&1 || true  # makes the prefix, quietly
  if ! (cd "$top/build/diff-$name" && "$loader" "$top/$build/tests/windows/profile_diff.exe" "$corpus" \
          > profile_diff.txt); then
    status=1
    grep -A2 '^FAIL' "$top/build/diff-$name/profile_diff.txt" || true
  fi
  tail -n 2 "$top/build/diff-$name/profile_diff.txt"
  OEM2SIF_TOOL=$top/$build/oem2sif.exe OEM2SIF_CHECK_TOOL=$top/$build/oem2sif-check.exe \
    OEM2SIF_APPLY_RUNNER=$top/$build/tests/windows/apply_plan_runner.exe \
    build/default/tests/oem2sif_tests \
    --gtest_filter='Tool.*:Corpus.EveryFileRuns*:SetupFolder.Command*:EngineApply.Runner*' --gtest_brief=1 || status=1
  iso_same "$loader" "$top/$build/oem2sif-integrate.exe" || status=1
  "$wineserver" -k || true
}

wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver32

run_suite x64 /usr/lib/wine/wine64 wine64 win64 build/windows-x64
if reason=$(tools/probe-i686.sh); then
  run_suite x86 /usr/lib/wine/wine wine32 win32 build/windows-x86
else
  echo "== x86 under Wine: skipped: $reason"
fi

# The README quotes the comparison's figures; they must be what it finds.
figures=$(tail -n 2 build/diff-x64/profile_diff.txt | grep -o '[0-9][0-9]*' | tr '\n' ' ')
quoted=$(tr '\n' ' ' < README.md | sed -n \
  's/.*On the \([0-9]*\) real files this gives \([0-9]*\) differing reads out of \([0-9,]*\),.* the \([0-9]*\) reads of the contract table add \([0-9]*\) more.*/\4 \5 \1 \3 \2/p' | tr -d ,)
# profile_diff: table reads, differences, failures; files, reads, differences, failures.
read -r t_reads t_diff _ c_files c_reads c_diff _ <<< "$figures"
if [ "$quoted" = "$t_reads $t_diff $c_files $c_reads $c_diff" ]; then
  echo "README's comparison figures: as found"
else
  echo "FAIL: the README quotes (table reads, differing; files, reads, differing) '${quoted}'," \
       "the comparison found '$t_reads $t_diff $c_files $c_reads $c_diff'"
  status=1
fi
[ $status -eq 0 ] && echo "windows: 0 failed" || echo "windows: FAILED"
exit $status
