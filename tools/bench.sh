#!/usr/bin/env bash
# Builds the release tool and the benchmark, and prints the table of figures:
# the tool against its floor, then the page on the heavy run in Chromium,
# Firefox and WebKit against the tool (bench/page-bench.mjs: its time, its
# longest main-thread task, its longest timer gap, with their goals). The
# page's rows need the page's build (emscripten, npm ci in web/) and the
# browsers of tools/install-deps.sh --tests; each that cannot run says why.
# Then oem2sif-integrate --iso on a 700 MB image against cp (bench/iso_bench.cpp).
# Run it on the disk you care about: the work folder is build/bench/work.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
work=build/bench/work
rm -rf "$work" && mkdir -p "$work"
build/bench/bench/oem2sif_bench build/bench/oem2sif "$work"
echo
# A 700 MB CD image through oem2sif-integrate --iso, against cp.
build/bench/bench/iso_bench build/bench/oem2sif-integrate "$work/iso" 700

echo
echo "| the page | time | against | ratio |"
echo "|---|---|---|---|"
if ! cmake --workflow --preset web >"$work/web-build.log" 2>&1 || [ ! -d web/node_modules ]; then
  echo "page: skipped: the page does not build here (emscripten; cd web && npm ci --no-audit --no-fund): $work/web-build.log"
else
  for browser in chromium firefox webkit; do
    run=(env PAGE_TEST_BROWSER=$browser node bench/page-bench.mjs build/bench/oem2sif build/bench/tests/make_setup_file "$work")
    if [ $browser = webkit ]; then
      if ! WebKitWebDriver --help >/dev/null 2>&1 || ! xvfb-run --help >/dev/null 2>&1; then
        echo "page, webkit: skipped: WebKitWebDriver or xvfb-run does not run"
        continue
      fi
      run=(xvfb-run -a -s '-screen 0 1280x1024x24' "${run[@]}")
    fi
    "${run[@]}" 2>"$work/page-$browser.err" || echo "page, $browser: did not run: $(tail -n 1 "$work/page-$browser.err")"
  done
fi
rm -rf "$work"
