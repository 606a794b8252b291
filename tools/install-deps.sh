#!/usr/bin/env bash
# Installs what building and testing oem2sif needs on Debian (12 or later).
# Installs only what is missing; uses sudo when not run as root.
set -euo pipefail
packages=(cmake g++ make libgtest-dev libbenchmark-dev clang libclang-rt-dev
          python3 util-linux)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
