// The page test's harness: one browser per test file, a fresh page per case,
// waits that say what they waited for and what the page showed instead, and
// the checks every case ends with. tools/test-web.sh prepares the work
// folder (the Linux build's runs, the layouts) and runs the files:
//
//   PAGE_TEST_BROWSER=chromium|firefox|webkit node --test --test-concurrency=1 \
//     [--test-name-pattern=CASE] web/page-test/
//
// (WebKit under an X server: xvfb-run). Each case leaves its screenshot in
// build/web-test/BROWSER/CASE.png.
//
// No check depends on the machine's speed. A wait has only a hang limit:
// 20 times this case's page load (at least a minute), counted from the last
// change the page showed, so a slow run that shows its progress never fails.
// The page load's own limit comes from the browser's launch, timed in the
// same file; the launch has nothing before it and no limit.
import { test, before, after } from 'node:test';
import { AssertionError } from 'node:assert';
import { copyFileSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';
import { launchWebKit } from '../webkit-page.mjs';
import { translator } from '../page/texts.js';

export const browserName = process.env.PAGE_TEST_BROWSER ?? 'chromium';
if (!['chromium', 'firefox', 'webkit'].includes(browserName)) throw new Error(`PAGE_TEST_BROWSER: no browser ${browserName}`);
const root = resolve(fileURLToPath(new URL('../..', import.meta.url)));
export const pageHtml = join(root, 'build/web/oem2sif.html');
export const sampleDir = join(root, 'examples/sample');
export const corpusDir = join(root, 'tests/corpus');
export const workDir = join(root, 'build/web-test');
const shotDir = join(workDir, browserName);
export const read = (name) => readFileSync(join(workDir, name));
export const sjis = new TextDecoder('shift_jis');
export const sample = readFileSync(join(sampleDir, 'txtsetup.sif'));

const HANG_FACTOR = 20;
// Below this a limit would measure the scheduler rather than the page.
const HANG_FLOOR_MS = 60000;
const hangLimit = (measuredMs) => Math.max(HANG_FLOOR_MS, HANG_FACTOR * measuredMs);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
// A hang limit's timer, raced against what it limits: it keeps no process
// alive.
const expiry = (ms) => new Promise((r) => setTimeout(r, ms).unref());

// ---- Comparisons: a failure shows both sides ----

export function same(actual, expected, what) {
  if (Buffer.isBuffer(expected)) {
    const bytes = Buffer.from(actual);
    if (bytes.equals(expected)) return;
    let at = 0;
    while (at < bytes.length && bytes[at] === expected[at]) at++;
    const from = (b) => `${b.length} bytes, from byte ${at}: ${JSON.stringify(sjis.decode(b.subarray(at, at + 80)))}`;
    throw new AssertionError({ message: `${what}\n  actual:   ${from(bytes)}\n  expected: ${from(expected)}` });
  }
  const [a, e] = [actual, expected].map((v) => (typeof v === 'string' ? v : JSON.stringify(v)));
  if (a !== e) throw new AssertionError({ message: `${what}\n  actual:   ${JSON.stringify(a)}\n  expected: ${JSON.stringify(e)}` });
}

export function check(ok, what, actual) {
  if (!ok) throw new AssertionError({ message: actual === undefined ? what : `${what}\n  actual: ${typeof actual === 'string' ? actual : JSON.stringify(actual)}` });
}

// Files by name (a Map of bytes) against the expected Map.
export function sameFiles(actual, expected, what) {
  same([...actual.keys()].sort().join(' '), [...expected.keys()].sort().join(' '), `${what}: the names`);
  for (const [name, bytes] of expected) same(actual.get(name), bytes, `${what}: ${name} byte for byte`);
}

// ---- The browser: one per test file ----

let browser = null;
let launchMs = 0;
let downloadDir = null;
const downloads = new Map();  // id -> {name, path once complete}
let profile = null;

async function launch() {
  profile = mkdtempSync(join(tmpdir(), `oem2sif-${browserName}-`));
  mkdirSync(shotDir, { recursive: true });
  downloadDir = mkdtempSync(join(shotDir, 'downloads-'));
  const started = Date.now();
  // No launch or protocol timeouts: the waits below are the hang limits.
  browser = await (browserName === 'webkit' ? launchWebKit({ userDataDir: profile, downloadDir, hangLimit }) : puppeteer.launch({
    ...(browserName === 'firefox' ? {
      browser: 'firefox',  // through WebDriver BiDi
      executablePath: '/usr/bin/firefox-esr',
      // Else it makes ~/Downloads and ~/.cache/mozilla.
      extraPrefsFirefox: { 'browser.download.folderList': 2, 'browser.download.dir': downloadDir },
      env: { ...process.env, XDG_CACHE_HOME: profile },
    } : {
      executablePath: '/usr/bin/chromium',
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    }),
    headless: true,
    userDataDir: profile,
    timeout: 0,
    protocolTimeout: 0,
  }));
  launchMs = Date.now() - started;
  // Real downloads, into a folder of the test (a browser's default is the
  // user's); the name the page suggests is checked.
  if (browserName === 'webkit') {
    browser.on('download', (d) => downloads.set(d.id, d));
  } else if (browserName === 'firefox') {
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
}

export async function closeBrowser() {
  await browser?.close();
  if (profile) rmSync(profile, { recursive: true, force: true });
  if (downloadDir) rmSync(downloadDir, { recursive: true, force: true });
}

// A fresh page for a script of its own (the benchmark): `context` gets the
// notes, as a test's diagnostic().
export async function openPage(context = { diagnostic: console.log }) {
  if (!browser) await launch();
  const p = new PageSession(await browser.newPage(), context);
  await p.open(pathToFileURL(pageHtml).href);
  return p;
}

let hooked = false;

const SKIPPED = Symbol('skipped');
const slug = (name) => name.toLowerCase().replace(/[^a-z0-9]+/g, '-').replace(/^-|-$/g, '');

// A case: a fresh page from disk, `body(p, t)`, then the checks every case
// ends with, and the screenshot (also of a failed case); `done` after it.
// p.skip(reason) ends a case that cannot run in this browser; p.open(url)
// loads the page afresh from elsewhere.
export function pageCase(name, body, { done = async () => {} } = {}) {
  if (!hooked) {
    hooked = true;
    before(launch);
    after(closeBrowser);
  }
  test(name, async (t) => {
    const page = await browser.newPage();
    const p = new PageSession(page, t);
    let ok = false;
    try {
      await p.open(pathToFileURL(pageHtml).href);
      await body(p, t);
      await p.endChecks();
      ok = true;
    } catch (error) {
      if (error !== SKIPPED) throw p.withErrors(error);
      ok = true;
    } finally {
      await done();
      const shot = p.screenshot(join(shotDir, `${slug(name)}.png`));
      // A failed case keeps its own failure, whatever its screenshot does,
      // even on a page that no longer answers.
      const limit = expiry(hangLimit(p.loadMs || launchMs));
      if (ok) await shot;
      else await Promise.race([shot.catch(() => {}), limit]);
      await Promise.race([page.close().catch(() => {}), limit]);
    }
  });
}

class PageSession {
  errors = [];
  outside = [];
  wasmSeen = false;
  ran = false;  // the case clicked Run: the tool's WebAssembly was loaded
  loadMs = 0;
  lastShown = '';
  lastChange = 0;

  constructor(page, t) {
    this.page = page;
    this.t = t;
    // What the driver cannot see; puppeteer's see every request and listen
    // from a document's start.
    this.limits = browser.limits ?? {};
    page.on('request', (request) => {
      const url = request.url();
      if (url.startsWith('data:application/octet-stream;base64,AGFzbQ')) this.wasmSeen = true;
      if (!/^(file|data|blob):/.test(url) && !(this.origin && url.startsWith(this.origin))) this.outside.push(url);
    });
    page.on('pageerror', (error) => this.errors.push(String(error)));
    page.on('console', (message) => {
      if (message.type() === 'error') this.errors.push(message.text());
    });
  }

  async open(url) {
    const { page } = this;
    this.origin = url.startsWith('http:') ? new URL(url).origin : null;
    if (!this.opened) {
      this.opened = true;
      await page.evaluateOnNewDocument(() => {
        window.cspViolations = [];
        document.addEventListener('securitypolicyviolation', (e) => window.cspViolations.push(e.violatedDirective));
      });
      await page.setViewport({ width: 1440, height: 780 });  // a laptop's window
      // The hang limits are this harness's, not the driver's.
      page.setDefaultTimeout?.(0);
      page.setDefaultNavigationTimeout?.(0);
    }
    // Loaded when the page has put its texts in (its script ran); what that
    // may take comes from the launch.
    const limit = hangLimit(launchMs);
    const started = Date.now();
    const loaded = await Promise.race([page.goto(url).then(() => true), expiry(limit)]);
    check(loaded, `the page to load within ${limit / 1000} s (${HANG_FACTOR} x the browser's launch)`);
    await this.until(() => page.$eval('#run', (b) => b.textContent !== ''), 'the page to put in its texts', limit);
    this.loadMs = Date.now() - started;
    // What the browser offers. Where a feature is absent (Firefox and Safari
    // have no File System Access API), the page falls back, and the cases
    // check the fallback.
    this.features = await page.evaluate(() => ({ fileSystemAccess: typeof showDirectoryPicker === 'function' }));
  }

  // The page's texts in the language it shows.
  async texts() {
    return translator(await this.page.evaluate(() => document.documentElement.lang));
  }

  skip(reason) {
    this.t.skip(reason);
    throw SKIPPED;
  }

  note(text) {
    this.t.diagnostic(text);
  }

  withErrors(error) {
    if (this.errors.length) error.message += `\n  errors in the page: ${JSON.stringify(this.errors)}`;
    return error;
  }

  // What the page shows, in short: its status lines, the end of the
  // console, the controls one can use, what is busy and which sections
  // are hidden. Also the measure of progress: a wait's limit counts from
  // the last change of this.
  shown() {
    return this.page.evaluate(() => {
      const visible = (e) => e.getClientRects().length > 0 && getComputedStyle(e).visibility !== 'hidden';
      const name = (e) => e.id ? `#${e.id}` : e.dataset.file ? `[data-file=${e.dataset.file}]` : e.tagName.toLowerCase();
      const statuses = [...document.querySelectorAll('[role=status]')].filter((e) => e.textContent)
        .map((e) => `${name(e)}: ${JSON.stringify(e.textContent)}`);
      const consoleText = document.getElementById('console')?.textContent ?? '';
      const controls = [...document.querySelectorAll('button, input, a[download]')].filter((e) => !e.disabled && (visible(e) || e.type === 'file'))
        .map((e) => `${name(e)}${e.classList.contains('waiting') ? ' (waiting)' : ''}${e.type === 'checkbox' ? (e.checked ? ' [x]' : ' [ ]') : ''}`);
      const busy = [...document.querySelectorAll('[aria-busy=true]')].map(name);
      const hidden = [...document.querySelectorAll('main > section[hidden], #results [hidden]')].map(name);
      return [`status: ${statuses.join('; ') || 'none'}`,
              `console (${consoleText.length} characters): ...${JSON.stringify(consoleText.slice(-160))}`,
              `usable: ${controls.join(' ')}`, `busy: ${busy.join(' ') || 'nothing'}`, `hidden: ${hidden.join(' ')}`,
              `output status: ${JSON.stringify(document.getElementById('output-status')?.textContent ?? '')}`].join('\n    ');
    });
  }

  // Waits for `test()` to be true. It fails only once the page has shown no
  // change for the hang limit, saying what it waited for and what the page
  // showed instead.
  async until(test, what, limit = hangLimit(this.loadMs)) {
    const started = Date.now();
    this.lastChange = Date.now();
    this.lastShown = '';
    let looked = 0;
    for (;;) {
      // A test that never answers (a frozen page) is a hang too.
      const answer = await Promise.race([Promise.resolve(test()).catch(() => false), expiry(limit).then(() => 'hung')]);
      if (answer === 'hung') throw new AssertionError({ message: `waited for ${what}: the page did not answer within ${limit / 1000} s` });
      if (answer) return answer;
      if (Date.now() - looked > 250) {
        looked = Date.now();
        const now = await Promise.race([this.shown().catch((e) => `(the page cannot be read: ${e.message.split('\n')[0]})`),
                                        expiry(limit).then(() => '(the page did not answer)')]);
        if (now !== this.lastShown) {
          this.lastShown = now;
          this.lastChange = Date.now();
        }
      }
      if (Date.now() - this.lastChange > limit) {
        throw new AssertionError({ message: `waited ${Math.round((Date.now() - started) / 1000)} s for ${what}; ` +
          `the page showed no change for ${limit / 1000} s (${HANG_FACTOR} x a measured ${this.loadMs ? `load of the page, ${this.loadMs} ms` : `launch, ${launchMs} ms`}, at least ${HANG_FLOOR_MS / 1000} s). ` +
          `It shows:\n    ${this.lastShown}` });
      }
      await sleep(50);
    }
  }

  // Clicks a control as the page's own script would: on the element, not
  // at a point on the screen that a late change of layout could move it
  // from. It must be there, shown and enabled, as for a user.
  async click(selector) {
    const state = await this.page.$$eval(selector, ([e]) => !e ? 'not there' : e.disabled ? 'disabled'
      : e.getClientRects().length === 0 ? 'not shown' : (e.click(), 'clicked'));
    if (state !== 'clicked') throw new AssertionError({ message: `clicking ${selector}: it is ${state}. The page shows:\n    ${await this.shown()}` });
  }

  waitFor(selector, what = selector) {
    return this.until(async () => (await this.page.$$eval(selector, (all) => all.length)) > 0, `${what} (${selector})`);
  }

  // Real downloads: the bytes the browser saved, and the name it was given.
  // The click is the pointer's (a download wants a user's gesture), once
  // the link's box holds still over two frames.
  async download(selector) {
    await this.waitFor(`${selector}:not([disabled])`);
    await this.until(() => this.page.$eval(selector, (e) => new Promise((resolve) => {
      const box = () => JSON.stringify(e.getBoundingClientRect());
      const before = box();
      requestAnimationFrame(() => requestAnimationFrame(() => resolve(box() === before)));
    })), `${selector} to hold still`);
    const known = new Set(downloads.keys());
    await this.page.click(selector);
    const done = () => [...downloads].find(([id, d]) => !known.has(id) && d.path);
    await this.until(done, `the download from ${selector} to complete (${readdirSync(downloadDir).length} files saved so far)`);
    const [, d] = done();
    return { name: d.name, bytes: readFileSync(d.path) };
  }

  // The tool's own output: the console's text nodes (what the user typed
  // and the page's notes are elements).
  consoleText() {
    return this.page.evaluate(() => [...document.getElementById('console').childNodes]
      .filter((n) => n.nodeType === Node.TEXT_NODE).map((n) => n.textContent).join(''));
  }

  // The page's own lines in the console.
  pageNotes() {
    return this.page.$$eval('#console .page-note', (notes) => notes.map((n) => n.textContent.trim()));
  }

  inView(selector) {
    return this.page.$eval(selector, (e) => {
      const r = e.getBoundingClientRect();
      return r.height > 0 && r.top >= 0 && r.bottom <= innerHeight;
    });
  }

  offered() {
    return this.page.$$eval('a.download', (links) => links.map((a) => a.dataset.file));
  }

  drivers() {
    return this.page.$$eval('#drivers tr[data-state]', (rows) => rows.map((r) => `${r.cells[2].textContent} ${r.dataset.state}`));
  }

  async checkAccessibility(what) {
    await this.page.evaluate(readFileSync(new URL('../node_modules/axe-core/axe.min.js', import.meta.url), 'utf8'));
    const found = await this.page.evaluate(async () => (await axe.run(document)).violations
      .filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`));
    check(found.length === 0, `axe-core: no serious or critical violation (${what})`, found);
  }

  async pickFiles(...paths) {
    await (await this.page.$('#pick-files')).uploadFile(...paths);
  }

  async clickRun() {
    await this.waitFor('#run:not([disabled])', 'Run to be offered');
    await this.click('#run');
    this.ran = true;
  }

  // Run, once the page can; the answers `keys` each when the tool waits for
  // it (`atMenu` before the first); then the results, their changes and the
  // check of the folder shown.
  async runAnswering(keys = ['key-1', 'key-enter'], atMenu = async () => {}) {
    await this.clickRun();
    for (const key of keys) {
      await this.waitFor(`#${key}.waiting`, `the tool to wait for ${key}`);
      if (key === keys[0]) await atMenu();
      await this.click(`#${key}`);
    }
    await this.waitFor('#results:not([hidden]) #changes[aria-busy="false"]', 'the results and their changes');
    await this.waitFor('#findings[aria-busy="false"]', 'the check of the folder');
  }

  // As runAnswering, then: the results in view, the console text as the
  // Linux build's stdout (stdout-N of the work folder unless given).
  async runWith(keys, n, atMenu = async () => {}, stdout = read(`stdout-${n}`)) {
    await this.runAnswering(keys, atMenu);
    check(await this.inView('#results-heading'), `run ${n}: the results brought into view`);
    same(await this.consoleText(), sjis.decode(stdout), `run ${n}: console text as the Linux build's stdout`);
  }

  // The setup folder and the drivers' folder, picked one after the other.
  // WebDriver BiDi cannot give a folder to an input, so there the files of
  // both go through an input of the test into a drop built in the page, each
  // with its path, as a folder pick gives them. Every driver is ticked.
  async giveFolders(folders, drivers) {
    const { page } = this;
    const count = () => page.$$eval('.drivers-pick ul.options', (lists) => lists.length);
    try {
      await (await page.$('#pick-folder')).uploadFile(folders[0]);
      await this.until(async () => (await page.$eval('#files', (e) => e.textContent)).includes('/TXTSETUP.SIF'), 'the setup folder in the list');
      await this.waitFor('#clear:not([disabled])', 'the first pick read');
      await (await page.$('#pick-folder')).uploadFile(folders[1]);
    } catch (error) {
      if (error instanceof AssertionError) throw error;
      const files = [];
      const walk = (dir, path) => readdirSync(dir, { withFileTypes: true }).forEach((e) => e.isDirectory()
        ? walk(join(dir, e.name), `${path}/${e.name}`) : files.push([join(dir, e.name), `${path}/${e.name}`]));
      folders.forEach((dir) => walk(dir, dir.split('/').pop()));
      await page.evaluate(() => document.body.append(Object.assign(document.createElement('input'), { type: 'file', multiple: true, id: 'test-files' })));
      await (await page.$('#test-files')).uploadFile(...files.map(([file]) => file));
      await page.$eval('#test-files', (input, paths) => {
        const data = new DataTransfer();
        [...input.files].forEach((file, i) => data.items.add(Object.defineProperty(file, 'webkitRelativePath', { value: paths[i] })));
        input.remove();
        document.getElementById('drop').dispatchEvent(new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true }));
      }, files.map(([, path]) => path));
      this.note('folders given as a drop of files with their paths (its driver cannot give a folder)');
    }
    await this.until(async () => (await count()) === drivers, `the options of ${drivers} drivers`);
    await this.waitFor('#files[aria-busy="false"]', 'the pick read');
    while ((await page.$$eval('.drivers-pick .driver > label > input:not(:checked)', (boxes) => boxes.length)) > 0) {
      await this.click('.drivers-pick .driver > label > input:not(:checked)');
    }
  }

  // What every case ends with: nothing left the page, no error, no
  // Content-Security-Policy violation, and the tool only in its worker.
  async endChecks() {
    const { page, limits } = this;
    check(await page.evaluate(() => typeof createOem2sif === 'undefined'), 'the tool never ran on the main thread (the module is only in the worker)');
    if (limits.everyRequest || this.origin || !this.ran) {
      check(this.outside.length === 0, 'no request left the page', this.outside);
    } else {
      check(this.wasmSeen && this.outside.length === 0, 'no request left the page, and the listener saw the WebAssembly load',
            `requests ${JSON.stringify(this.outside)}, WebAssembly seen: ${this.wasmSeen}`);
    }
    check((await page.evaluate(() => window.cspViolations)).length === 0, 'no Content-Security-Policy violation',
          await page.evaluate(() => window.cspViolations));
    check(this.errors.length === 0, 'no error in the page', this.errors);
  }

  async screenshot(path) {
    await this.page.screenshot({ path, fullPage: true });
  }
}

// The sample's files under other letter cases, as a CD's names are.
export function sampleInput() {
  const dir = join(workDir, 'input');
  mkdirSync(dir, { recursive: true });
  copyFileSync(join(sampleDir, 'txtsetup.oem'), join(dir, 'TXTSETUP.OEM'));
  copyFileSync(join(sampleDir, 'txtsetup.sif'), join(dir, 'TxtSetup.Sif'));
  return [join(dir, 'TXTSETUP.OEM'), join(dir, 'TxtSetup.Sif')];
}

// Lines of `after` that `before` lacks, text without line ends.
export function newLines(before, after) {
  const old = new Set(sjis.decode(before).split('\r\n'));
  return sjis.decode(after).split('\r\n').filter((l) => l !== '' && !old.has(l));
}
