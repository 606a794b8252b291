#!/usr/bin/env bash
# Installs what building and testing oem2sif needs on Debian (12 or later):
# the Linux tool chain and test libraries, clang for the fuzzers, mingw-w64
# for the Windows builds and Wine to test them. wine32 (for the i686 build)
# comes with the i386 architecture, where that can be had; without it the
# i686 build is still built, only not run.
# Installs only what is missing; uses sudo when not run as root.
set -euo pipefail
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive

missing() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || echo "$p"
  done
}

packages=(cmake g++ make libgtest-dev libbenchmark-dev clang libclang-rt-dev python3 util-linux
          mingw-w64)
need=$(missing "${packages[@]}")
wine_need=$(missing wine wine64)
if [ -n "$need$wine_need" ]; then
  "${as_root[@]}" apt-get update -qq
fi
# shellcheck disable=SC2086
[ -z "$need" ] || "${as_root[@]}" apt-get install -y -qq --no-install-recommends $need
# Wine as it was tested: with the packages it recommends.
# shellcheck disable=SC2086
[ -z "$wine_need" ] || "${as_root[@]}" apt-get install -y -qq $wine_need

if [ -n "$(missing wine32:i386)" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
  fi
  { "${as_root[@]}" apt-get update -qq &&
    "${as_root[@]}" apt-get install -y -qq wine32:i386; } ||
    echo "install-deps: wine32 is not available; the i686 build will not be run under Wine" >&2
fi
