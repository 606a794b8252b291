#!/usr/bin/env bash
# Runs the tool on the file systems that users keep setup folders on, each
# mounted from a small image: exFAT (exfat-fuse), NTFS (ntfs-3g) and FAT32
# (fusefat) through FUSE, and ext4 with the options that turn its flush on
# rename off.
# - On each FUSE mount: the sample and the four backup outcomes (one of them
#   with the names in capitals), compared with the same runs in the build
#   folder: console text, names (in any letter case) and bytes; then 20
#   SIGKILLs at random moments (tests/kill_test.py).
# - On ext4: a write is fsynced where the mount has noauto_da_alloc or
#   data=writeback, and not with the default options.
# Needs root, /dev/fuse, loop devices (exfat-fuse mounts only block devices
# for root) and what tools/install-deps.sh --tests installs; where one is
# missing it says which and passes.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
build=$top/build/default
[ -x "$build/oem2sif" ] && [ -x "$build/tests/make_setup_file" ] ||
  { cmake --preset default >/dev/null && cmake --build --preset default >/dev/null; }
tool=$build/oem2sif

skip() {
  echo "test-filesystems: skipped: $*"
  exit 0
}
[ "$(id -u)" -eq 0 ] || skip "mounting images needs root"
[ -c /dev/fuse ] || skip "there is no /dev/fuse"
for program in mkfs.exfat mount.exfat-fuse mkntfs ntfs-3g mkfs.vfat fusefat mkfs.ext4 losetup strace; do
  command -v "$program" >/dev/null || skip "$program is not installed (tools/install-deps.sh --tests)"
done

mkdir -p "$top/build"
work=$(mktemp -d "$top/build/test-filesystems.XXXXXX")
mounts=()
loops=()
connections=/sys/fs/fuse/connections
own_fusectl=0
if ! mountpoint -q "$connections" && mount -t fusectl fusectl "$connections" 2>/dev/null; then own_fusectl=1; fi
cleanup() {
  local m number
  for m in "${mounts[@]}"; do
    timeout 10 umount "$m" 2>/dev/null && continue
    # A FUSE daemon that hangs keeps its mount busy: abort its connection.
    number=$(awk -v p="$m" '$5 == p { split($3, d, ":"); print d[1] * 1048576 + d[2] }' /proc/self/mountinfo)
    [ -z "$number" ] || echo 1 >"$connections/$number/abort" 2>/dev/null || true
    umount -l "$m" 2>/dev/null || true
  done
  for m in "${loops[@]}"; do losetup -d "$m" 2>/dev/null || true; done
  [ $own_fusectl -eq 0 ] || umount "$connections" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# image NAME MKFS-COMMAND...: an 8 MB sparse image, formatted, and its mount point.
image() {
  local name=$1
  shift
  truncate -s 8M "$work/$name.img"
  "$@" "$work/$name.img" >/dev/null 2>&1 || skip "$1 failed"
  mkdir "$work/$name"
}
loop() {  # image file: sets $device to a loop device for it
  device=$(losetup --find --show "$1" 2>/dev/null) || skip "no loop device can be had"
  loops+=("$device")
}
mounted() {  # mount point, command...: runs the mount command, or skips saying why
  local point=$1
  shift
  "$@" >/dev/null 2>"$work/mount.err" || skip "$1 cannot mount here: $(head -n 1 "$work/mount.err")"
  mounts+=("$point")
}

image exfat mkfs.exfat
loop "$work/exfat.img"
mounted "$work/exfat" mount.exfat-fuse "$device" "$work/exfat"
image ntfs mkntfs -q -F -f
mounted "$work/ntfs" ntfs-3g "$work/ntfs.img" "$work/ntfs"
image fat mkfs.vfat -F 32
mounted "$work/fat" fusefat -o rw+ "$work/fat.img" "$work/fat"
mkdir "$work/ref"  # the build folder's file system

status=0
fail() {
  echo "FAIL: $*"
  status=1
}

sample=$top/examples/sample
older='[SCSI]\r\nfirst = "First run"\r\n'
# lay_out FOLDER CASE: the files before the run.
lay_out() {
  local dir=$1
  mkdir "$dir"
  case $2 in
    first) cp "$sample"/txtsetup.oem "$sample"/txtsetup.sif "$dir" ;;
    both) cp "$sample"/txtsetup.oem "$sample"/txtsetup.sif "$dir" && printf '%b' "$older" >"$dir/txtsetup.sif.orig" ;;
    capitals)
      cp "$sample/txtsetup.oem" "$dir/TXTSETUP.OEM" && cp "$sample/txtsetup.sif" "$dir/TXTSETUP.SIF"
      printf '%b' "$older" >"$dir/TXTSETUP.SIF.ORIG" ;;
    leftover) cp "$sample/txtsetup.oem" "$dir" && cp "$sample/txtsetup.sif" "$dir/txtsetup.sif.temp" ;;
    neither) cp "$sample/txtsetup.oem" "$dir" ;;
  esac
}
sum_of() { md5sum | cut -d' ' -f1; }
# What a folder holds: names in lower case (exFAT and FAT ignore letter case,
# and a replace there takes the name it was given), each with its bytes' sum.
contents() {
  (cd "$1" && for f in *; do echo "$(echo "$f" | tr A-Z a-z) $(sum_of <"$f")"; done | sort)
}

