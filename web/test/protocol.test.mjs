// The worker's protocol against the module that fills its tables: the
// layouts the C++ tells (web/layout.h) are the ones protocol.js declares,
// and the tables read by that declaration say what the inputs hold. Needs
// the page's build (build/web/oem2sif.js, tools/test-web.sh makes it).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, readFileSync } from 'node:fs';
import vm from 'node:vm';
import { TABLES, CODES, APPLY, TEXT_LANGUAGE, parseLayout, readRow, rowBytes, readOption } from '../worker/protocol.js';

const MODULE = new URL('../../build/web/oem2sif.js', import.meta.url);
const skip = existsSync(MODULE) ? false : 'the page is not built (cmake --workflow --preset web)';

// The module as the worker has it: built for a worker, so given what a
// worker's global scope offers.
async function loadModule(options = {}) {
  const context = { importScripts: () => {}, console, TextDecoder, WebAssembly, URL, performance, setTimeout, clearTimeout,
                    atob, location: { href: 'file:///oem2sif.js' } };
  context.self = context;
  vm.createContext(context);
  vm.runInContext(`${readFileSync(MODULE, 'utf8')}\n;globalThis.createOem2sif = createOem2sif;`, context);
  return context.createOem2sif({ noInitialRun: true, print: () => {}, printErr: () => {}, ...options });
}

const sjis = new TextDecoder('shift_jis');
const textAt = (module, at) => (at ? sjis.decode(module.HEAPU8.subarray(at, module.HEAPU8.indexOf(0, at))) : null);
const crlf = (...lines) => new TextEncoder().encode(lines.map((l) => `${l}\r\n`).join(''));
const put = (module, bytes) => {
  const at = module._malloc(bytes.length || 1);
  module.HEAPU8.set(bytes, at);
  return at;
};

test('the tables and codes the module tells are the ones the worker reads by', { skip }, async () => {
  const module = await loadModule();
  const told = { tables: {}, codes: {} };
  for (const layout of ['_o2s_check_layout', '_o2s_lines_layout', '_o2s_option_layout']) {
    const { tables, codes } = parseLayout(textAt(module, module[layout]()));
    Object.assign(told.tables, tables);
    Object.assign(told.codes, codes);
  }
  assert.deepEqual(told.tables, { ...TABLES });
  assert.deepEqual(told.codes, { ...CODES });
  assert.deepEqual(parseLayout(textAt(module, module._o2s_apply_layout())).tables, { ...APPLY });
});

test('the apply\'s JSON is made of the fields and names the module tells', { skip }, async () => {
  const heard = [];
  const module = await loadModule({ onConsoleBytes: () => {},
    onApplyConsole: (run, at, length) => heard.push([run, module.HEAPU8.slice(at, at + length)]) });
  module.FS.mkdirTree('/s/I386');
  module.FS.mkdirTree('/d');
  module.FS.mkdirTree('/out');
  module.FS.writeFile('/s/I386/txtsetup.sif', readFileSync(new URL('../../examples/sample/txtsetup.sif', import.meta.url)));
  module.FS.writeFile('/d/txtsetup.oem', crlf('[Disks]', 'd1 = "Disk",\\tag,\\', '', '[Defaults]', 'SCSI = a', '', '[SCSI]',
    'a = "Controller A"', '', '[Files.SCSI.a]', 'driver = d1, a.sys, asvc', '', '[HardwareIds.SCSI.a]', 'id = "PCI\\VEN_1234&DEV_00AB", "asvc"'));
  module.FS.writeFile('/d/a.sys', crlf('not a driver image'));
  const size = module._malloc(4);
  const at = module.ccall('o2s_apply', 'number', ['string', 'string', 'string', 'string', 'number', 'string', 'number'],
                          ['/s/I386', 'I386', '/d', '0 0 1', 1, '/out', size]);
  const json = new TextDecoder().decode(module.HEAPU8.subarray(at, at + module.HEAPU32[size >> 2]));
  const outcome = JSON.parse(json);
  assert.deepEqual(Object.keys(outcome), APPLY.apply, json);
  assert.equal(outcome.failure, null, json);
  assert.ok(outcome.files.length >= 3, json);
  for (const file of outcome.files) {
    assert.deepEqual(Object.keys(file), APPLY.applyFile);
    assert.ok(APPLY.applyAction.includes(file.action), file.action);
  }
  assert.deepEqual(outcome.files.filter((f) => f.written).map((f) => f.name).sort(), ['a.sys', 'txtsetup.sif', 'txtsetup.sif.orig']);
  // The tool's console with the answer typed ahead, the menu to the final prompt.
  assert.match(outcome.consoles[0], /^Windows2000用の変更:1\nWindowsXP用の変更:2\n何もせずに終了:Enter\n処理を選択してください: Windows2000が選択されました。\nController A\n[^]*Enterを押すと終了します。$/);
  assert.deepEqual(outcome.statuses, [0]);
  // The run's console heard as it was printed: the same, in the tool's bytes.
  assert.ok(heard.length > 1 && heard.every(([run]) => run === 0));
  assert.equal(new TextDecoder('shift_jis').decode(Buffer.concat(heard.map(([, bytes]) => bytes))), outcome.consoles[0]);
  // The menu the page shows before the answer is where that console
  // begins; Enter at it quits with the tool's text and status.
  const menuAt = module._o2s_menu(size);
  const menu = JSON.parse(new TextDecoder().decode(module.HEAPU8.subarray(menuAt, menuAt + module.HEAPU32[size >> 2])));
  assert.deepEqual(Object.keys(menu), ['menu', 'quit', 'quitStatus']);
  assert.ok(outcome.consoles[0].startsWith(menu.menu) && menu.menu.endsWith('処理を選択してください: '), menu.menu);
  assert.deepEqual([menu.quit, menu.quitStatus], ['終了します。\n', 0]);
});

