// The heavy run: 1 MB, 40 options x 100 ids, 4,120 writes (the benchmark's
// inputs, heavy/ of the work folder), against the Linux build's run. How
// fast the page does it, and whether its main thread stays free, is the
// benchmark's (tools/bench.sh).
import { join } from 'node:path';
import { pageCase, read, workDir, same, check } from './harness.mjs';

const heavy = join(workDir, 'heavy');

async function startHeavy(p) {
  await p.pickFiles(join(heavy, 'txtsetup.oem'), join(heavy, 'txtsetup.sif'));
  await p.waitFor('#run:not([disabled])', 'Run to be offered');
  const picked = await p.page.$eval('#files', (e) => e.textContent);
  await p.clickRun();
  await p.waitFor('#key-1.waiting', 'the menu');
  return picked;
}

// Cancel is clicked once the page says the run goes on and can be
// cancelled: no answer awaited, Cancel enabled, the run status "running".
// A machine fast enough may end the run before the click lands; the page
// then shows the results and no note that it cancelled. Either outcome is
// taken only as the page tells it.
pageCase('heavy run: cancelled, it offers nothing and leaves the pick as it was', async (p) => {
  const { page } = p;
  const t = await p.texts();
  const picked = await startHeavy(p);
  await p.click('#key-1');
  await p.until(() => page.evaluate((running) => !document.getElementById('cancel').disabled
    && document.querySelectorAll('.keys button.waiting').length === 0
    && document.getElementById('run-status').textContent === running, t('running')), 'the run to go on, Cancel offered');
  await p.click('#cancel');
  await p.waitFor('#cancel[disabled]', 'the run to end (Cancel no longer offered)');
  const notes = await p.pageNotes();
  if (notes.at(-1) === t('cancelled')) {
    check(await page.$eval('#results', (e) => e.hidden) && (await p.offered()).length === 0,
          'a cancelled run offers nothing', await p.offered());
    same(await page.$eval('#files', (e) => e.textContent), picked, 'and leaves the picked files as they were');
  } else {
    // The run ended first: then it must have ended whole.
    check(!(await page.$eval('#results', (e) => e.hidden)), 'the run neither cancelled (no note saying so) nor finished (no results)', notes);
    p.note('the run ended before Cancel was clicked: the page shows its results, and no cancel was made');
    same((await p.download('a[data-file="txtsetup.sif"]')).bytes, read('sif-heavy'), 'the run that ended first: txtsetup.sif byte for byte the Linux result');
  }
});

pageCase('heavy run: as the Linux build, the dots shown while it writes', async (p) => {
  const { page } = p;
  // The tool prints dots while it writes: they must show then, not only
  // once the run ends. The keys say when it waits: the menu is the first
  // wait, the final Enter the second.
  await page.evaluate(() => {
    const watch = window.watch = { waits: 0, waiting: false, dotsEarly: false };
    const view = document.getElementById('console');
    const keys = document.getElementById('keys');
    new MutationObserver(() => {
      const waiting = keys.querySelector('button.waiting') !== null;
      if (waiting && !watch.waiting) watch.waits++;
      watch.waiting = waiting;
      if (watch.waits === 1 && !waiting && view.textContent.includes('....')) watch.dotsEarly = true;
    }).observe(document.getElementById('run-view'), { childList: true, subtree: true, characterData: true, attributes: true });
  });
  await startHeavy(p);
  await p.click('#key-1');
  await p.waitFor('#key-enter.waiting', 'the run to end, the tool waiting for Enter');
  await p.click('#key-enter');
  await p.waitFor('#results:not([hidden]) #changes[aria-busy="false"]', 'the results and their changes');
  same(await p.consoleText(), new TextDecoder('shift_jis').decode(read('stdout-heavy')), 'console text as the Linux build\'s stdout');
  same((await p.download('a[data-file="txtsetup.sif"]')).bytes, read('sif-heavy'), 'downloaded txtsetup.sif byte for byte the Linux result');
  check((await page.evaluate(() => window.watch)).dotsEarly, 'the console showed the dots before the run ended');
});
