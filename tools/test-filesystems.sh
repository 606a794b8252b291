#!/usr/bin/env bash
# Runs the tool on the file systems users keep setup folders on, each mounted
# from an 8 MB image: exFAT (exfat-fuse), NTFS (ntfs-3g) and FAT32 (fusefat)
# through FUSE get the sample and the four backup outcomes (one in capitals),
# compared with the same runs in the build folder (console text, names in
# any letter case, bytes), then 20 SIGKILLs (tests/kill_test.py: its budget
# is the kills; each step's hang limit scales with a run timed on that
# mount, so a slow mount or a busy machine takes longer, never fails); ext4 gets
# fsyncs only under noauto_da_alloc or data=writeback. Without root,
# /dev/fuse, a loop device (exfat-fuse mounts only block devices for root)
# or a program of install-deps.sh --tests, it says which and passes.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build/default
[ -x "$build/tests/make_setup_file" ] || { cmake --preset default && cmake --build --preset default; } >/dev/null
tool=$build/oem2sif
skip() { echo "test-filesystems: skipped: $*"; exit 0; }
[ "$(id -u)" -eq 0 ] || skip "mounting images needs root"
[ -c /dev/fuse ] || skip "there is no /dev/fuse"
for program in mkfs.exfat mount.exfat-fuse mkntfs ntfs-3g mkfs.vfat fusefat mkfs.ext4 losetup strace; do
  command -v "$program" >/dev/null || skip "$program is not installed (tools/install-deps.sh --tests)"
done

work=$(mktemp -d "$PWD/build/test-filesystems.XXXXXX")
mounts=() loops=() own_fusectl=0
fusectl=/sys/fs/fuse/connections
if ! mountpoint -q $fusectl && mount -t fusectl fusectl $fusectl 2>/dev/null; then own_fusectl=1; fi
cleanup() {
  for m in "${mounts[@]}"; do
    timeout 10 umount "$m" 2>/dev/null && continue
    # A FUSE daemon that hangs keeps its mount busy: abort its connection.
    n=$(awk -v p="$m" '$5 == p { split($3, d, ":"); print d[1] * 1048576 + d[2] }' /proc/self/mountinfo)
    echo 1 2>/dev/null >"$fusectl/$n/abort" || true
    umount -l "$m" 2>/dev/null || true
  done
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null || true; done
  [ $own_fusectl -eq 0 ] || umount $fusectl || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

image() {  # NAME MKFS...: a formatted sparse image and its mount point
  truncate -s 8M "$work/$1.img" && mkdir "$work/$1"
  "${@:2}" "$work/$1.img" >/dev/null 2>&1 || skip "$2 failed"
}
loop() {  # sets $device to a loop device for the image
  device=$(losetup --find --show "$1" 2>/dev/null) || skip "no loop device can be had"
  loops+=("$device")
}
mounted() {  # MOUNT-POINT COMMAND...
  "${@:2}" >/dev/null 2>"$work/mount.err" || skip "$2 cannot mount here: $(head -n 1 "$work/mount.err")"
  mounts+=("$1")
}
image exfat mkfs.exfat && loop "$work/exfat.img" && mounted "$work/exfat" mount.exfat-fuse "$device" "$work/exfat"
image ntfs mkntfs -q -F -f && mounted "$work/ntfs" ntfs-3g "$work/ntfs.img" "$work/ntfs"
image fat mkfs.vfat -F 32 && mounted "$work/fat" fusefat -o rw+ "$work/fat.img" "$work/fat"
mkdir "$work/ref"  # on the build folder's file system

status=0
fail() { echo "FAIL: $*"; status=1; }
sample=examples/sample
older='[SCSI]\r\nfirst = "First run"\r\n'
lay_out() {  # FOLDER CASE: the files before the run
  mkdir "$1"
  case $2 in
    first) cp $sample/txtsetup.oem $sample/txtsetup.sif "$1" ;;
    both) cp $sample/txtsetup.oem $sample/txtsetup.sif "$1" && printf '%b' "$older" >"$1/txtsetup.sif.orig" ;;
    capitals) cp $sample/txtsetup.oem "$1/TXTSETUP.OEM" && cp $sample/txtsetup.sif "$1/TXTSETUP.SIF" &&
      printf '%b' "$older" >"$1/TXTSETUP.SIF.ORIG" ;;
    leftover) cp $sample/txtsetup.oem "$1" && cp $sample/txtsetup.sif "$1/txtsetup.sif.temp" ;;
    neither) cp $sample/txtsetup.oem "$1" ;;
  esac
}
sum_of() { md5sum | cut -d' ' -f1; }
# Names in lower case: exFAT and FAT ignore letter case, and a file replaced
# there takes the name the tool gave.
contents() { (cd "$1" && for f in *; do echo "$(echo "$f" | tr A-Z a-z) $(sum_of <"$f")"; done | sort); }

cases="first both capitals leftover neither"
for fs in ref exfat ntfs fat; do
  for c in $cases; do
    lay_out "$work/$fs/$c" "$c"
    (cd "$work/$fs/$c" && printf '1\n\n' | "$tool" >"../$c.out")
  done
  [ "$(sum_of <"$work/$fs/first/txtsetup.sif.orig")" = "$(sum_of <$sample/txtsetup.sif)" ] || fail "$fs: no backup"
  [ "$(cat "$work/$fs/both/txtsetup.sif.orig" "$work/$fs/capitals/TXTSETUP.SIF.ORIG" | sum_of)" = \
    "$(printf '%b%b' "$older" "$older" | sum_of)" ] || fail "$fs: a backup changed"
  [ -e "$work/$fs/leftover/txtsetup.sif" ] || fail "$fs: the left-over copy did not become txtsetup.sif"
  for c in $cases; do
    cmp -s "$work/ref/$c.out" "$work/$fs/$c.out" || fail "$fs: $c: the console text differs"
    diff <(contents "$work/ref/$c") <(contents "$work/$fs/$c") >/dev/null || fail "$fs: $c: other files or bytes"
  done
done
echo "sample and backup outcomes on exFAT, NTFS and FAT32 against the build folder: $([ $status -eq 0 ] && echo same || echo DIFFER)"

for fs in exfat ntfs fat; do
  echo "== kills on $fs"
  python3 tests/kill_test.py --tool "$tool" --make-setup-file "$build/tests/make_setup_file" \
    --work "$work/$fs" --kills 20 --interrupts 0 --options 10 --ids 8 --lines 11600 || fail "kills on $fs"
done

image ext4 mkfs.ext4 -q -F && loop "$work/ext4.img"
for options in defaults noauto_da_alloc data=writeback; do
  mounted "$work/ext4" mount -t ext4 -o "$options" "$device" "$work/ext4"
  rm -rf "$work/ext4/run" && lay_out "$work/ext4/run" first
  (cd "$work/ext4/run" && printf '1\n\n' | strace -f -qq -e trace=fsync -o "$work/fsync.log" "$tool" >/dev/null)
  syncs=$(grep -c fsync "$work/fsync.log" || true)
  echo "ext4 ($options): $syncs fsyncs"
  [ "$options" = defaults ] && [ "$syncs" -ne 0 ] && fail "ext4 with default options is fsynced"
  [ "$options" != defaults ] && [ "$syncs" -eq 0 ] && fail "ext4 with $options is not fsynced"
  umount "$work/ext4" && unset 'mounts[-1]'
done
[ $status -eq 0 ] && echo "filesystems: 0 failed" || echo "filesystems: FAILED"
exit $status