test('an option read through the declaration: its texts, ids and file lines', { skip }, async () => {
  const options = [];
  const module = await loadModule({ onOption: (address) => options.push(readOption(module.HEAPU32, address, (at) => textAt(module, at))) });
  module.FS.mkdirTree('/d');
  module.FS.writeFile('/d/txtsetup.oem', crlf('[Disks]', 'd1 = "Disk",\\tag,\\x64\\Win2003', '', '[Defaults]', 'SCSI = a',
    '', '[SCSI]', 'a = "Controller A"', 'b = "Naming a path"', '', '[Files.SCSI.a]', 'driver = d1, a.sys, asvc', 'inf = d1, a.inf',
    'catalog = d1, a.cat', '', '[Files.SCSI.b]', 'driver = d1, ..\\b.sys, bsvc', 'dll = d1, txtsetup.sif.orig', '',
    '[HardwareIds.SCSI.a]', 'id = "PCI\\VEN_1234&DEV_00AB", "asvc"', 'id = "PCI\\VEN_1234&DEV_00AC", "asvc"', '',
    '[HardwareIds.SCSI.b]', 'id = "PCI\\VEN_1234&DEV_00BB", "bsvc"'));
  module.FS.chdir('/d');
  assert.equal(module._o2s_read_driver(), 2);
  const [a, b] = options;
  assert.deepEqual({ index: a.index, key: a.key, description: a.description, driverFile: a.driverFile, refused: a.driverFileRefused, service: a.service },
                   { index: 0, key: 'a', description: 'Controller A', driverFile: 'a.sys', refused: null, service: 'asvc' });
  assert.deepEqual(a.ids, [{ id: 'PCI\\VEN_1234&DEV_00AB', match: 'pci\\ven_1234&dev_00ab', service: 'asvc' },
                           { id: 'PCI\\VEN_1234&DEV_00AC', match: 'pci\\ven_1234&dev_00ac', service: 'asvc' }]);
  assert.deepEqual(a.files.map((f) => [f.kind, f.disk, f.name, f.directory, f.refused]),
                   [['driver', 'd1', 'a.sys', 'x64/Win2003', null], ['inf', 'd1', 'a.inf', 'x64/Win2003', null],
                    ['catalog', 'd1', 'a.cat', 'x64/Win2003', null]]);
  assert.equal(b.driverFileRefused, 'notPlain');
  assert.deepEqual(b.files.map((f) => [f.kind, f.refused]), [['driver', 'notPlain'], ['dll', 'setupOwn']]);
});

test('a setup file read through the declaration: its lines', { skip }, async () => {
  const module = await loadModule();
  const bytes = crlf('; made here', '[SetupData]', 'Architecture = amd64', 'MajorVersion = 5', 'MinorVersion = 2', '', 'junk');
  const at = put(module, bytes);
  const folded = module._malloc(bytes.length);
  const count = module._malloc(4);
  const index = module._o2s_index_lines(at, bytes.length, folded, count);
  const rows = Array.from({ length: module.HEAPU32[count >> 2] }, (_, i) => readRow(module.HEAPU32, index, 'line', i));
  const kinds = Object.fromEntries(Object.entries(CODES.lineKind).map(([name, value]) => [value, name]));
  assert.deepEqual(rows.map((r) => kinds[r.kind]), ['comment', 'header', 'entry', 'entry', 'entry', 'blank', 'other']);
  const piece = (from, length) => new TextDecoder().decode(bytes.subarray(from, from + length));
  assert.deepEqual([piece(rows[2].nameAt, rows[2].nameLength), piece(rows[2].valueAt, rows[2].valueLength)], ['Architecture', 'amd64']);
  assert.equal(piece(rows[1].offset, rows[1].length), '[SetupData]');
});

