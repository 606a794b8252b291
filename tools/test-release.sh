#!/usr/bin/env bash
# Checks the release that tools/release.sh makes:
# - two builds of HEAD, in two clones, give the same bytes;
# - the archives hold what they should, the guides as Notepad reads them;
# - the i686 oem2sif.exe from its zip runs the sample under Wine, and its
#   oem2sif-check.exe checks the result, their output compared byte for byte,
#   and its oem2sif-integrate.exe writes the same txtsetup.sif
#   (where this machine cannot run 32-bit programs, the x64 ones from their
#   zip run in their place, and the reason is printed);
# - the .deb installs, runs the sample, the check and the integration from
#   PATH and is
#   removed cleanly (as root only);
# - lintian finds no error, and the README states the glibc the Linux
#   executable needs.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
work=$(mktemp -d "${TMPDIR:-/tmp}/oem2sif-release-XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
expected=$top/tests/release/sample-xp.out
expected_check=$top/tests/release/sample-check.out

head=$(git rev-parse HEAD)
for dir in a second-build; do  # two folders, even of different lengths
  git clone -q --shared --no-checkout "$top" "$work/$dir"
  git -C "$work/$dir" checkout -q --detach "$head"
  "$work/$dir/tools/release.sh" > "$work/$dir.log" || { cat "$work/$dir.log"; exit 1; }
done
dist=$work/a/dist
echo "== two builds"
diff -r "$dist" "$work/second-build/dist" && echo "same bytes" || fail "the two builds differ"
cat "$dist/SHA256SUMS"
[ "$(sed -e 's/.* //' -e 's/-[0-9.]*-/-V-/' -e 's/_[0-9.]*-/_V-/' "$dist/SHA256SUMS" | tr '\n' ' ')" = \
  "oem2sif-V-windows-x86.zip oem2sif-V-windows-x64.zip oem2sif-V-linux-x86_64.tar.gz oem2sif_V-1_amd64.deb oem2sif-V-web.html " ] ||
  fail "unexpected release files"
cd "$dist"

echo "== archives"
for arch in x86 x64; do
  zip=$(ls oem2sif-*-windows-$arch.zip)
  [ "$(unzip -Z1 "$zip" | sed 's,^[^/]*/,,' | sort | tr '\n' ' ')" = \
    "LICENSE.txt guide-en.txt guide-ja.txt oem2sif-check.exe oem2sif-integrate.exe oem2sif.exe " ] || fail "$zip: unexpected members"
done
tar tzf oem2sif-*-linux-x86_64.tar.gz | sed 's,^[^/]*/,,' | sort | tr '\n' ' ' | grep -qx \
  ' LICENSE guide-en.md guide-ja.md oem2sif oem2sif-check oem2sif-check.1 oem2sif-integrate oem2sif-integrate.1 oem2sif.1 ' ||
  fail "tarball: unexpected members"
mkdir "$work/zip" && unzip -q oem2sif-*-windows-x86.zip -d "$work/zip"
guides=$(echo "$work"/zip/*/)
# Notepad on XP and 11: every line ends in CR LF; Shift_JIS, and UTF-8 with a BOM.
for g in guide-ja.txt guide-en.txt; do
  ! grep -q $'[^\r]$' "$guides/$g" || fail "$g: a line does not end in CR LF"
done
iconv -f CP932 -t UTF-8 "$guides/guide-ja.txt" | tr -d '\r' | cmp -s - <(grep -v '^<!--' "$top/docs/guide-ja.md") ||
  fail "guide-ja.txt is not the Japanese guide in Shift_JIS"
[ "$(head -c 3 "$guides/guide-en.txt" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "guide-en.txt has no BOM"
# The version resource that Explorer's Properties show.
version=$(ls oem2sif-*-linux-x86_64.tar.gz | cut -d- -f2)
strings -e l "$guides/oem2sif.exe" | grep -A1 -x ProductVersion | grep -qx "$version" ||
  fail "oem2sif.exe: no product version $version"

sample() {  # folder: a scratch copy of the sample
  mkdir "$1" && cp "$top"/examples/sample/txtsetup.oem "$top"/examples/sample/txtsetup.sif "$1/"
}
if reason=$("$top/tools/probe-i686.sh"); then
  arch=x86 loader=/usr/lib/wine/wine prefix=wine32 winearch=win32 exe=$guides/oem2sif.exe
  echo "== i686 oem2sif.exe under Wine"
else
  arch=x64 loader=/usr/lib/wine/wine64 prefix=wine64 winearch=win64
  echo "== i686 oem2sif.exe under Wine: skipped: $reason"
  echo "== x64 oem2sif.exe under Wine, in its place"
  mkdir "$work/zip-x64" && unzip -q oem2sif-*-windows-x64.zip -d "$work/zip-x64"
  exe=$(echo "$work"/zip-x64/*/oem2sif.exe)
fi
wine() { WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX=$top/build/$prefix WINEARCH=$winearch "$loader" "$@"; }
sample "$work/wine"
(cd "$work/wine" && printf '2\n\n' | wine "$exe" > "$work/wine.out") || true
perl -pe 's/\n/\r\n/' "$expected" | cmp - "$work/wine.out" && echo "output as expected" ||
  fail "Windows ($arch) output differs"
# The sample's driver files and INFs are not there: six findings, status 1.
(cd "$work/wine" && { wine "$(dirname "$exe")/oem2sif-check.exe" > "$work/wine-check.out" && echo 0 || echo $?; } \
   > "$work/wine-check.status")
perl -pe 's/\n/\r\n/' "$expected_check" | cmp - "$work/wine-check.out" && [ "$(cat "$work/wine-check.status")" = 1 ] &&
  echo "oem2sif-check.exe: output and status as expected" || fail "Windows ($arch) oem2sif-check output or status differs"
# The same integration in one command: the sample is its own driver folder.
sample "$work/wine-integrate"
(cd "$work/wine-integrate" && { wine "$(dirname "$exe")/oem2sif-integrate.exe" . . --windows xp > "$work/wine-integrate.out" \
   && echo 0 || echo $?; } > "$work/wine-integrate.status")
cmp -s "$work/wine/txtsetup.sif" "$work/wine-integrate/txtsetup.sif" && [ "$(cat "$work/wine-integrate.status")" = 1 ] &&
  echo "oem2sif-integrate.exe: txtsetup.sif and status as expected" || fail "Windows ($arch) oem2sif-integrate wrote otherwise"

echo "== Debian package"
deb=$(ls "$dist"/oem2sif_*_amd64.deb)
if [ "$(id -u)" -ne 0 ]; then
  echo "install skipped, not root"
elif dpkg-query -W oem2sif >/dev/null 2>&1; then
  echo "install skipped, oem2sif is installed already"
else
  # apt runs dpkg -i / -r, and waits for the dpkg lock.
  apt_get() {
    apt-get -o DPkg::Lock::Timeout=900 -y -qq "$@" > "$work/apt.log" 2>&1 || { cat "$work/apt.log"; false; }
  }
  apt_get install "$deb"
  files=$(dpkg -L oem2sif | while read -r p; do [ -d "$p" ] || echo "$p"; done)
  sample "$work/deb"
  (cd "$work/deb" && printf '2\n\n' | PATH=/usr/bin:/bin oem2sif > "$work/deb.out") || true
  cmp "$expected" "$work/deb.out" && echo "output as expected" || fail "installed oem2sif: output differs"
  cmp "$work/wine/txtsetup.sif" "$work/deb/txtsetup.sif" && echo "txtsetup.sif as Windows ($arch) wrote it" ||
    fail "Linux and Windows ($arch) wrote different txtsetup.sif"
  status_of() { (cd "$1" && PATH=/usr/bin:/bin oem2sif-check "${@:2}" > "$work/check.out" && echo 0 || echo $?); }
  [ "$(status_of "$work/deb")" = 1 ] && cmp -s "$expected_check" "$work/check.out" &&
    echo "installed oem2sif-check: output and status as expected" || fail "installed oem2sif-check: output or status differs"
  sample "$work/deb-clean" && cp "$work/deb-clean/txtsetup.sif" "$work/deb-clean/txtsetup.sif.orig"
  [ "$(status_of "$work/deb-clean")" = 0 ] || fail "installed oem2sif-check: an unchanged folder is not clean"
  [ "$(status_of "$work" deb-missing)" = 2 ] || fail "installed oem2sif-check: a folder without txtsetup.sif is no usage error"
  sample "$work/deb-integrate"
  (cd "$work/deb-integrate" && PATH=/usr/bin:/bin oem2sif-integrate . . --windows xp > "$work/integrate.out") &&
    fail "installed oem2sif-integrate: the sample's missing driver files are no findings"
  cmp "$work/deb/txtsetup.sif" "$work/deb-integrate/txtsetup.sif" && cmp "$work/deb/txtsetup.sif.orig" "$work/deb-integrate/txtsetup.sif.orig" &&
    echo "installed oem2sif-integrate: the files oem2sif wrote" || fail "installed oem2sif-integrate wrote otherwise"
  man -w oem2sif-integrate >/dev/null 2>&1 || [ -f /usr/share/man/man1/oem2sif-integrate.1.gz ] || fail "no man page for oem2sif-integrate"
  apt_get remove oem2sif
  for p in $files /usr/share/doc/oem2sif; do [ ! -e "$p" ] || fail "left after removal: $p"; done
  echo "installed $(echo "$files" | wc -w) files, removed"
fi
lintian --fail-on error "$deb" 2>/dev/null || fail "lintian"

echo "== glibc"
mkdir "$work/tar" && tar xzf oem2sif-*-linux-x86_64.tar.gz -C "$work/tar"
needed=$(objdump -T "$work"/tar/*/oem2sif "$work"/tar/*/oem2sif-check "$work"/tar/*/oem2sif-integrate | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' |
  sort -uV | tail -n 1)
stated=$(grep -o 'glibc [0-9.]*[0-9] or later' "$top/README.md" | head -n 1 | cut -d' ' -f2)
[ "$needed" = "$stated" ] && echo "glibc $needed" || fail "the executable needs glibc $needed, the README says ${stated:-nothing}"

[ $status -eq 0 ] && echo "release: 0 failed" || echo "release: FAILED"
exit $status
