#!/usr/bin/env bash
# Tests the page (build/web/oem2sif.html) in headless Chromium and Firefox,
# and in WebKit (MiniBrowser under xvfb-run), opened from disk: three runs on
# the sample, each compared with the Linux build's run on a copy of it
# (console text, txtsetup.sif and txtsetup.sif.orig byte for byte), the diff
# view, and that no request leaves the page. Installs nothing
# (tools/install-deps.sh --tests does). Leaves screenshots in
# build/web-test/web-page.png (Chromium), web-page-firefox.png and
# web-page-webkit.png.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --workflow --preset web
cmake --preset tool >/dev/null
cmake --build --preset tool

work=$PWD/build/web-test
rm -rf "$work"
mkdir -p "$work/linux"
cp examples/sample/txtsetup.oem examples/sample/txtsetup.sif "$work/linux/"
tool=$PWD/build/tool/oem2sif
(
  cd "$work/linux"
  printf '1\n\n' | "$tool" >"$work/stdout-1"
  cp txtsetup.sif "$work/sif-1"
  cmp txtsetup.sif.orig ../../../examples/sample/txtsetup.sif
  printf '2\n\n' | "$tool" >"$work/stdout-2"
  cp txtsetup.sif "$work/sif-2"
  printf '\n' | "$tool" >"$work/stdout-3"
)
status=0
for browser in chromium firefox; do
  node web/test-page.mjs $browser build/web/oem2sif.html examples/sample "$work" || status=1
done
# WebKit has no headless mode here: it draws on a virtual X server.
if ! WebKitWebDriver --help >/dev/null 2>&1 || ! xvfb-run --help >/dev/null 2>&1; then
  echo "skip webkit: WebKitWebDriver or xvfb-run does not run (tools/install-deps.sh --tests installs webkit2gtk-driver and xvfb)"
else
  xvfb-run -a -s '-screen 0 1280x1024x24' \
    node web/test-page.mjs webkit build/web/oem2sif.html examples/sample "$work" || status=1
fi
exit $status