test('the check through the declaration: its summary, its findings and their texts in both languages', { skip }, async () => {
  const module = await loadModule();
  module.FS.mkdirTree('/check/I386');
  module.FS.writeFile('/check/I386/txtsetup.sif', crlf('[SetupData]', 'Architecture = i386', '', '[SourceDisksNames.x86]',
    '1 = "CD",,,\\i386', '', '[SourceDisksFiles.x86]', 'gone.sys = 1,,,,,,4_,4,1', '', '[SCSI.Load]', 'gone = gone.sys,4', '',
    '[SCSI]', 'gone = "Gone adapter"', '\x1a'));
  const summary = module._malloc(rowBytes('summary'));
  const table = module.ccall('o2s_check_folder', 'number', ['string', 'number'], ['/check/I386', summary]);
  const { status, count, problems, machine } = readRow(module.HEAPU32, summary, 'summary');
  assert.deepEqual({ status, machine }, { status: 0, machine: CODES.machine.x86 });
  const findings = Array.from({ length: count }, (_, i) => readRow(module.HEAPU32, table, 'finding', i));
  const missing = findings.findIndex((f) => f.kind === 1);
  assert.ok(missing >= 0 && problems >= 1, JSON.stringify(findings));
  assert.equal(textAt(module, findings[missing].file), 'gone.sys');
  assert.equal(textAt(module, findings[missing].service), 'gone');
  const ja = textAt(module, module._o2s_check_finding_text(missing, TEXT_LANGUAGE.ja));
  const en = textAt(module, module._o2s_check_finding_text(missing, TEXT_LANGUAGE.en));
  assert.match(ja, /^ERROR! txtsetup\.sif 11行目、サービス gone、ファイル gone\.sys\n  /);
  assert.match(en, /^ERROR! txtsetup\.sif line 11, service gone, file gone\.sys\n  .*gone\.sy_/);
  assert.equal(module._o2s_check_finding_text(count, TEXT_LANGUAGE.en), 0);
});

// The worker mounts the picked files read-only (WORKERFS): a folder named
// AMD64 there tells the check its machine as one in memory does.
test('the check reads a folder\'s name in the worker\'s mount of picked files as in memory', { skip }, async () => {
  const module = await loadModule();
  const sif = crlf('[SetupData]', 'MajorVersion = 5', 'MinorVersion = 2', '', '[SourceDisksFiles.x86]', 'a.sys = 1', '\x1a');
  module.WORKERFS.reader = { readAsArrayBuffer: (chunk) => chunk.bytes };
  const data = { size: sif.length, slice: (from, to) => ({ size: Math.min(to, sif.length) - from, bytes: sif.subarray(from, to) }) };
  module.FS.mkdirTree('/mounted');
  module.FS.mount(module.WORKERFS, { blobs: [{ name: 'AMD64/TXTSETUP.SIF', data }] }, '/mounted');
  module.FS.mkdirTree('/memory/AMD64');
  module.FS.writeFile('/memory/AMD64/TXTSETUP.SIF', sif);
  const summary = module._malloc(rowBytes('summary'));
  const machineIn = (folder) => {
    module.ccall('o2s_check_folder', 'number', ['string', 'number'], [folder, summary]);
    const { machine, evidence } = readRow(module.HEAPU32, summary, 'summary');
    return { machine, evidence };
  };
  assert.deepEqual(machineIn('/mounted/AMD64'), { machine: CODES.machine.x64, evidence: 2 });
  assert.deepEqual(machineIn('/mounted/AMD64'), machineIn('/memory/AMD64'));
});

// The engine's refusal of a folder to write into, as the worker asks it:
// the few files compared in one folder, the names as lines.
test('the refusal of a folder to write the results into, through the module', { skip }, async () => {
  const module = await loadModule();
  const refusal = (files, knownCount, names, picked = [], brought = ['iaStor.sys']) => {
    const dir = `/refusal${Math.random().toString(36).slice(2)}`;
    module.FS.mkdirTree(dir);
    for (const [name, text] of Object.entries(files)) module.FS.writeFile(`${dir}/${name}`, crlf(text));
    return module.ccall('o2s_folder_refusal', 'string', ['string', 'number', 'string', 'string', 'string'],
                        [dir, knownCount, names.join('\n'), picked.join('\n'), brought.join('\n')]);
  };
  const picked = ['TXTSETUP.SIF', 'NTLDR', ...Array.from({ length: 300 }, (_, i) => `F${i}.DL_`)];
  const chain = { original: '[a]', known0: '[a]', known1: '[b]' };
  assert.equal(refusal({ ...chain, setup: '[b]' }, 2, picked), 'none');
  assert.equal(refusal({ ...chain, setup: '[a]' }, 2, picked), 'none');
  assert.equal(refusal({ ...chain, setup: '[c]' }, 2, picked), 'otherOrChanged', 'files picked one by one: the page cannot tell');
  assert.equal(refusal({ ...chain, setup: '[c]', backup: '[a]' }, 2, picked), 'changedSince');
  assert.equal(refusal({ ...chain, setup: '[c]' }, 2, [...picked, 'txtsetup.sif~', 'IASTOR.SYS'], picked), 'changedSince');
  assert.equal(refusal({ ...chain, setup: '[c]' }, 2, ['TXTSETUP.SIF', 'NTLDR'], picked), 'otherFolder');
  assert.equal(refusal(chain, 2, [], []), 'otherOrChanged', 'no txtsetup.sif there');
});
