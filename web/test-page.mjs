// Runs the page in headless Chromium or Firefox, or in WebKit (under an X
// server), opened from disk, on the sample, and compares everything with what
// the Linux build did to a copy of it (tools/test-web.sh prepares that).
//
//   node test-page.mjs chromium|firefox|webkit PAGE_HTML SAMPLE_DIR WORK_DIR
// WORK_DIR holds stdout-N, sif-N of the Linux runs (N = 1: choice 1 on the
// sample, 2: choice 2 after it, 3: Enter after that); the screenshot goes
// there as web-page.png (Chromium), web-page-firefox.png or web-page-webkit.png.
import { mkdirSync, mkdtempSync, copyFileSync, readFileSync, existsSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';
import { launchWebKit } from './webkit-page.mjs';

const browserName = process.argv[2];
const [pageHtml, sampleDir, workDir] = process.argv.slice(3).map((p) => resolve(p));
if (!['chromium', 'firefox', 'webkit'].includes(browserName)) throw new Error(`no browser ${browserName}`);
const firefox = browserName === 'firefox';
const webkit = browserName === 'webkit';
const sjis = new TextDecoder('shift_jis');
const read = (name) => readFileSync(join(workDir, name));
let failures = 0;
let passes = 0;
// `actual` is what was there, printed on a failure.
function check(ok, what, actual) {
  if (ok) passes++;
  else failures++;
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${browserName}: ${what}`);
  if (!ok && actual !== undefined) console.log(`     actual: ${actual}`);
}
// A check this browser's driver cannot make, and why.
const skip = (what, why) => console.log(`skip ${browserName}: ${what}: ${why}`);
// Compares strings or bytes; a failure shows both sides (bytes from where
// they first differ).
function same(actual, expected, what) {
  if (!Buffer.isBuffer(actual)) {
    check(actual === expected, what, `${JSON.stringify(actual)}\n     expected: ${JSON.stringify(expected)}`);
    return;
  }
  let at = 0;
  while (at < actual.length && actual[at] === expected[at]) at++;
  const from = (bytes) => `${bytes.length} bytes, from byte ${at}: ${JSON.stringify(sjis.decode(bytes.subarray(at, at + 80)))}`;
  check(actual.equals(expected), what, `${from(actual)}\n     expected: ${from(expected)}`);
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// The picked files carry names in other letter cases, as a CD's do.
const inputDir = join(workDir, 'input');
mkdirSync(inputDir, { recursive: true });
copyFileSync(join(sampleDir, 'txtsetup.oem'), join(inputDir, 'TXTSETUP.OEM'));
copyFileSync(join(sampleDir, 'txtsetup.sif'), join(inputDir, 'TxtSetup.Sif'));
const sample = readFileSync(join(sampleDir, 'txtsetup.sif'));

const profile = mkdtempSync(join(tmpdir(), `oem2sif-${browserName}-`));
const downloadDir = join(workDir, `downloads-${browserName}`);
rmSync(downloadDir, { recursive: true, force: true });
mkdirSync(downloadDir);
const launch = webkit ? launchWebKit({ userDataDir: profile, downloadDir }) : puppeteer.launch(firefox ? {
  browser: 'firefox',  // through WebDriver BiDi
  executablePath: '/usr/bin/firefox-esr',
  headless: true,
  userDataDir: profile,
  // Else it makes ~/Downloads and ~/.cache/mozilla.
  extraPrefsFirefox: { 'browser.download.folderList': 2, 'browser.download.dir': downloadDir },
  env: { ...process.env, XDG_CACHE_HOME: profile },
} : {
  executablePath: '/usr/bin/chromium',
  headless: true,
  userDataDir: profile,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const browser = await launch.catch((error) => {
  console.log(`FAIL ${browserName}: the browser did not start: ${error.message.split('\n')[0]}`);
  rmSync(profile, { recursive: true, force: true });
  process.exit(1);
});
// What the driver cannot see; puppeteer's see every request and listen from
// a document's start.
const limits = browser.limits ?? {};
const screenshot = join(workDir, browserName === 'chromium' ? 'web-page.png' : `web-page-${browserName}.png`);
rmSync(screenshot, { force: true });
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1100, height: 900 });
  const outside = [];
  let wasmSeen = false;
  page.on('request', (request) => {
    if (request.url().startsWith('data:application/octet-stream;base64,AGFzbQ')) wasmSeen = true;
    if (!/^(file|data|blob):/.test(request.url())) outside.push(request.url());
  });
  const errors = [];
  page.on('pageerror', (error) => errors.push(String(error)));
  page.on('console', (message) => {
    if (message.type() === 'error') errors.push(message.text());
  });
  await page.evaluateOnNewDocument(() => {
    window.cspViolations = [];
    document.addEventListener('securitypolicyviolation', (e) => window.cspViolations.push(e.violatedDirective));
  });

  // Real downloads, into a folder of the test (a browser's default is the
  // user's); the name the page suggests is checked.
  const downloads = new Map();  // id -> {name, path once complete}
  if (webkit) {
    browser.on('download', (d) => downloads.set(d.id, d));
  } else if (firefox) {
    const bidi = browser.connection;
    await bidi.send('browser.setDownloadBehavior', { downloadBehavior: { type: 'allowed', destinationFolder: downloadDir } });
    bidi.on('browsingContext.downloadWillBegin', (e) => downloads.set(e.url, { name: e.suggestedFilename }));
    bidi.on('browsingContext.downloadEnd', (e) => {
      if (e.status === 'complete' && downloads.has(e.url)) downloads.get(e.url).path = e.filepath;
    });
  } else {
    // They land under their guid.
    const cdp = await browser.target().createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allowAndName', downloadPath: downloadDir, eventsEnabled: true });
    cdp.on('Browser.downloadWillBegin', (e) => downloads.set(e.guid, { name: e.suggestedFilename }));
    cdp.on('Browser.downloadProgress', (e) => {
      if (e.state === 'completed' && downloads.has(e.guid)) downloads.get(e.guid).path = join(downloadDir, e.guid);
    });
  }
  async function download(selector) {
    const known = new Set(downloads.keys());
    await page.click(selector);
    for (let i = 0; i < 200; i++) {
      for (const [id, d] of downloads) {
        if (!known.has(id) && d.path) return { name: d.name, bytes: readFileSync(d.path) };
      }
      await sleep(50);
    }
    throw new Error(`no download from ${selector}`);
  }

  await page.goto(pathToFileURL(pageHtml).href);
  const input = await page.$('#pick-files');
  await input.uploadFile(join(inputDir, 'TXTSETUP.OEM'), join(inputDir, 'TxtSetup.Sif'));
  await page.waitForSelector('#run:not([disabled])');

  // The tool's own output: the console without what the user typed.
  const consoleText = () => page.evaluate(() => [...document.getElementById('console').childNodes]
    .filter((n) => !(n.classList && n.classList.contains('echo'))).map((n) => n.textContent).join(''));
  const offered = () => page.$$eval('a.download', (links) => links.map((a) => a.dataset.file));
  const rows = (kind) => page.$$eval(`#changes tr.${kind} td.new`, (cells) => cells.map((c) => c.textContent));
  // Lines of `after` that `before` lacks, text without line ends.
  const newLines = (before, after) => {
    const old = new Set(sjis.decode(before).split('\r\n'));
    return sjis.decode(after).split('\r\n').filter((l) => l !== '' && !old.has(l));
  };
  const sameEntry = (a, b) => a.replace(/\s*=\s*/, '=') === b.replace(/\s*=\s*/, '=');

  async function runWith(keys, n) {
    await page.click('#run');
    for (const key of keys) {
      await page.waitForSelector(`#${key}.waiting`);
      await page.click(`#${key}`);
    }
    await page.waitForSelector('#results:not([hidden])');
    same(await consoleText(), sjis.decode(read(`stdout-${n}`)), `run ${n}: console text as the Linux build's stdout`);
  }

  // Run 1: Windows 2000 on the sample.
  await runWith(['key-1', 'key-enter'], 1);
  same(JSON.stringify(await offered()), '["txtsetup.sif","txtsetup.sif.orig"]', 'run 1: txtsetup.sif and txtsetup.sif.orig offered');
  const sif1 = await download('a[data-file="txtsetup.sif"]');
  same(sif1.name, 'TxtSetup.Sif', 'run 1: txtsetup.sif offered under the name it was given');
  same(sif1.bytes, read('sif-1'), 'run 1: downloaded txtsetup.sif byte for byte the Linux result');
  const orig1 = await download('a[data-file="txtsetup.sif.orig"]');
  same(orig1.bytes, sample, 'run 1: downloaded txtsetup.sif.orig byte for byte the original');
  const inserted = await rows('inserted');
  const expected1 = newLines(sample, read('sif-1'));
  check(expected1.length > 10 && expected1.every((l) => inserted.includes(l)),
        `run 1: the diff view lists all ${expected1.length} inserted lines`,
        `missing ${JSON.stringify(expected1.filter((l) => !inserted.includes(l)))}`);
  const replaced1 = await rows('replaced');
  check(inserted.length === expected1.length && replaced1.length === 0, 'run 1: and nothing else',
        `${inserted.length} inserted, replaced ${JSON.stringify(replaced1)}`);
  await page.screenshot({ path: screenshot, fullPage: true });

  // Run 2: Windows XP on the folder as run 1 left it: values replaced, the
  // backup kept.
  await runWith(['key-2', 'key-enter'], 2);
  same(JSON.stringify(await offered()), '["txtsetup.sif"]', 'run 2: only txtsetup.sif offered (the backup is unchanged)');
  const sif2 = await download('a[data-file="txtsetup.sif"]');
  same(sif2.bytes, read('sif-2'), 'run 2: downloaded txtsetup.sif byte for byte the Linux result');
  const replaced = await rows('replaced');
  const expected2 = newLines(read('sif-1'), read('sif-2'));
  check(expected2.length > 0 && expected2.length === replaced.length &&
        expected2.every((l) => replaced.some((r) => sameEntry(r, l))),
        `run 2: the diff view shows the ${expected2.length} replaced values, new beside old`,
        `${JSON.stringify(replaced)}\n     expected: ${JSON.stringify(expected2)}`);

  // Run 3: Enter leaves at once and changes nothing.
  await runWith(['key-enter'], 3);
  same(JSON.stringify(await offered()), '[]', 'run 3: nothing offered');

  await page.click('#language');
  const offline = await page.$eval('#offline', (e) => e.textContent);
  check(offline.startsWith('This page sends nothing'), 'English one switch away', JSON.stringify(offline));

  if (limits.everyRequest) {
    check(outside.length === 0, 'no request left the page', `requests ${JSON.stringify(outside)}`);
    skip('the listener saw the WebAssembly load', limits.everyRequest);
  } else {
    check(wasmSeen && outside.length === 0, 'no request left the page, and the listener saw the WebAssembly load',
          `requests ${JSON.stringify(outside)}, WebAssembly seen: ${wasmSeen}`);
  }
  if (limits.fromDocumentStart) skip('no error or violation while the page loads', limits.fromDocumentStart);
  const violations = await page.evaluate(() => window.cspViolations);
  check(violations.length === 0, 'no Content-Security-Policy violation', JSON.stringify(violations));
  check(errors.length === 0, 'no error in the page', JSON.stringify(errors));
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
}
console.log(`${browserName}: ${passes} passed, ${failures} failed`);
process.exit(failures === 0 && existsSync(screenshot) ? 0 : 1);
