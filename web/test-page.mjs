// Runs the page in headless Chromium or Firefox, or in WebKit (under an X
// server), opened from disk, on the sample and on the heavy run, and compares
// everything with what the Linux build did to a copy (tools/test-web.sh
// prepares that).
//
//   node test-page.mjs chromium|firefox|webkit PAGE_HTML SAMPLE_DIR WORK_DIR
// WORK_DIR holds stdout-N, sif-N of the Linux runs (N = 1: choice 1 on the
// sample, 2: choice 2 after it, 3: Enter after that, heavy: choice 1 on
// heavy/), and heavy-linux-seconds; the screenshot goes there as
// web-page.png (Chromium), web-page-firefox.png or web-page-webkit.png.
import { mkdirSync, mkdtempSync, copyFileSync, readFileSync, existsSync, rmSync, writeFileSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { createServer } from 'node:http';
import { readdirSync } from 'node:fs';
import { unzipSync } from 'fflate';
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
// Every wait is for what the page shows, however long a loaded machine
// takes; only a page that never gets there reaches this bound.
const WAIT = 300000;
async function until(test, what) {
  for (const end = Date.now() + WAIT; !(await test());) {
    if (Date.now() > end) throw new Error(`waited in vain for ${what}`);
    await sleep(50);
  }
}

// The picked files carry names in other letter cases, as a CD's do.
const inputDir = join(workDir, 'input');
mkdirSync(inputDir, { recursive: true });
copyFileSync(join(sampleDir, 'txtsetup.oem'), join(inputDir, 'TXTSETUP.OEM'));
copyFileSync(join(sampleDir, 'txtsetup.sif'), join(inputDir, 'TxtSetup.Sif'));
const sample = readFileSync(join(sampleDir, 'txtsetup.sif'));

// ---- A pack of drivers: three txtsetup.oem, run one after another ----

const pack = join(workDir, 'pack');
const packDrivers = ['drivers/Intel/8.9.8/TXTSETUP.OEM', 'drivers/Intel/11.2/TXTSETUP.OEM', 'drivers/ULi/TXTSETUP.OEM'];
// What the pack's runs leave in the setup folder, by name.
const packResult = () => new Map([['TXTSETUP.SIF', read('sif-pack')], ['txtsetup.sif.orig', sample],
  ['DOSNET.INF', read('dosnet-pack')], ['dosnet.inf.orig', readFileSync(join(pack, 'setup/I386/DOSNET.INF'))],
  ['IASTOR.SYS', readFileSync(join(pack, 'drivers/Intel/11.2/IASTOR.SYS'))], ['M5228.SY_', readFileSync(join(pack, 'drivers/ULi/win_2000/M5228.SY_'))]]);
const sameFiles = (actual, expected, what) => {
  same([...actual.keys()].sort().join(' '), [...expected.keys()].sort().join(' '), `${what}: the names`);
  for (const [name, bytes] of expected) if (actual.has(name)) same(Buffer.from(actual.get(name)), bytes, `${what}: ${name} byte for byte`);
};

// The setup folder and the drivers' folder, picked one after the other.
// WebDriver BiDi cannot give a folder to an input, so there the files of
// both go through an input of the test into a drop built in the page, each
// with its path, as a folder pick gives them.
async function giveFolders(page, folders, drivers) {
  const count = () => page.$$eval('.drivers-pick ul.options', (lists) => lists.length);
  try {
    await (await page.$('#pick-folder')).uploadFile(folders[0]);
    await until(async () => (await page.$eval('#files', (e) => e.textContent)).includes('/TXTSETUP.SIF'), 'the setup folder in the list');
    await until(() => page.$eval('#clear', (b) => !b.disabled), 'the first pick read');
    await (await page.$('#pick-folder')).uploadFile(folders[1]);
  } catch {
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
    console.log(`note ${browserName}: folders given as a drop of files with their paths (its driver cannot give a folder)`);
  }
  await until(async () => (await count()) === drivers, `the options of ${drivers} drivers`);
  await page.waitForSelector('#files[aria-busy="false"]');
  for (let box; (box = await page.$('.drivers-pick .driver > label > input:not(:checked)'));) await box.click();
}
const givePack = (page) => giveFolders(page, [join(pack, 'setup/I386'), join(pack, 'drivers')], 3);

// Run, once the page can; the answers `keys` each when the tool waits for
// it (`atMenu` before the first); then the results, their changes and the
// check of the folder shown.
async function runAnswering(page, keys = ['key-1', 'key-enter'], atMenu = async () => {}) {
  await page.waitForSelector('#run:not([disabled])');
  await page.click('#run');
  for (const key of keys) {
    await page.waitForSelector(`#${key}.waiting`);
    if (key === keys[0]) await atMenu();
    await page.click(`#${key}`);
  }
  await page.waitForSelector('#results:not([hidden]) #changes[aria-busy="false"]');
  await page.waitForSelector('#findings[aria-busy="false"]');
}

async function driverPack(page, { runWith, download, checkAccessibility, screenshot }) {
  await page.click('#clear');
  await givePack(page);
  same(JSON.stringify(await page.$$eval('.drivers-pick .driver', (nodes) => nodes.map((n) => n.dataset.path))), JSON.stringify(packDrivers),
       'pack: every txtsetup.oem is a driver, in the order of their paths');
  const options = await page.$$eval('.drivers-pick .driver:first-of-type li[title]', (items) => items.map((i) => `${i.title}=${i.querySelector('.description').textContent}`));
  same(`${options.length} ${options[0]}`, '23 iaAHCI_ESB2=Intel(R) ESB2 SATA AHCI Controller', 'pack: a driver shows its options as the tool reads them');
  await runWith(['key-1', 'key-enter'], 'pack');
  const conflict = await page.$eval('#conflicts', (e) => e.hidden ? '' : e.textContent);
  check(packDrivers.slice(0, 2).every((d) => conflict.includes(d)) && conflict.includes('iastor'),
        'pack: the warning names both drivers that write the service iastor', conflict);
  same(JSON.stringify(await page.$$eval('#missing:not([hidden]) li', (items) => items.map((i) => i.dataset.file))), '["m5281.sys"]',
       'pack: the driver file not in its folder is reported missing');
  same(await page.$eval('#write-folder', (b) => b.getClientRects().length === 0), await page.evaluate(() => typeof showDirectoryPicker !== 'function'),
       'pack: "Write into the setup folder" offered exactly where the browser can, the zip everywhere');
  same(await page.$$eval('#output-files tr[data-action]', (rows) => rows.map((r) => r.cells[1].textContent).filter((text) => /undefined|null/.test(text)).length), 0,
       'pack: every file going into the setup folder says what it is');
  await checkAccessibility('the results of a pack');
  await page.screenshot({ path: screenshot, fullPage: true });
  const zip = await download('#save-zip');
  sameFiles(new Map(Object.entries(unzipSync(zip.bytes))), packResult(), 'pack: the zip');
}

// Real driver packages as they ship, each into a setup folder of its own
// (test-web.sh lays them out): the options ticked by default, the run as the
// Linux build's on the file with only those, the driver files the zip
// takes from the folders [Disks] names, none reported missing.
const layoutCases = [  // name, setup folder, options ticked, driver files the zip carries
  ['virtio-x86', 'I386', 'WNET32', ['i386/Win2003/viostor.sys']],
  ['virtio-x64', 'AMD64', 'WNET64', ['amd64/Win2003/viostor.sys']],
  ['firadisk', 'I386', 'firadiskx86', ['firadisk.sys']],
  ['uli', 'I386', 'm5281XP m5228XP m52812K m52282K m5281NT m5228NT', ['win_2000/M5281.SY_', 'win_2000/m5228.sys']],
  ['genahci', 'I386', 'storahci_x86', ['x86/storahci.sys']],
];
async function layouts(page, { runWith, download }) {
  for (const [name, setup, ticked, carried] of layoutCases) {
    const dir = join(workDir, 'layouts', name);
    await page.waitForSelector('#clear:not([disabled])');
    await page.click('#clear');
    await giveFolders(page, [join(dir, 'setup', setup), join(dir, 'driver')], 1);
    same(await page.$$eval('.options li[data-key]', (items) => items.filter((i) => i.querySelector('input').checked)
      .map((i) => i.dataset.key).join(' ')), ticked, `${name}: the options ticked by default (the setup source's machine)`);
    await runWith(['key-1', 'key-enter'], name, async () => {}, readFileSync(join(dir, 'stdout')));
    same(await page.$$eval('#missing li', (items) => items.length), 0, `${name}: no driver file reported missing`);
    same(await page.$$eval('#finding-list li.problem', (items) => items.map((i) => i.textContent).join(' | ')), '',
         `${name}: the check of the finished folder finds nothing`);
    const expected = new Map([['TXTSETUP.SIF', readFileSync(join(dir, 'linux/txtsetup.sif'))], ['txtsetup.sif.orig', sample],
      ...carried.map((path) => [path.split('/').pop(), readFileSync(join(dir, 'driver', path))])]);
    const dosnet = existsSync(join(dir, 'dosnet')) && readFileSync(join(dir, `setup/${setup}/DOSNET.INF`));
    if (dosnet) expected.set('DOSNET.INF', readFileSync(join(dir, 'dosnet'))).set('dosnet.inf.orig', dosnet);
    const zip = async () => new Map(Object.entries(unzipSync((await download('#save-zip')).bytes)));
    sameFiles(await zip(), expected, `${name}: the zip`);
    if (dosnet) {
      // The two lines, and every other line as it was.
      const lines = (bytes) => Buffer.from(bytes).toString('latin1').split('\r\n');
      const added = lines((await zip()).get('DOSNET.INF'));
      same(`${added.filter((l) => l === 'd1,viostor.sys').length} ${added.filter((l) => l !== 'd1,viostor.sys').join('\n') === lines(dosnet).join('\n')}`,
           '2 true', `${name}: dosnet.inf gets d1,viostor.sys in [FloppyFiles.2] and [Files], every other line kept`);
    }
    if (name !== 'virtio-x86') continue;
    // The 64-bit option ticked on purpose, and run again: flagged, and so
    // are the two options that write one service from two folders.
    await page.click('.options li[data-key="WNET64"] input');
    await runAnswering(page);
    same(await page.$$eval('#conflicts li', (items) => items.map((i) => i.dataset.kind).sort().join(' ')), 'conflictOption wrongMachine',
         `${name}: the 64-bit option ticked on purpose is flagged`);
    same(await page.$$eval('#finding-list li.problem', (items) => items.map((i) => i.dataset.kind).join(' ')), '7',
         `${name}: and so does the check of the finished folder`);
    same(Buffer.from((await zip()).get('DOSNET.INF')), readFileSync(join(dir, 'dosnet')), `${name}: a second run adds nothing to dosnet.inf`);
  }
}

// Writing into a folder, with an origin-private file system in the place of
// the folder the user would pick: headless Chromium cannot drive the
// picker, and that file system needs a secure context, so this page comes
// from a server on 127.0.0.1 (this test only).
async function writeIntoFolder(page, { consoleText }) {
  const server = createServer((request, response) => response.end(readFileSync(pageHtml))).listen(0, '127.0.0.1');
  await new Promise((r) => server.once('listening', r));
  const origin = `http://127.0.0.1:${server.address().port}`;
  const outside = [];
  page.on('request', (request) => { if (!/^(data|blob):/.test(request.url()) && !request.url().startsWith(origin)) outside.push(request.url()); });
  await page.evaluateOnNewDocument(() => {
    window.showDirectoryPicker = async () => (await navigator.storage.getDirectory()).getDirectoryHandle('CD');
  });
  try {
    await page.goto(`${origin}/`);
    // The CD's root is picked; its I386 holds TXTSETUP.SIF and an older
    // iastor.sys. `fresh`: the folder holds only `files`.
    const folder = (files, fresh = false) => page.evaluate(async (files, fresh) => {
      const root = await navigator.storage.getDirectory();
      const i386 = await (await root.getDirectoryHandle('CD', { create: true })).getDirectoryHandle('I386', { create: true });
      if (fresh) for await (const name of i386.keys()) await i386.removeEntry(name);
      for (const [name, bytes] of files) {
        const writable = await (await i386.getFileHandle(name, { create: true })).createWritable();
        await writable.write(new Uint8Array(bytes));
        await writable.close();
      }
      const all = [];
      for await (const [name, handle] of i386.entries()) all.push([name, [...new Uint8Array(await (await handle.getFile()).arrayBuffer())]]);
      return all;
    }, files.map(([name, bytes]) => [name, [...bytes]]), fresh).then((all) => new Map(all.map(([name, bytes]) => [name, Buffer.from(bytes)])));
    const dosnet = readFileSync(join(pack, 'setup/I386/DOSNET.INF'));
    await folder([['TXTSETUP.SIF', sample], ['iastor.sys', Buffer.from('an older iaStor')], ['DOSNET.INF', dosnet]]);
    page.setDefaultTimeout(WAIT);
    await givePack(page);
    await runAnswering(page);
    same(await consoleText(page), sjis.decode(read('stdout-pack')), 'write into a folder: console text as the Linux runs');
    const plan = async () => {
      await page.click('#write-folder');
      await page.waitForSelector('#write-plan:not([hidden])');
      return page.$$eval('#write-plan li', (items) => items.map((i) => `${i.textContent.split(' ')[0]} ${i.dataset.action}`).join(', '));
    };
    const write = async () => {
      await page.click('#write-confirm');
      await until(async () => !(await page.$eval('#output-status', (e) => e.textContent)).startsWith('書き込んでいます'), 'the write to end');
      return page.$eval('#output-status', (e) => e.textContent);
    };
    same(await plan(), 'TXTSETUP.SIF planReplace, txtsetup.sif.orig planCreate, DOSNET.INF planReplace, dosnet.inf.orig planCreate, ' +
         'iastor.sys planConflict, M5228.SY_ planCreate',
         'write into a folder: the plan, under the names the folder uses; another iastor.sys is not replaced unasked');
    check(!(await page.$eval('#write-plan input[data-file="iastor.sys"]', (box) => box.checked)), 'write into a folder: replacing it waits for a tick');
    await page.click('#write-plan input[data-file="iastor.sys"]');
    await write();
    const expected = packResult();
    expected.set('iastor.sys', expected.get('IASTOR.SYS'));
    expected.delete('IASTOR.SYS');
    sameFiles(await folder([]), expected, 'write into a folder: the folder');
    // An older backup there stays, whatever the run made.
    await folder([['TXTSETUP.SIF', sample], ['txtsetup.sif.orig', Buffer.from('an older backup')]]);
    same(await plan(), 'TXTSETUP.SIF planReplace, txtsetup.sif.orig planKeepBackup, DOSNET.INF planSame, dosnet.inf.orig planKeepBackup, ' +
         'iastor.sys planSame, M5228.SY_ planSame', 'write into a folder: a backup there is kept');
    await write();
    expected.set('txtsetup.sif.orig', Buffer.from('an older backup'));
    sameFiles(await folder([]), expected, 'write into a folder, again: the folder, its backup kept');
    // An empty one (a tab closed while it was written) is no backup.
    await folder([['TXTSETUP.SIF', sample], ['txtsetup.sif.orig', Buffer.alloc(0)]]);
    same(await plan(), 'TXTSETUP.SIF planReplace, txtsetup.sif.orig planCreate, DOSNET.INF planSame, dosnet.inf.orig planKeepBackup, ' +
         'iastor.sys planSame, M5228.SY_ planSame', 'write into a folder: an empty backup is taken again');
    await write();
    sameFiles(await folder([]), new Map([...expected, ['txtsetup.sif.orig', sample]]), 'write into a folder, over an empty backup: the folder');
    // A reload while a driver file was written leaves it empty: it is not
    // there, and the write replaces it.
    await folder([['TXTSETUP.SIF', sample], ['iastor.sys', Buffer.alloc(0)], ['DOSNET.INF', dosnet]], true);
    same(await plan(), 'TXTSETUP.SIF planReplace, txtsetup.sif.orig planCreate, DOSNET.INF planReplace, dosnet.inf.orig planCreate, ' +
         'iastor.sys planRepair, M5228.SY_ planCreate',
         'write into a folder: an empty driver file (a write cut short) is replaced unasked');
    await write();
    sameFiles(await folder([]), new Map([...expected, ['txtsetup.sif.orig', sample]]), 'write into a folder, over an empty driver file: the folder');
    // "Run again" before anything was saved, with ULi's driver alone: an
    // untouched folder gets the results of all the runs, and its original
    // as the backup.
    for (let box; (box = await page.$('.drivers-pick .driver:not([data-path*="ULi"]) > label > input:checked'));) await box.click();
    await runAnswering(page);
    same(await consoleText(page), sjis.decode(read('stdout-pack-again')), 'write into a folder, after "Run again": console text as the Linux run');
    await folder([['TXTSETUP.SIF', sample], ['DOSNET.INF', dosnet]], true);
    same(await plan(), 'TXTSETUP.SIF planReplace, txtsetup.sif.orig planCreate, DOSNET.INF planReplace, dosnet.inf.orig planCreate, ' +
         'IASTOR.SYS planCreate, M5228.SY_ planCreate',
         'write into a folder, after "Run again": the untouched folder is not refused');
    await write();
    sameFiles(await folder([]), new Map([...packResult(), ['TXTSETUP.SIF', read('sif-pack-again')]]),
              'write into a folder, after "Run again": the folder holds every run\'s result and the original as its backup');
    check(outside.length === 0, 'write into a folder: no request but the page itself', JSON.stringify(outside));
  } finally {
    server.close();
    await page.close();
  }
}

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
const errors = [];
try {
  const page = await browser.newPage();
  page.setDefaultTimeout(WAIT);
  await page.setViewport({ width: 1440, height: 780 });  // a laptop's window
  const outside = [];
  let wasmSeen = false;
  page.on('request', (request) => {
    if (request.url().startsWith('data:application/octet-stream;base64,AGFzbQ')) wasmSeen = true;
    if (!/^(file|data|blob):/.test(request.url())) outside.push(request.url());
  });
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
    await page.waitForSelector(`${selector}:not([disabled])`);
    const known = new Set(downloads.keys());
    await page.click(selector);
    const done = () => [...downloads].find(([id, d]) => !known.has(id) && d.path);
    await until(done, `a download from ${selector}`);
    const [, d] = done();
    return { name: d.name, bytes: readFileSync(d.path) };
  }

  await page.goto(pathToFileURL(pageHtml).href);
  // What the browser offers. Where a feature is absent (Firefox and Safari
  // have no File System Access API), the page falls back, and the checks
  // branch on these to check the fallback.
  const features = await page.evaluate(() => ({ fileSystemAccess: typeof showDirectoryPicker === 'function' }));
  if (!features.fileSystemAccess) console.log(`note ${browserName}: no File System Access API; the page's fallback is what is checked`);
  // A part that fails is one failure, with the page's errors; the page is
  // loaded afresh, and the parts that do not depend on it still run.
  async function part(what, body) {
    try {
      await body();
    } catch (error) {
      check(false, `${what}: ran to its end: ${error.message.split('\n')[0]}`, `errors in the page: ${JSON.stringify(errors)}`);
      await page.goto(pathToFileURL(pageHtml).href);
    }
  }

  // The tool's own output: the console's text nodes (what the user typed and
  // the page's notes are elements).
  const consoleText = (on = page) => on.evaluate(() => [...document.getElementById('console').childNodes]
    .filter((n) => n.nodeType === Node.TEXT_NODE).map((n) => n.textContent).join(''));
  const inView = (selector) => page.$eval(selector, (e) => {
    const r = e.getBoundingClientRect();
    return r.height > 0 && r.top >= 0 && r.bottom <= innerHeight;
  });
  const drivers = () => page.$$eval('#drivers tr[data-state]', (rows) => rows.map((r) => `${r.cells[2].textContent} ${r.dataset.state}`));
  const axeSource = readFileSync(new URL('node_modules/axe-core/axe.min.js', import.meta.url), 'utf8');
  async function checkAccessibility(what) {
    await page.evaluate(axeSource);
    const found = await page.evaluate(async () => (await axe.run(document)).violations
      .filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`));
    check(found.length === 0, `axe-core: no serious or critical violation (${what})`, JSON.stringify(found));
  }
  const offered = () => page.$$eval('a.download', (links) => links.map((a) => a.dataset.file));
  const rows = (kind) => page.$$eval(`#changes tr.${kind} td.new`, (cells) => cells.map((c) => c.textContent));
  // Lines of `after` that `before` lacks, text without line ends.
  const newLines = (before, after) => {
    const old = new Set(sjis.decode(before).split('\r\n'));
    return sjis.decode(after).split('\r\n').filter((l) => l !== '' && !old.has(l));
  };

  // Run waits until the pick is read; a click before would be lost.
  async function runWith(keys, n, atMenu = async () => {}, stdout = read(`stdout-${n}`)) {
    await runAnswering(page, keys, atMenu);
    check(await inView('#results-heading'), `run ${n}: the results brought into view`);
    same(await consoleText(), sjis.decode(stdout), `run ${n}: console text as the Linux build's stdout`);
  }

  await part('three runs on the sample', async () => {
    await (await page.$('#pick-files')).uploadFile(join(inputDir, 'TXTSETUP.OEM'), join(inputDir, 'TxtSetup.Sif'));
    // Run 1: Windows 2000 on the sample.
    await runWith(['key-1', 'key-enter'], 1, async () => {
      same(await page.$$eval('.keys button.waiting', (keys) => keys.map((k) => k.textContent).join(' | ')),
           '1: Windows 2000 | 2: Windows XP | Enter: 何もせずに終了', 'the answers say what they do');
      check(await inView('#key-1'), 'the answers in view while the tool waits');
    });
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
    const allDrivers = (state) => JSON.stringify(['smpahci.sys', 'smpcombo.sys', 'smpraid.sys'].map((f) => `${f} ${state}`));
    same(JSON.stringify(await drivers()), allDrivers('unknown'), 'run 1: the driver files it wrote listed (presence unknown: files were picked)');
    same(JSON.stringify(await page.$$eval('#missing li', (items) => items.map((i) => i.dataset.unsure))), '["yes","yes","yes"]',
         'run 1: and the note on them says the same: cannot tell');
    const overlaps = await page.$$eval('button, a.button, label.button', (all) => {
      const boxes = all.map((e) => e.getBoundingClientRect()).filter((r) => r.width > 0);
      return boxes.flatMap((a, i) => boxes.slice(i + 1).filter((b) => a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom)).length;
    });
    check(overlaps === 0, 'no two buttons overlap', overlaps);
    await checkAccessibility('the results');
    await page.screenshot({ path: screenshot, fullPage: true });

    // Run 2: Windows XP on the results of run 1, before anything was saved:
    // the results still hold the original as the backup, and the change view
    // compares with it.
    await runWith(['key-2', 'key-enter'], 2);
    same(JSON.stringify(await offered()), '["txtsetup.sif","txtsetup.sif.orig"]', 'run 2 ("Run again"): the backup of the original still offered');
    same(JSON.stringify(await drivers()), allDrivers('unknown'), 'run 2: the driver files listed, though their entries did not change');
    const sif2 = await download('a[data-file="txtsetup.sif"]');
    same(sif2.bytes, read('sif-2'), 'run 2: downloaded txtsetup.sif byte for byte the Linux result');
    same((await download('a[data-file="txtsetup.sif.orig"]')).bytes, sample, 'run 2: downloaded txtsetup.sif.orig byte for byte the original');
    const expected2 = newLines(sample, read('sif-2'));
    same(JSON.stringify((await rows('inserted')).sort()), JSON.stringify(expected2.sort()), 'run 2: the diff view against the original');

    // Run 3: Enter leaves at once and changes nothing: the results stay.
    await runWith(['key-enter'], 3);
    same(JSON.stringify(await offered()), '["txtsetup.sif","txtsetup.sif.orig"]', 'run 3: leaving at the menu keeps the results');

  });

  // The heavy run: first cancelled halfway, then run through, timed from Run
  // to the results, while the main thread is watched.
  await part('the heavy run', async () => {
    const heavy = join(workDir, 'heavy');
    await page.click('#clear');
    await (await page.$('#pick-files')).uploadFile(join(heavy, 'txtsetup.oem'), join(heavy, 'txtsetup.sif'));
    await page.waitForSelector('#run:not([disabled])');
    const picked = await page.$eval('#files', (e) => e.textContent);
    await page.click('#run');
    await page.waitForSelector('#key-1.waiting');
    await page.click('#key-1');
    await until(async () => (await consoleText()).includes('..'), 'the dots of the heavy run');
    await page.click('#cancel');
    check(await page.$eval('#results', (e) => e.hidden) && (await offered()).length === 0 &&
          picked === await page.$eval('#files', (e) => e.textContent), 'a cancelled run offers nothing and leaves the picked files as they were');
    await page.evaluate(() => {
      const watch = window.watch = { gap: 0, dotsEarly: false, longest: null };
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
      const view = document.getElementById('console');
      new MutationObserver(() => {
        if (view.textContent.includes('....') && !view.textContent.includes('Enterを押す')) watch.dotsEarly = true;
      }).observe(view, { childList: true, subtree: true, characterData: true });
    });
    const start = Date.now();
    await runWith(['key-1', 'key-enter'], 'heavy');
    const seconds = (Date.now() - start) / 1000;
    same((await download('a[data-file="txtsetup.sif"]')).bytes, read('sif-heavy'), 'heavy run: downloaded txtsetup.sif byte for byte the Linux result');
    const watch = await page.evaluate(() => window.watch);
    check(watch.dotsEarly, 'heavy run: the console showed the dots before the run ended');
    if (watch.longest !== null) check(watch.longest < 200, 'heavy run: no main-thread task over 200 ms (Long Tasks API)', watch.longest);
    else skip('heavy run: no main-thread task over 200 ms (Long Tasks API)', 'this browser has none; the 10 ms timer below judges whether the page froze');
    // A page that runs the tool on its main thread stops the timer for the
    // whole run (seconds). A busy machine alone delays it by up to ~250 ms, so
    // the bound is a second; the 200 ms bound is the Long Tasks API's, above.
    check(watch.gap < 1000, 'heavy run: a 10 ms timer on the main thread never waited a second', watch.gap);
    const linux = Number(read('heavy-linux-seconds'));
    const figures = `heavy run (1 MB, 4,120 writes): page ${seconds.toFixed(2)} s from Run to the change view, Linux build ${linux.toFixed(2)} s, ` +
      `ratio ${(seconds / linux).toFixed(2)}; longest main-thread task ${watch.longest === null ? 'not measurable' : watch.longest ? `${Math.round(watch.longest)} ms` : 'none over 50 ms'}, longest timer gap ${Math.round(watch.gap)} ms`;
    console.log(`time ${browserName}: ${figures}`);
    writeFileSync(join(workDir, `heavy-${browserName}.txt`), `${figures}\n`);

  });

  // A folder pick like a CD's: two txtsetup.oem (the user must choose),
  // 6,000 other files, and two of the three driver files, one compressed.
  await part('a folder pick', async () => {
    const pick = join(workDir, 'pick');
    for (const dir of ['I386', 'DRIVER', '$OEM$/TEXTMODE']) mkdirSync(join(pick, dir), { recursive: true });
    copyFileSync(join(sampleDir, 'txtsetup.sif'), join(pick, 'I386/TxtSetup.Sif'));
    copyFileSync(join(sampleDir, 'txtsetup.oem'), join(pick, 'DRIVER/TXTSETUP.OEM'));
    copyFileSync(join(sampleDir, '../../tests/corpus/GenAHCI__txtsetup.oem'), join(pick, '$OEM$/TEXTMODE/TXTSETUP.OEM'));
    for (const name of ['SMPAHCI.SYS', 'smpcombo.sy_']) writeFileSync(join(pick, 'I386', name), 'driver');
    for (let i = 0; i < 6000; i++) writeFileSync(join(pick, 'I386', `file${i}.dl_`), '');
    await page.click('#clear');
    await page.evaluate(() => {
      const status = document.getElementById('pick-status');
      window.statusSeen = [];
      new MutationObserver(() => window.statusSeen.push(status.textContent)).observe(status, { childList: true, subtree: true });
    });
    const folderPick = await (await page.$('#pick-folder')).uploadFile(pick).then(() => true, (error) => {
      skip('the folder pick (two txtsetup.oem, 6,000 files, the driver list)', `its driver cannot give a folder: ${error.message.split('\n')[0].replace(/ Failed to add file .*/, '')}`);
      return false;
    });
    if (folderPick) {
      await until(async () => /^6,005 /.test(await page.$eval('#pick-status', (e) => e.textContent)), 'the 6,005 files read');
      await page.waitForSelector('tr[data-name="txtsetup.oem"] fieldset');
      await page.waitForSelector('#files[aria-busy="false"]');
      const seen = await page.evaluate(() => window.statusSeen);
      check(seen.some((s) => s.startsWith('読み込んでいます')) && seen[seen.length - 1].startsWith('6,005 ファイルを読み込みました'),
            'a 6,000-file pick shows that it is being read, then how much it read', JSON.stringify(seen));
      const choices = await page.$$eval('tr[data-name="txtsetup.oem"] .driver > label', (labels) => labels.map((l) => l.textContent).sort());
      const size = statSync(join(sampleDir, 'txtsetup.oem')).size.toLocaleString('en-US');
      same(JSON.stringify(choices), JSON.stringify(['pick/$OEM$/TEXTMODE/TXTSETUP.OEM (930 バイト)', `pick/DRIVER/TXTSETUP.OEM (${size} バイト)`]),
           'two txtsetup.oem: both offered with paths and sizes');
      check(await page.$eval('#run', (b) => b.disabled), 'and Run waits for the choice');
      await page.click('.driver[data-path="pick/DRIVER/TXTSETUP.OEM"] input');
      await runWith(['key-1', 'key-enter'], 1);
      same(JSON.stringify(await drivers()), '["smpahci.sys present","smpcombo.sys compressed","smpraid.sys absent"]',
           'the driver list says which driver files the setup folder holds');
      await checkAccessibility('a folder pick with a choice');
      await page.screenshot({ path: screenshot, fullPage: true });
    }

  });

  await part('a pack of drivers', () => driverPack(page, { runWith, download, checkAccessibility, screenshot }));
  await part('real driver layouts', () => layouts(page, { runWith, download }));
  // Only where the page offers it: the others get the zip (checked above).
  if (features.fileSystemAccess) await part('writing into a folder', async () => writeIntoFolder(await browser.newPage(), { consoleText }));
  else skip('writing into a folder', 'no File System Access API here; the zip is what the page offers');

  await page.click('#language');
  const offline = await page.$eval('#offline', (e) => e.textContent);
  check(offline.startsWith('This page sends nothing'), 'English one switch away', JSON.stringify(offline));

  check(await page.evaluate(() => typeof createOem2sif === 'undefined'), 'the tool never ran on the main thread (the module is only in the worker)');
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
} catch (error) {
  // A page that never gets where the test waits fails here, with its errors.
  check(false, `the test ran to its end: ${error.message.split('\n')[0]}`, `errors in the page: ${JSON.stringify(errors)}`);
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
}
console.log(`${browserName}: ${passes} passed, ${failures} failed`);
process.exit(failures === 0 && existsSync(screenshot) ? 0 : 1);
