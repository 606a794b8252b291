// The page's speed on the heavy run (1 MB, 40 options x 100 ids, 4,120
// writes) in one browser, against the native tool's on the same files:
// the time from Run to the change view, the longest task on the page's main
// thread (Long Tasks API, where the browser has it) and the longest wait of
// a 10 ms timer there. The median of three runs, each on a fresh page.
// Prints rows of tools/bench.sh's table, and the goals met or missed; the
// figures are what they are, the exit status says only whether it ran.
//
//   PAGE_TEST_BROWSER=chromium|firefox|webkit node bench/page-bench.mjs TOOL MAKE_SETUP_FILE WORKDIR
// (the page is build/web/oem2sif.html; WebKit under xvfb-run).
import { execFileSync, spawnSync } from 'node:child_process';
import { copyFileSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { browserName, openPage, closeBrowser } from '../web/page-test/harness.mjs';

const [tool, makeSetupFile, workDir] = process.argv.slice(2).map((p) => resolve(p));
const RUNS = 3;
// The goals: a page that keeps answering while the tool runs in its worker.
const LONGEST_TASK_MS = 200;
const TIMER_GAP_MS = 1000;

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
const heavy = join(workDir, 'heavy');
rmSync(heavy, { recursive: true, force: true });
mkdirSync(heavy, { recursive: true });
writeFileSync(join(heavy, 'txtsetup.sif'), execFileSync(makeSetupFile, ['23255'], { maxBuffer: 1 << 26 }));
writeFileSync(join(heavy, 'txtsetup.oem'), execFileSync(makeSetupFile, ['--oem', '40', '100'], { maxBuffer: 1 << 26 }));

function nativeSeconds() {
  const dir = join(workDir, 'native');
  rmSync(dir, { recursive: true, force: true });
  mkdirSync(dir);
  for (const name of ['txtsetup.sif', 'txtsetup.oem']) copyFileSync(join(heavy, name), join(dir, name));
  const started = process.hrtime.bigint();
  const run = spawnSync(tool, { cwd: dir, input: '1\n\n', stdio: ['pipe', 'ignore', 'inherit'] });
  if (run.status !== 0) throw new Error(`the tool failed: ${run.status ?? run.signal}`);
  return Number(process.hrtime.bigint() - started) / 1e9;
}

async function pageRun() {
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
    await p.pickFiles(join(heavy, 'txtsetup.oem'), join(heavy, 'txtsetup.sif'));
    const started = Date.now();
    await p.runAnswering();
    const seconds = (Date.now() - started) / 1000;
    return { seconds, ...(await page.evaluate(() => window.watch)) };
  } finally {
    await page.close();
  }
}

const natives = [];
const pages = [];
try {
  for (let i = 0; i < RUNS; i++) {
    natives.push(nativeSeconds());
    pages.push(await pageRun());
  }
} finally {
  await closeBrowser();
}
const native = median(natives);
const seconds = median(pages.map((r) => r.seconds));
const longest = pages.every((r) => r.longest !== null) ? median(pages.map((r) => r.longest)) : null;
const gap = median(pages.map((r) => r.gap));
const met = (ok) => (ok ? 'met' : 'MISSED');
console.log(`| page, ${browserName}: heavy run, Run to the change view (median of ${RUNS}) | ${seconds.toFixed(2)} s | native ${native.toFixed(2)} s | ${(seconds / native).toFixed(2)} |`);
console.log(`| page, ${browserName}: longest main-thread task (goal: at most ${LONGEST_TASK_MS} ms) | ${longest === null
  ? 'not measurable (no Long Tasks API)' : `${longest ? `${Math.round(longest)} ms` : 'none over 50 ms'}, ${met(longest <= LONGEST_TASK_MS)}`} | | |`);
console.log(`| page, ${browserName}: longest gap of a 10 ms timer (goal: under ${TIMER_GAP_MS} ms) | ${Math.round(gap)} ms, ${met(gap < TIMER_GAP_MS)} | | |`);