cases="first both capitals leftover neither"
for fs in ref exfat ntfs fat; do
  for c in $cases; do
    lay_out "$work/$fs/$c" "$c"
    (cd "$work/$fs/$c" && printf '1\n\n' | "$tool" >"../$c.out")
  done
done
original=$(sum_of <"$sample/txtsetup.sif")
older_sum=$(printf '%b' "$older" | sum_of)
for fs in ref exfat ntfs fat; do
  # The outcomes themselves, then the same bytes as in the build folder.
  [ "$(sum_of <"$work/$fs/first/txtsetup.sif.orig")" = "$original" ] || fail "$fs: first run: no backup of the original"
  [ "$(sum_of <"$work/$fs/both/txtsetup.sif.orig")" = "$older_sum" ] || fail "$fs: the backup changed"
  [ "$(sum_of <"$work/$fs/capitals/TXTSETUP.SIF.ORIG")" = "$older_sum" ] || fail "$fs: the backup in capitals changed"
  [ -e "$work/$fs/leftover/txtsetup.sif" ] || fail "$fs: the left-over copy did not become txtsetup.sif"
  for c in $cases; do
    cmp -s "$work/ref/$c.out" "$work/$fs/$c.out" || fail "$fs: $c: the console text differs"
    [ "$(contents "$work/ref/$c")" = "$(contents "$work/$fs/$c")" ] ||
      fail "$fs: $c: $(diff <(contents "$work/ref/$c") <(contents "$work/$fs/$c") | grep '^[<>]' | tr '\n' ' ')"
  done
done
echo "sample and backup outcomes on exFAT, NTFS and FAT: $([ $status -eq 0 ] && echo same as in the build folder || echo DIFFER)"

for fs in exfat ntfs fat; do
  echo "== kills on $fs"
  timeout -s KILL 100 python3 tests/kill_test.py --tool "$tool" --make-setup-file "$build/tests/make_setup_file" --work "$work/$fs" \
    --kills 20 --interrupts 0 --options 10 --ids 8 --lines 11600 || fail "kills on $fs"
done

# ext4: the fsyncs of a first run on the sample, by mount options.
image ext4 mkfs.ext4 -q -F
loop "$work/ext4.img"
for options in defaults noauto_da_alloc data=writeback; do
  mounted "$work/ext4" mount -t ext4 -o "$options" "$device" "$work/ext4"
  rm -rf "$work/ext4/run" && lay_out "$work/ext4/run" first
  (cd "$work/ext4/run" && printf '1\n\n' | strace -f -qq -e trace=fsync -o "$work/fsync.log" "$tool" >/dev/null)
  syncs=$(grep -c fsync "$work/fsync.log" || true)
  echo "ext4 ($options): $syncs fsyncs"
  if [ "$options" = defaults ]; then [ "$syncs" -eq 0 ] || fail "ext4 with default options is fsynced"; fi
  if [ "$options" != defaults ]; then [ "$syncs" -gt 0 ] || fail "ext4 with $options is not fsynced"; fi
  umount "$work/ext4"
  unset 'mounts[-1]'
done

[ $status -eq 0 ] && echo "filesystems: 0 failed" || echo "filesystems: FAILED"
exit $status
