#!/usr/bin/env bash
# Builds the page, runs the node unit tests of the page's deciding modules
# and of the worker's protocol (web/test/), then the page's cases
# (web/page-test/, node's test runner) on build/web/oem2sif.html opened
# from disk, in headless Chromium and Firefox, and in WebKit
# (MiniBrowser under xvfb-run): three runs on the sample, each compared with
# the Linux build's run on a copy of it (console text, txtsetup.sif and
# txtsetup.sif.orig byte for byte), the diff view, the driver list, a
# cancelled run, a folder pick that holds two txtsetup.oem and 6,000 other
# files, a pack of three drivers run one after another (its zip, and in
# Chromium its writing into a folder), real driver layouts, the heavy run
# (1 MB, 40 options x 100 ids) against the Linux build, axe-core, and in
# every case that no request leaves the page.
#
#   tools/test-web.sh [chromium|firefox|webkit ...] [NODE-TEST-OPTION ...]
# e.g. tools/test-web.sh firefox --test-name-pattern='pack' runs the cases
# whose names match, in Firefox alone. Prints node's summary lines per
# browser; each case leaves its screenshot in build/web-test/BROWSER/CASE.png.
# The speed of the page is the benchmark's (tools/bench.sh), not a check.
# Installs nothing (tools/install-deps.sh --tests does).
set -euo pipefail
cd "$(dirname "$0")/.."
browsers=() node_args=()
for arg in "$@"; do
  case $arg in
    chromium|firefox|webkit) browsers+=("$arg") ;;
    *) node_args+=("$arg") ;;
  esac
