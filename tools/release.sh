#!/usr/bin/env bash
# Builds the release of the current commit into dist/: the Windows zips
# (i686 and x64), the Linux tarball, the Debian package (each with oem2sif,
# oem2sif-check and oem2sif-integrate), the web page and SHA256SUMS.
# Two runs from the same commit give the same bytes, in any folder and at
# any time: every date is the commit's (SOURCE_DATE_EPOCH), and archive
# members have a fixed order, mode and owner.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
git diff --quiet HEAD -- || echo "release: the working tree differs from the commit it is dated by" >&2
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC LC_ALL=C.UTF-8
umask 022
build=$top/build/release
dist=$top/dist
stage=$build/stage
rm -rf "$build" "$dist"
mkdir -p "$stage" "$dist"

build_tool() {  # folder, cmake arguments...
  local dir=$build/$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DOEM2SIF_TESTS=OFF -DOEM2SIF_RELEASE=ON "$@" >/dev/null
  cmake --build "$dir" -j 2 >/dev/null
}
build_tool linux
build_tool windows-x86 --toolchain cmake/mingw-i686.cmake
build_tool windows-x64 --toolchain cmake/mingw-x86_64.cmake
# The page inlines the diff and zip libraries that web/package-lock.json pins.
[ -f web/node_modules/diff/dist/diff.min.js ] && [ -f web/node_modules/fflate/umd/index.js ] || (cd web && npm ci --no-audit --no-fund --prefer-offline >/dev/null)
cmake -S . -B "$build/web" --toolchain cmake/emscripten.cmake -DCMAKE_BUILD_TYPE=Release -DOEM2SIF_TESTS=OFF >/dev/null
cmake --build "$build/web" -j 2 >/dev/null
version=$(sed -n 's/^#define OEM2SIF_VERSION "\(.*\)"$/\1/p' "$build/linux/generated/oem2sif_version.h")
[ -n "$version" ] || { echo "release: no version in the build" >&2; exit 1; }
date_iso=$(date -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
# The glibc the Linux executables need: their highest GLIBC_ symbol version.
glibc=$(objdump -T "$build/linux/oem2sif" "$build/linux/oem2sif-check" "$build/linux/oem2sif-integrate" | grep -o 'GLIBC_[0-9.]*' |
  sed 's/GLIBC_//' | sort -uV | tail -n 1)

# Documents. In the repository: UTF-8 Markdown with LF. The HTML comments
# are notes for the maintainers.
doc() { grep -v '^<!--' "docs/$1"; }
man_page() {  # oem2sif | oem2sif-check | oem2sif-integrate
  sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$date_iso/" "docs/$1.1"
}
crlf() { sed 's/\r*$/\r/'; }

# Sets every date in a staged tree to the commit's.
settle() { find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +; }

artifacts=()

# For Notepad on Windows XP and 11: CR LF; Shift_JIS for the Japanese guide
# (what a Japanese XP reads best), UTF-8 with a byte-order mark for the
# English one (it quotes the Japanese messages, and is read in any locale).
windows_zip() {  # x86 | x64
  local name=oem2sif-$version-windows-$1
  local dir=$stage/$name
  mkdir -p "$dir"
  cp "$build/windows-$1/oem2sif.exe" "$build/windows-$1/oem2sif-check.exe" "$build/windows-$1/oem2sif-integrate.exe" "$dir/"
  doc guide-ja.md | crlf | iconv -f UTF-8 -t CP932 > "$dir/guide-ja.txt"
  { printf '\357\273\277'; doc guide-en.md | crlf; } > "$dir/guide-en.txt"
  crlf < LICENSE > "$dir/LICENSE.txt"
  chmod 644 "$dir"/*
  settle "$dir"
  (cd "$stage" && zip -q -X -D "$dist/$name.zip" \
     "$name/oem2sif.exe" "$name/oem2sif-check.exe" "$name/oem2sif-integrate.exe" "$name/guide-ja.txt" "$name/guide-en.txt" \
     "$name/LICENSE.txt")
  strip-nondeterminism -T "$SOURCE_DATE_EPOCH" "$dist/$name.zip"
  artifacts+=("$name.zip")
}

linux_tarball() {
  local name=oem2sif-$version-linux-x86_64
  local dir=$stage/$name
  mkdir -p "$dir"
  install -m 755 "$build/linux/oem2sif" "$build/linux/oem2sif-check" "$build/linux/oem2sif-integrate" "$dir/"
  doc guide-ja.md > "$dir/guide-ja.md"
  doc guide-en.md > "$dir/guide-en.md"
  cp LICENSE "$dir/LICENSE"
  man_page oem2sif > "$dir/oem2sif.1"
  man_page oem2sif-check > "$dir/oem2sif-check.1"
  man_page oem2sif-integrate > "$dir/oem2sif-integrate.1"
  chmod 644 "$dir"/*.md "$dir/LICENSE" "$dir"/*.1
  settle "$dir"
  tar -C "$stage" --sort=name --format=gnu --owner=0 --group=0 --numeric-owner \
    -cf - "$name" | gzip -9n > "$dist/$name.tar.gz"
  artifacts+=("$name.tar.gz")
}

debian_package() {
  local name=oem2sif_$version-1_amd64
  local root=$stage/deb
  local docdir=$root/usr/share/doc/oem2sif
  mkdir -p "$root/DEBIAN" "$root/usr/bin" "$root/usr/share/man/man1" "$docdir"
  install -m 755 "$build/linux/oem2sif" "$build/linux/oem2sif-check" "$build/linux/oem2sif-integrate" "$root/usr/bin/"
  man_page oem2sif | gzip -9n > "$root/usr/share/man/man1/oem2sif.1.gz"
  man_page oem2sif-check | gzip -9n > "$root/usr/share/man/man1/oem2sif-check.1.gz"
  man_page oem2sif-integrate | gzip -9n > "$root/usr/share/man/man1/oem2sif-integrate.1.gz"
  cp packaging/debian/copyright "$docdir/copyright"
  sed -e "s/@DEB_VERSION@/$version-1/" -e "s/@VERSION@/$version/" \
      -e "s/@DATE@/$(date -R -d "@$SOURCE_DATE_EPOCH")/" packaging/debian/changelog.in |
    gzip -9n > "$docdir/changelog.Debian.gz"
  doc guide-ja.md > "$docdir/guide-ja.md"
  doc guide-en.md > "$docdir/guide-en.md"
  find "$root/usr" -type f ! -path '*/bin/*' -exec chmod 644 {} +
  find "$root" -type d -exec chmod 755 {} +
  # Installed-Size as dpkg-gencontrol counts it: KiB per file, rounded up.
  local size
  size=$(find "$root/usr" -type f -printf '%s\n' | awk '{ k += int(($1 + 1023) / 1024) } END { print k }')
  sed -e "s/@DEB_VERSION@/$version-1/" -e "s/@INSTALLED_SIZE@/$size/" -e "s/@GLIBC@/$glibc/" \
    packaging/debian/control.in > "$root/DEBIAN/control"
  (cd "$root" && find usr -type f | sort | xargs md5sum) > "$root/DEBIAN/md5sums"
  chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
  settle "$root"
  # One compressor thread: xz's output may depend on the thread count.
  dpkg-deb --root-owner-group -Zxz --threads-max=1 --build "$root" "$dist/$name.deb" >/dev/null
  artifacts+=("$name.deb")
}

# One self-contained file, opened straight from disk.
web_page() {
  local name=oem2sif-$version-web.html
  install -m 644 "$build/web/oem2sif.html" "$dist/$name"
  artifacts+=("$name")
}

windows_zip x86
windows_zip x64
linux_tarball
debian_package
web_page


(cd "$dist" && sha256sum "${artifacts[@]}") > "$dist/SHA256SUMS"
echo "release $version (glibc $glibc or later) in dist/:"
(cd "$dist" && ls -l "${artifacts[@]}" SHA256SUMS)
