// Writing into a folder, with an origin-private file system in the place of
// the folder the user would pick: headless Chromium cannot drive the
// picker, and that file system needs a secure context, so each case, once
// the page from disk shows that the browser offers it, opens the page again
// from a server on 127.0.0.1 of its own (a new port: an empty file system).
// Where the browser does not offer it, the page offers the zip (the pack's
// case checks it).
import { createServer } from 'node:http';
import { readFileSync, readdirSync } from 'node:fs';
import { join } from 'node:path';
import { pageCase, pageHtml, read, sample, sjis, same, check, sameFiles } from './harness.mjs';
import { pack, packResult, givePack } from './pack.js';

let server = null;
const fromServer = { done: async () => server?.close() };
async function openServed(p) {
  if (!p.features.fileSystemAccess) p.skip('no File System Access API here; the zip is what the page offers');
  server = createServer((request, response) => response.end(readFileSync(pageHtml))).listen(0, '127.0.0.1');
  await new Promise((r) => server.once('listening', r));
  await p.open(`http://127.0.0.1:${server.address().port}/`);
}

const dosnet = () => readFileSync(join(pack, 'setup/I386/DOSNET.INF'));

// The CD's root is picked; its I386 holds `files` ([name, bytes]) besides
// what it held (`fresh`: only them). Gives what it then holds, by name.
const folder = (p, files, fresh = false) => p.page.evaluate(async (files, fresh) => {
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

// The folder picker answers with the CD's root; the pack is given and run
// into the folder holding `files`.
async function ranPack(p, files) {
  await openServed(p);
  await p.page.evaluate(() => {
    window.showDirectoryPicker = async () => (await navigator.storage.getDirectory()).getDirectoryHandle('CD');
  });
  await folder(p, files, true);
  await givePack(p);
  await p.runAnswering();
  same(await p.consoleText(), sjis.decode(read('stdout-pack')), 'console text as the Linux runs');
}

// The plan for the folder, each item "NAME action", in the order written
// (brought files, backups, dosnet.inf, txtsetup.sif).
async function plan(p) {
  await p.click('#write-folder');
  await p.waitFor('#write-plan:not([hidden])', 'the plan of the write');
  return p.page.$$eval('#write-plan li', (items) => items.map((i) => `${i.textContent.split(' ')[0]} ${i.dataset.action}`).join(', '));
}

// Every text the status takes from the click on: "writing", then what
// came of it.
async function write(p) {
  const writing = (await p.texts())('writing');
  await p.page.evaluate(() => {
    const status = document.getElementById('output-status');
    window.outputSeen = [];
    new MutationObserver(() => window.outputSeen.push(status.textContent)).observe(status, { childList: true, subtree: true, characterData: true });
  });
  await p.click('#write-confirm');
  await p.until(() => p.page.evaluate((writing) => {
    const at = window.outputSeen.indexOf(writing);
    return at >= 0 && window.outputSeen.slice(at + 1).some((text) => text !== writing && text !== '');
  }, writing), 'the write to begin and end (the status "writing", then another)');
  check(!(await p.page.$eval('#output-status', (e) => e.classList.contains('problem'))), 'the write succeeded',
        await p.page.$eval('#output-status', (e) => e.textContent));
}

// The pack's results with its driver file under the name the folder had.
const writtenOver = () => {
  const expected = packResult();
  expected.set('iastor.sys', expected.get('IASTOR.SYS'));
  expected.delete('IASTOR.SYS');
  return expected;
};

async function firstWrite(p) {
  await ranPack(p, [['TXTSETUP.SIF', sample], ['iastor.sys', Buffer.from('an older iaStor')], ['DOSNET.INF', dosnet()]]);
  same(await plan(p), 'iastor.sys planConflict, M5228.SY_ planCreate, ' +
       'txtsetup.sif.orig planCreate, dosnet.inf.orig planCreate, DOSNET.INF planReplace, TXTSETUP.SIF planReplace',
       'the plan, under the names the folder uses; another iastor.sys is not replaced unasked');
  check(!(await p.page.$eval('#write-plan input[data-file="iastor.sys"]', (box) => box.checked)), 'replacing it waits for a tick');
  await p.click('#write-plan input[data-file="iastor.sys"]');
  await write(p);
  sameFiles(await folder(p, []), writtenOver(), 'the folder');
}

pageCase('write into a folder: the plan, a tick to replace another driver file, the folder after', firstWrite, fromServer);

pageCase('write into a folder: a backup there is kept, an empty one is taken again', async (p) => {
  await firstWrite(p);
  await folder(p, [['TXTSETUP.SIF', sample], ['txtsetup.sif.orig', Buffer.from('an older backup')]]);
  // dosnet.inf holds the lines already: it stays, and its backup is not
  // the plan's business.
  same(await plan(p), 'iastor.sys planSame, M5228.SY_ planSame, ' +
       'txtsetup.sif.orig planKeepBackup, DOSNET.INF planSame, TXTSETUP.SIF planReplace', 'a backup there is kept');
  await write(p);
  sameFiles(await folder(p, []), new Map([...writtenOver(), ['txtsetup.sif.orig', Buffer.from('an older backup')]]),
            'the folder, its backup kept');
  // An empty one (a tab closed while it was written) is no backup.
  await folder(p, [['TXTSETUP.SIF', sample], ['txtsetup.sif.orig', Buffer.alloc(0)]]);
  same(await plan(p), 'iastor.sys planSame, M5228.SY_ planSame, ' +
       'txtsetup.sif.orig planRepair, DOSNET.INF planSame, TXTSETUP.SIF planReplace', 'an empty backup is taken again (a write cut short)');
  await write(p);
  sameFiles(await folder(p, []), writtenOver(), 'the folder, over an empty backup');
}, fromServer);

// A reload while a driver file was written leaves it empty: it is not
// there, and the write replaces it.
pageCase('write into a folder: an empty driver file (a write cut short) is replaced unasked', async (p) => {
  await ranPack(p, [['TXTSETUP.SIF', sample], ['iastor.sys', Buffer.alloc(0)], ['DOSNET.INF', dosnet()]]);
  same(await plan(p), 'iastor.sys planRepair, M5228.SY_ planCreate, ' +
       'txtsetup.sif.orig planCreate, dosnet.inf.orig planCreate, DOSNET.INF planReplace, TXTSETUP.SIF planReplace', 'the plan repairs the empty file');
  await write(p);
  sameFiles(await folder(p, []), writtenOver(), 'the folder');
}, fromServer);

// "Run again" before anything was saved, with ULi's driver alone: an
// untouched folder gets the results of all the runs, and its original as
// the backup.
pageCase('write into a folder: after "Run again" with one driver, every run\'s result', async (p) => {
  const { page } = p;
  await ranPack(p, [['TXTSETUP.SIF', sample], ['DOSNET.INF', dosnet()]]);
  const others = '.drivers-pick .driver:not([data-path*="ULi"]) > label > input:checked';
  while ((await page.$$eval(others, (boxes) => boxes.length)) > 0) await p.click(others);
  await p.runAnswering();
  same(await p.consoleText(), sjis.decode(read('stdout-pack-again')), 'after "Run again": console text as the Linux run');
  same(await plan(p), 'IASTOR.SYS planCreate, M5228.SY_ planCreate, ' +
       'txtsetup.sif.orig planCreate, dosnet.inf.orig planCreate, DOSNET.INF planReplace, TXTSETUP.SIF planReplace', 'the untouched folder is not refused');
  await write(p);
  sameFiles(await folder(p, []), new Map([...packResult(), ['TXTSETUP.SIF', read('sif-pack-again')]]),
            'the folder holds every run\'s result and the original as its backup');
}, fromServer);

// The setup folder picked, run on, then its TXTSETUP.SIF edited on disk: the
// same folder, changed; a folder of other files: another folder. Neither
// is written.
pageCase('write into a folder: its txtsetup.sif changed since the pick, then another folder', async (p) => {
  const { page } = p;
  const setup = join(pack, 'setup/I386');
  const picked = readdirSync(setup).map((name) => [name, readFileSync(join(setup, name))]);
  await ranPack(p, picked);
  const edited = Buffer.concat([sample, Buffer.from('[Edited]\r\n')]);
  const refusal = async (files, fresh, kind) => {
    const there = await folder(p, files, fresh);
    await p.click('#write-folder');
    const status = await p.until(() => page.$eval('#output-status', (e) => e.dataset.status), 'the write refused');
    same(status, kind, `the folder ${[...there.keys()].sort().join(' ')}: refused as ${kind}`);
    check(await page.$eval('#write-plan', (e) => e.hidden), 'no plan offered');
    sameFiles(await folder(p, []), there, 'nothing written');
  };
  await refusal([['TXTSETUP.SIF', edited]], false, 'changedSince');
  await refusal([['TXTSETUP.SIF', edited], ...['a.dl_', 'b.dl_', 'c.dl_'].map((name) => [name, Buffer.from(name)])], true, 'otherFolder');
}, fromServer);