done
[ ${#browsers[@]} -gt 0 ] || browsers=(chromium firefox webkit)

# The page's packages (diff, fflate, the browsers' drivers) come from npm ci.
if [ ! -d web/node_modules ]; then
  echo "web/node_modules is missing: run tools/install-deps.sh --tests (or npm ci in web/) first" >&2
  exit 1
fi

# The native builds (the node tests compare the engine's decisions,
# oem2sif-integrate --json, with the page's; the page's cases compare with
# the tool's runs) and the page (the worker's protocol is checked against
# the module just built).
cmake --preset default >/dev/null
cmake --build --preset default --target oem2sif oem2sif-check oem2sif-integrate make_setup_file
cmake --workflow --preset web

# The page's deciding modules, in node (no browser).
mkdir -p build
if ! node --test --test-reporter=tap web/test/ >build/web-unit.tap 2>&1; then
  grep -B2 -A25 '^not ok' build/web-unit.tap
  echo "web unit tests: FAILED (build/web-unit.tap)"
  exit 1
fi
awk '/^# (tests|pass|duration_ms)/ { n[$2] = $3 } END { printf "web unit tests: %d of %d passed in %d ms\n", n["pass"], n["tests"], n["duration_ms"] }' build/web-unit.tap


work=$PWD/build/web-test
rm -rf "$work"
mkdir -p "$work/linux"
cp examples/sample/txtsetup.oem examples/sample/txtsetup.sif "$work/linux/"
tool=$PWD/build/default/oem2sif
(
  cd "$work/linux"
  printf '1\n\n' | "$tool" >"$work/stdout-1"
  cp txtsetup.sif "$work/sif-1"
  cmp txtsetup.sif.orig ../../../examples/sample/txtsetup.sif
  printf '2\n\n' | "$tool" >"$work/stdout-2"
  cp txtsetup.sif "$work/sif-2"
  printf '\n' | "$tool" >"$work/stdout-3"
)

# The heavy run: the benchmark's inputs, from the same generator (its speed
# is the benchmark's).
make_setup_file=$PWD/build/default/tests/make_setup_file
mkdir -p "$work/heavy" "$work/heavy-linux"
"$make_setup_file" 23255 >"$work/heavy/txtsetup.sif"
"$make_setup_file" --oem 40 100 >"$work/heavy/txtsetup.oem"
cp "$work"/heavy/* "$work/heavy-linux/"
(cd "$work/heavy-linux" && printf '1\n\n' | "$tool" >"$work/stdout-heavy")
cp "$work/heavy-linux/txtsetup.sif" "$work/sif-heavy"

# Stand-ins for driver files: minimal PE images built for a machine
# (x86, x64), importing what a storage driver imports; each one a size of its
# own, so that copies can be told apart.
stand_ins=0
stand_in() {  # path machine [name in a cabinet]
  mkdir -p "$(dirname "$1")"
  stand_ins=$((stand_ins + 1))
  "$make_setup_file" --driver "$2" --size $((1024 + 16 * stand_ins)) ntoskrnl.exe scsiport.sys >"$1"
  if [ -n "${3:-}" ]; then "$make_setup_file" --cabinet "$3" <"$1" >"$1.cab" && mv "$1.cab" "$1"; fi
}
corpus=$PWD/tests/corpus
# What a setup folder holds besides txtsetup.sif: the modules drivers import
# (compressed, as on the CD; names alone) and, with DOSNET, a dosnet.inf.
setup_folder() {  # dir [dosnet]
  : >"$1/NTOSKRNL.EX_"
  : >"$1/SCSIPORT.SY_"
  if [ -n "${2:-}" ]; then "$make_setup_file" --dosnet aic78xx.sys >"$1/DOSNET.INF"; fi
}
# A copy of a driver's file without the options the page must leave
# unticked (the [scsi] lines of KEYS, an extended regular expression).
ticked_only() {  # corpus file, KEYS
  grep -v -E "^($2) *=" "$corpus/$1"
}

# A pack of three drivers, each in its folder as it ships (ULi's files in
# the folders its [Disks] names; its m5281.sys left out, and its x64 options
# left unticked in an I386 source), beside a setup folder. Two of them are
# versions of one driver (the same service, iastor). The Linux build runs
# them one after another on a copy, as the page must.
pack=$work/pack
drivers=(Intel/8.9.8 Intel/11.2 ULi)
oems=(DP_MassStorage__Intel_FORCED_Allx86_8.9.8.1005_TWEAK_TXTSETUP.OEM
      DP_MassStorage__Intel_FORCED_Allx86_11.2.0.1006_TWEAK_TXTSETUP.OEM DP_MassStorage__ULi_Allx86_TXTSETUP.OEM)
mkdir -p "$pack/setup/I386" "$work/pack-linux"
cp examples/sample/txtsetup.sif "$pack/setup/I386/TXTSETUP.SIF"
setup_folder "$pack/setup/I386" dosnet
# dosnet.inf as the page must leave it: each driver file [SCSI.Load] names.
"$make_setup_file" --add-to-dosnet iaStor.sys m5281.sys m5228.sys <"$pack/setup/I386/DOSNET.INF" >"$work/dosnet-pack"
cp examples/sample/txtsetup.sif "$work/pack-linux/txtsetup.sif"
for i in 0 1 2; do
  mkdir -p "$pack/drivers/${drivers[$i]}"
  cp "$corpus/${oems[$i]}" "$pack/drivers/${drivers[$i]}/TXTSETUP.OEM"
  # Left unticked: ULi's options for other machines and Windows versions,
  # and Intel 11.2's option without hardware ids (the tool skips it).
  case ${drivers[$i]} in
    ULi) unticked='m52(28|81)(XPA64|2K|NT)' ;;
    Intel/11.2) unticked='iaAHCI_8RDHDO' ;;
    *) unticked='' ;;
  esac
  if [ -n "$unticked" ]; then ticked_only "${oems[$i]}" "$unticked"; else cat "$corpus/${oems[$i]}"; fi >"$work/pack-linux/txtsetup.oem"
  (cd "$work/pack-linux" && printf '1\n\n' | "$tool" >>"$work/stdout-pack")
done
stand_in "$pack/drivers/Intel/8.9.8/iaStor.sys" x86
stand_in "$pack/drivers/Intel/11.2/IASTOR.SYS" x86
stand_in "$pack/drivers/ULi/win_xp/M5228.SY_" x86 m5228.sys
stand_in "$pack/drivers/ULi/win_2000/M5228.SY_" x86 m5228.sys
stand_in "$pack/drivers/ULi/WINXPA64/m5228.sys" x64
cp "$work/pack-linux/txtsetup.sif" "$work/sif-pack"
# "Run again" with ULi's driver alone, on the pack's results.
(cd "$work/pack-linux" && printf '1\n\n' | "$tool" >"$work/stdout-pack-again" && cp txtsetup.sif "$work/sif-pack-again")

# The hardware ids of a corpus driver's option, one a line.
option_ids() {  # corpus file, option key
  tr -d '\r' <"$corpus/$1" | awk -v section="[hardwareids.scsi.$(printf '%s' "$2" | tr 'A-Z' 'a-z')]" '
    /^[ \t]*\[/ { s = tolower($0); gsub(/[ \t]/, "", s); on = s == section; next }
    on && /^[ \t]*id[ \t]*=/ { split($0, quoted, "\""); print quoted[2] }'
}
# An option's INF (and its catalog, a stand-in) in the folder its disk
# names: its models list the option's hardware ids, as a vendor's do, so
# that GUI-mode setup finds the device a driver.
option_inf() {  # folder, corpus file, option key, service, INF name, [catalog name]
  local ids=()
  mapfile -t ids < <(option_ids "$2" "$3")
  mkdir -p "$1"
  "$make_setup_file" --inf "$4" "${6:-}" "${ids[@]}" >"$1/$5"
  if [ -n "${6:-}" ]; then printf 'catalog of %s\r\n' "$5" >"$1/$6"; fi
}

# Real driver packages laid out as they ship, each beside a setup folder
# (I386 or AMD64): LAYOUT/setup/FOLDER, LAYOUT/driver (with an INF for
# each option the page ticks, where its txtsetup.oem names one), and what
# the Linux build does with the options the page must tick (LAYOUT/stdout,
# LAYOUT/txtsetup.sif).
layout() {  # name, setup folder, corpus file, options left unticked
  local dir=$work/layouts/$1
  mkdir -p "$dir/setup/$2" "$dir/driver" "$dir/linux"
  cp examples/sample/txtsetup.sif "$dir/setup/$2/TXTSETUP.SIF"
  setup_folder "$dir/setup/$2"
  cp examples/sample/txtsetup.sif "$dir/linux/txtsetup.sif"
  cp "$corpus/$3" "$dir/driver/txtsetup.oem"
  ticked_only "$3" "$4" >"$dir/linux/txtsetup.oem"
  (cd "$dir/linux" && printf '1\n\n' | "$tool" >"$dir/stdout")
}
virtio=kvm-guest-drivers-windows__viostor_txtsetup_2010.oem
layout virtio-x86 I386 $virtio WNET64
setup_folder "$work/layouts/virtio-x86/setup/I386" dosnet
"$make_setup_file" --add-to-dosnet viostor.sys <"$work/layouts/virtio-x86/setup/I386/DOSNET.INF" >"$work/layouts/virtio-x86/dosnet"
layout virtio-x64 AMD64 $virtio WNET32
for name in virtio-x86 virtio-x64; do
  stand_in "$work/layouts/$name/driver/i386/Win2003/viostor.sys" x86
  stand_in "$work/layouts/$name/driver/amd64/Win2003/viostor.sys" x64
  option_inf "$work/layouts/$name/driver/i386/Win2003" $virtio WNET32 viostor viostor.inf viostor.cat
  option_inf "$work/layouts/$name/driver/amd64/Win2003" $virtio WNET64 viostor viostor.inf viostor.cat
done
layout firadisk I386 Firadisk__txtset64.oem firadiskx64
stand_in "$work/layouts/firadisk/driver/firadisk.sys" x86
stand_in "$work/layouts/firadisk/driver/firadi64.sys" x64
option_inf "$work/layouts/firadisk/driver" Firadisk__txtset64.oem firadiskx86 firadisk firadisk.inf firadisk.cat
printf 'catalog of firadisk.inf\r\n' >"$work/layouts/firadisk/driver/firadi64.cat"
uli=DP_MassStorage__ULi_Allx86_TXTSETUP.OEM
layout uli I386 $uli 'm52(28|81)(XPA64|2K|NT)'
for folder in win_nt win_2000 win_xp; do
  stand_in "$work/layouts/uli/driver/$folder/m5228.sys" x86
  stand_in "$work/layouts/uli/driver/$folder/M5281.SY_" x86 m5281.sys
done
stand_in "$work/layouts/uli/driver/WINXPA64/m5228.sys" x64
stand_in "$work/layouts/uli/driver/WINXPA64/m5281.sys" x64
option_inf "$work/layouts/uli/driver/win_xp" $uli m5228XP m5228 m5228.inf
option_inf "$work/layouts/uli/driver/win_xp" $uli m5281XP m5281 m5281.inf
layout genahci I386 GenAHCI__txtsetup.oem storahci_x64
stand_in "$work/layouts/genahci/driver/x86/storahci.sys" x86
stand_in "$work/layouts/genahci/driver/x64/storahci.sys" x64
option_inf "$work/layouts/genahci/driver/x86" GenAHCI__txtsetup.oem storahci_x86 storahci storahci.inf storahci.cat
option_inf "$work/layouts/genahci/driver/x64" GenAHCI__txtsetup.oem storahci_x64 storahci storahci.inf storahci.cat

# An XP-like setup source (make_setup_file --xp: [SetupData] Architecture =
# i386 and version 5.1, .amd64 and .ia64 sections, repeated sections, a
# 0x1A at the end) with virtio's driver, as users give them: picked one by
# one (xp/files), as folders named xp and "I386 - Copy", and without its
# Architecture line in a folder named AMD64. The Linux build runs it with
# WNET32 alone, answering 2 (xp/linux); the check reads that result in a
# folder named xp (xp/check/xp, its output xp/check-stdout). A 2000 source
# (version 5.0) for ULi's options.
xp=$work/xp
mkdir -p "$xp/files" "$xp/xp" "$xp/I386 - Copy" "$xp/AMD64" "$xp/2000/I386" "$xp/driver" "$xp/linux" "$xp/check/xp"
"$make_setup_file" --xp >"$xp/files/TXTSETUP.SIF"
cp "$corpus/$virtio" "$xp/files/txtsetup.oem"
stand_in "$xp/files/viostor.sys" x86
for folder in xp "I386 - Copy"; do
  cp "$xp/files/TXTSETUP.SIF" "$xp/$folder/TXTSETUP.SIF"
  setup_folder "$xp/$folder"
done
"$make_setup_file" --xp --architecture none >"$xp/AMD64/TXTSETUP.SIF"
setup_folder "$xp/AMD64"
"$make_setup_file" --xp --version 5.0 >"$xp/2000/I386/TXTSETUP.SIF"
setup_folder "$xp/2000/I386"
cp "$corpus/$virtio" "$xp/driver/txtsetup.oem"
stand_in "$xp/driver/i386/Win2003/viostor.sys" x86
stand_in "$xp/driver/amd64/Win2003/viostor.sys" x64
cp "$xp/files/TXTSETUP.SIF" "$xp/linux/txtsetup.sif"
ticked_only $virtio WNET64 >"$xp/linux/txtsetup.oem"
(cd "$xp/linux" && printf '2\n\n' | "$tool" >stdout)
cp "$xp/linux/txtsetup.sif" "$xp/check/xp/TXTSETUP.SIF"
cp "$xp/linux/txtsetup.sif.orig" "$xp/driver/i386/Win2003/viostor.sys" "$xp/check/xp/"
setup_folder "$xp/check/xp"
# Exit 1 is findings; 2 would be no txtsetup.sif there.
checked=0
"$PWD/build/default/oem2sif-check" "$xp/check/xp" >"$xp/check-stdout" || checked=$?
[ $checked -le 1 ] || { echo "oem2sif-check on xp/check/xp: exit $checked"; exit 1; }

# txtsetup.oem of a driver written here, CRLF lines.
oem_file() {  # path, lines
  local path=$1
  shift
  printf '%s\r\n' "$@" >"$path"
}
# An option naming the setup's own backups, junk of those names beside its
# txtsetup.oem, and a good option; a setup folder with DOSNET.INF (own/).
mkdir -p "$work/own/xp" "$work/own/driver"
cp "$xp/files/TXTSETUP.SIF" "$work/own/xp/TXTSETUP.SIF"
setup_folder "$work/own/xp" dosnet
oem_file "$work/own/driver/txtsetup.oem" '[Disks]' 'd1 = "Driver disk",\good.sys,\' '' '[Defaults]' 'SCSI = good' '' \
  '[SCSI]' 'good = "A good controller"' 'evil = "A controller naming the setup'"'"'s backups"' '' \
  '[Files.SCSI.good]' 'driver = d1, good.sys, good' '' '[Files.SCSI.evil]' 'driver = d1, txtsetup.sif.orig, evil' 'inf = d1, dosnet.inf.orig' '' \
  '[HardwareIds.SCSI.good]' 'id = "PCI\VEN_1234&DEV_0001", "good"' '' '[HardwareIds.SCSI.evil]' 'id = "PCI\VEN_1234&DEV_0002", "evil"'
stand_in "$work/own/driver/good.sys" x86
printf 'junk\r\n' >"$work/own/driver/txtsetup.sif.orig"
printf 'junk\r\n' >"$work/own/driver/dosnet.inf.orig"
# A setup folder holding its own ATAPI.SY_, and a driver bringing atapi.sys
# (atapi/).
mkdir -p "$work/atapi/xp" "$work/atapi/driver"
cp "$xp/files/TXTSETUP.SIF" "$work/atapi/xp/TXTSETUP.SIF"
setup_folder "$work/atapi/xp"
stand_in "$work/atapi/xp/ATAPI.SY_" x86 atapi.sys
oem_file "$work/atapi/driver/txtsetup.oem" '[Disks]' 'd1 = "Driver disk",\atapi.sys,\' '' '[Defaults]' 'SCSI = atapi' '' \
  '[SCSI]' 'atapi = "An IDE controller, a newer driver"' '' '[Files.SCSI.atapi]' 'driver = d1, atapi.sys, atapi' '' \
  '[HardwareIds.SCSI.atapi]' 'id = "PCI\VEN_1234&DEV_0003", "atapi"'
stand_in "$work/atapi/driver/atapi.sys" x86
# Virtio with its x86 file not there and its x64 one an MZ stub, no PE
# image (stub/).
mkdir -p "$work/stub/driver/amd64/Win2003"
cp "$corpus/$virtio" "$work/stub/driver/txtsetup.oem"
printf 'MZjunk' >"$work/stub/driver/amd64/Win2003/viostor.sys"

# The cases, in each browser: node's test runner, one browser per file, a
# fresh page per case.
status=0
for browser in "${browsers[@]}"; do
  run=(env PAGE_TEST_BROWSER="$browser" node --test --test-concurrency=1 --test-reporter=spec "${node_args[@]}" web/page-test/)
  if [ "$browser" = webkit ]; then
    # WebKit has no headless mode here: it draws on a virtual X server.
    if ! WebKitWebDriver --help >/dev/null 2>&1 || ! xvfb-run --help >/dev/null 2>&1; then
      echo "webkit: skipped: WebKitWebDriver or xvfb-run does not run (tools/install-deps.sh --tests installs webkit2gtk-driver and xvfb)"
      continue
    fi
    run=(xvfb-run -a -s '-screen 0 1280x1024x24' "${run[@]}")
  fi
  log=$work/$browser.log
  "${run[@]}" >"$log" 2>&1 || status=1
  # The failures in full, then node's summary lines.
  sed -n '/^✖ failing tests:/,$p' "$log" | grep -v '^ℹ' || true
  grep -E '^ℹ (tests|pass|fail|skipped|cancelled|duration_ms) ' "$log" | sed "s/^/$browser: /" || true
done
exit $status
