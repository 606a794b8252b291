// The page's speed in one browser, against the native tool's on the same
// files: the heavy run (1 MB, 40 options x 100 ids, 4,120 writes; files
// picked one by one), and a 10 MB setup file with the sample's driver,
// picked as folders (the results and the check of a big file):
// the time from Run to the change view, the longest task on the page's main
// thread (Long Tasks API, where the browser has it) and the longest wait of
// a 10 ms timer there. The median of three runs, each on a fresh page.
// Prints rows of tools/bench.sh's table, and the goals met or missed; the
// figures are what they are, the exit status says only whether it ran.
//
//   PAGE_TEST_BROWSER=chromium|firefox|webkit node bench/page-bench.mjs TOOL MAKE_SETUP_FILE WORKDIR
// (the page is build/web/oem2sif.html; WebKit under xvfb-run).
import { execFileSync, spawnSync } from 'node:child_process';
import { copyFileSync, mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { browserName, openPage, closeBrowser } from '../web/page-test/harness.mjs';

const [tool, makeSetupFile, workDir] = process.argv.slice(2).map((p) => resolve(p));
const RUNS = 3;
// The goals: a page that keeps answering while the tool runs in its worker.
const LONGEST_TASK_MS = 200;
const TIMER_GAP_MS = 1000;

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
const generated = (...args) => execFileSync(makeSetupFile, args, { maxBuffer: 1 << 28 });
const CASES = [
  { name: 'heavy run', folder: 'heavy', sif: () => generated('23255'), oem: () => generated('--oem', '40', '100'),
    at: { sif: 'txtsetup.sif', oem: 'txtsetup.oem' }, give: (p, dir) => p.pickFiles(join(dir, 'txtsetup.oem'), join(dir, 'txtsetup.sif')) },
  { name: '10 MB setup file', folder: 'big', sif: () => generated('232550'),
    oem: () => readFileSync(new URL('../examples/sample/txtsetup.oem', import.meta.url)),
    at: { sif: 'I386/TXTSETUP.SIF', oem: 'driver/txtsetup.oem' }, give: (p, dir) => p.giveFolders([join(dir, 'I386'), join(dir, 'driver')], 1) },
];

function nativeSeconds(heavy, at) {
  const dir = join(workDir, 'native');
  rmSync(dir, { recursive: true, force: true });
  mkdirSync(dir);
  for (const name of ['sif', 'oem']) copyFileSync(join(heavy, at[name]), join(dir, `txtsetup.${name}`));
  const started = process.hrtime.bigint();
  const run = spawnSync(tool, { cwd: dir, input: '1\n\n', stdio: ['pipe', 'ignore', 'inherit'] });
  if (run.status !== 0) throw new Error(`the tool failed: ${run.status ?? run.signal}`);
  return Number(process.hrtime.bigint() - started) / 1e9;
}

async function pageRun(heavy, give) {
  const p = await openPage();
  const { page } = p;
  try {
    await page.evaluate(() => {
      const watch = window.watch = { gap: 0, longest: null };
      let last = performance.now();
      setInterval(() => {
        watch.gap = Math.max(watch.gap, performance.now() - last);
        last = performance.now();
      }, 10);
      if (PerformanceObserver.supportedEntryTypes.includes('longtask')) {
        watch.longest = 0;
        new PerformanceObserver((list) => list.getEntries().forEach((e) => { watch.longest = Math.max(watch.longest, e.duration); }))
          .observe({ type: 'longtask' });
      }
    });
    await give(p, heavy);
    const started = Date.now();
    await p.runAnswering();
    const seconds = (Date.now() - started) / 1000;
    return { seconds, ...(await page.evaluate(() => window.watch)) };
  } finally {
    await page.close();
  }
}

const met = (ok) => (ok ? 'met' : 'MISSED');
try {
  for (const { name, folder, sif, oem, at, give } of CASES) {
    const heavy = join(workDir, folder);
    rmSync(heavy, { recursive: true, force: true });
    for (const [file, bytes] of [[at.sif, sif()], [at.oem, oem()]]) {
      mkdirSync(dirname(join(heavy, file)), { recursive: true });
      writeFileSync(join(heavy, file), bytes);
    }
    const natives = [];
    const pages = [];
    for (let i = 0; i < RUNS; i++) {
      natives.push(nativeSeconds(heavy, at));
      pages.push(await pageRun(heavy, give));
    }
    const native = median(natives);
    const seconds = median(pages.map((r) => r.seconds));
    const longest = pages.every((r) => r.longest !== null) ? median(pages.map((r) => r.longest)) : null;
    const gap = median(pages.map((r) => r.gap));
    console.log(`| page, ${browserName}: ${name}, Run to the change view (median of ${RUNS}) | ${seconds.toFixed(2)} s | native ${native.toFixed(2)} s | ${(seconds / native).toFixed(2)} |`);
    console.log(`| page, ${browserName}: ${name}, longest main-thread task (goal: at most ${LONGEST_TASK_MS} ms) | ${longest === null
      ? 'not measurable (no Long Tasks API)' : `${longest ? `${Math.round(longest)} ms` : 'none over 50 ms'}, ${met(longest <= LONGEST_TASK_MS)}`} | | |`);
    console.log(`| page, ${browserName}: ${name}, longest gap of a 10 ms timer (goal: under ${TIMER_GAP_MS} ms) | ${Math.round(gap)} ms, ${met(gap < TIMER_GAP_MS)} | | |`);
  }
} finally {
  await closeBrowser();
}
