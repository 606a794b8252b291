#!/usr/bin/env bash
# Installs what oem2sif needs on Debian (12 or later), only what is missing,
# with sudo when not run as root.
#
#   tools/install-deps.sh           what building the tools needs: CMake, g++
#                                   and zlib (oem2sif-check unpacks cabinets)
#   tools/install-deps.sh --tests   that, and everything the tests need: the
#                                   test libraries, clang for the fuzzers,
#                                   mingw-w64 and its zlib for the Windows
#                                   builds and Wine
#                                   to run them (wine32 comes with the i386
#                                   architecture; where this machine cannot
#                                   run 32-bit programs, it says so, and the
#                                   i686 build is built, not run),
#                                   the release tools (zip, lintian ...), the
#                                   file systems the tool is tested on (exFAT,
#                                   NTFS and FAT through FUSE, their mkfs tools,
#                                   strace to count fsyncs), the CD image
#                                   tools (genisoimage, xorriso, nasm, QEMU,
#                                   bsdtar, pycdlib), and
#                                   emscripten, Chromium, Firefox ESR, WebKit
#                                   (MiniBrowser, its WebDriver and Xvfb) and
#                                   the npm packages of the page (web/)
set -euo pipefail
cd "$(dirname "$0")/.."
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive

case "${1:-}" in
  "") tests=0 ;;
  --tests) tests=1 ;;
  *) echo "usage: tools/install-deps.sh [--tests]" >&2; exit 2 ;;
esac

missing() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || echo "$p"
  done
}

updated=0
apt_install() {  # [--with-recommends] packages...
  local recommends=--no-install-recommends
  if [ "$1" = --with-recommends ]; then recommends=; shift; fi
  local need
  need=$(missing "$@")
  [ -n "$need" ] || return 0
  [ $updated -eq 1 ] || { "${as_root[@]}" apt-get update -qq; updated=1; }
  # shellcheck disable=SC2086
  "${as_root[@]}" apt-get install -y -qq $recommends $need
}

apt_install cmake g++ make zlib1g-dev
[ $tests -eq 1 ] || exit 0

apt_install libgtest-dev libbenchmark-dev clang libclang-rt-dev python3 util-linux mingw-w64 libz-mingw-w64-dev
# The file systems of tools/test-filesystems.sh.
apt_install fuse3 exfat-fuse exfatprogs ntfs-3g fusefat dosfstools e2fsprogs mount strace
# CD images (oem2sif-integrate --iso): made with genisoimage, their boot
# code assembled with nasm and booted in QEMU, read back by isoinfo,
# xorriso, bsdtar and pycdlib.
apt_install genisoimage xorriso nasm qemu-system-x86 libarchive-tools python3-pycdlib
# The release and its test.
apt_install git zip unzip strip-nondeterminism lintian
# The page: emscripten (its optimiser needs node-acorn), Chromium and Firefox
# ESR to test it headless, WebKit's MiniBrowser and WebKitWebDriver to test it
# on a virtual X server (xvfb-run needs xauth), a Japanese font for its
# screenshot, npm for the diff and zip libraries and the browser drivers
# (web/package-lock.json).
apt_install emscripten node-acorn chromium firefox-esr fonts-ipafont-gothic
apt_install webkit2gtk-driver xvfb xauth
command -v npm >/dev/null || apt_install npm
(cd web && npm ci --no-audit --no-fund)
# Wine as it was tested: with the packages it recommends.
apt_install --with-recommends wine wine64

if [ -n "$(missing wine32:i386)" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
  fi
  { "${as_root[@]}" apt-get update -qq &&
    "${as_root[@]}" apt-get install -y -qq wine32:i386; } ||
    echo "install-deps: wine32 could not be installed" >&2
fi
# Installed is not usable: some machines run no 32-bit program at all.
if ! reason=$(tools/probe-i686.sh); then
  echo "install-deps: the i686 oem2sif.exe cannot be run here: $reason;" \
       "the tests build it and check its imports, and run the x64 one" >&2
fi
