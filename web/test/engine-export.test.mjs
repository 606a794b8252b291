// The module's survey (o2s_survey) against oem2sif-integrate --json: laid
// out alike in the module's file system and on disk, a generated setup
// source and a corpus driver with stand-in driver files give the same JSON
// byte for byte, with the user's ticks and a forced answer too; a setup
// picked file by file is surveyed without its folder's listing. Needs the
// page's build and the native one (tools/test-web.sh makes both).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import vm from 'node:vm';

const root = fileURLToPath(new URL('../../', import.meta.url));
const MODULE = join(root, 'build/web/oem2sif.js');
const integrate = join(root, 'build/default/oem2sif-integrate');
const makeSetupFile = join(root, 'build/default/tests/make_setup_file');
const missing = [MODULE, integrate, makeSetupFile].find((path) => !existsSync(path));
const skip = missing ? `${missing} is not built (tools/test-web.sh builds it)` : false;

async function loadModule() {
  const context = { importScripts: () => {}, console, TextDecoder, WebAssembly, URL, performance, setTimeout, clearTimeout,
                    atob, location: { href: 'file:///oem2sif.js' } };
  context.self = context;
  vm.createContext(context);
  vm.runInContext(`${readFileSync(MODULE, 'utf8')}\n;globalThis.createOem2sif = createOem2sif;`, context);
  // The reader's console messages are the survey's texts already.
  return context.createOem2sif({ noInitialRun: true, print: () => {}, printErr: () => {}, onConsoleBytes: () => {} });
}

// The survey (or with `output`, the apply into that folder) as the worker
// asks for it; ticks as [[driver, option, ticked]].
function survey(module, setup, name, drivers, ticks, windows, output = null) {
  const text = (value) => {
    const bytes = new TextEncoder().encode(`${value}\0`);
    const at = module._malloc(bytes.length);
    module.HEAPU8.set(bytes, at);
    return at;
  };
  const args = [text(setup), text(name), text(drivers.join('\n')), text(ticks.map((t) => t.map(Number).join(' ')).join('\n'))];
  const size = module._malloc(4);
  const out = output === null ? [] : [text(output)];
  const at = output === null ? module._o2s_survey(...args, windows, size) : module._o2s_apply(...args, windows, ...out, size);
  const json = Buffer.from(module.HEAPU8.subarray(at, at + module.HEAPU32[size >> 2])).toString('utf8');
  for (const pointer of [...args, ...out, size]) module._free(pointer);
  return json;
}
const apply = (module, setup, drivers, ticks, windows, output) =>
  JSON.parse(survey(module, setup, setup.split('/').pop(), drivers, ticks, windows, output));

const DRIVER = 'DP_MassStorage__Dawicontrol_FORCED_5x86_100_TXTSETUP.OEM';  // ticked, unticked and skipped options

test('the module\'s survey is oem2sif-integrate --json\'s, byte for byte', { skip }, async () => {
  const work = mkdtempSync(join(tmpdir(), 'oem2sif-export-'));
  try {
    const files = new Map();  // path below work -> bytes
    files.set('I386 - Copy/TXTSETUP.SIF', execFileSync(makeSetupFile, ['--xp', '400', '--architecture', 'i386', '--version', '5.1']));
    const oem = readFileSync(join(root, 'tests/corpus', DRIVER));
    files.set('Dawi 100/txtsetup.oem', oem);
    // A stand-in driver file in each folder its [Disks] names.
    const first = JSON.parse(execFileSync(integrate, ['I386 - Copy', 'Dawi 100', '--json'], {
      cwd: (() => { for (const [p, b] of files) { mkdirSync(join(work, dirname(p)), { recursive: true }); writeFileSync(join(work, p), b); } return work; })(),
    }));
    const image = execFileSync(makeSetupFile, ['--driver', 'x86', 'ntoskrnl.exe', 'scsiport.sys']);
    for (const row of first.drivers[0].rows) {
      for (const line of row.option.files.filter((f) => f.kind === 'driver' && !f.refused)) {
        files.set(`Dawi 100/${line.directory ? `${line.directory}/` : ''}${line.name}`, image);
      }
    }
    assert.ok(files.size > 3, 'stand-ins laid out');
    const module = await loadModule();
    for (const [path, bytes] of files) {
      mkdirSync(join(work, dirname(path)), { recursive: true });
      writeFileSync(join(work, path), bytes);
      module.FS.mkdirTree(`/work/${dirname(path)}`);
      module.FS.writeFile(`/work/${path}`, bytes);
    }
    module.FS.chdir('/work');
    const native = (...extra) => execFileSync(integrate, ['I386 - Copy', 'Dawi 100', '--json', ...extra], { cwd: work }).toString('utf8');
    const defaults = survey(module, 'I386 - Copy', 'I386 - Copy', ['Dawi 100'], [], 0);
    assert.equal(defaults, native());
    const rows = JSON.parse(defaults).drivers[0].rows;
    assert.ok(rows.some((r) => r.ticked) && rows.some((r) => !r.ticked), 'some options ticked, some not');
    // The user ticks the first unticked option and unticks the first
    // ticked one, and answers Windows 2000.
    const on = rows.find((r) => !r.ticked && r.tickable);
    const off = rows.find((r) => r.ticked);
    const ticks = [on && [0, on.option.index, true], [0, off.option.index, false]].filter(Boolean);
    const changed = survey(module, 'I386 - Copy', 'I386 - Copy', ['Dawi 100'], ticks, 1);
    assert.notEqual(changed, defaults);
    const json = JSON.parse(changed);
    assert.equal(json.setup.answer, '1');
    assert.equal(json.drivers[0].rows[off.option.index].reason, 'userUnticked');
    if (on) assert.equal(json.drivers[0].rows[on.option.index].reason, 'userTicked');
    // The forced answer alone, as --windows gives it.
    assert.equal(survey(module, 'I386 - Copy', 'I386 - Copy', ['Dawi 100'], [], 1), native('--windows', '2000'));
    // Ticks for a driver that is not there change nothing.
    assert.equal(survey(module, 'I386 - Copy', 'I386 - Copy', ['Dawi 100'], [[5, 0, false]], 0), defaults);
    // Picked file by file: the same decisions about the options, the setup
    // folder's other files unknown.
    const picked = JSON.parse(survey(module, 'I386 - Copy', '', ['Dawi 100'], [], 0));
    assert.deepEqual(picked.drivers[0].rows.map((r) => r.ticked), rows.map((r) => r.ticked));
    assert.ok(picked.driverFiles.length > 0);
    assert.ok(picked.driverFiles.every((f) => f.state === 'unknown'), JSON.stringify(picked.driverFiles.map((f) => f.state)));
    // No setup folder at all: a problem, no exception.
    assert.equal(JSON.parse(survey(module, 'nowhere', 'nowhere', ['Dawi 100'], [], 0)).setup.problem, 'noSetupFile');
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});

// The module's apply (o2s_apply) against oem2sif-integrate applying the same
// plan in place: a setup folder with dosnet.inf, the virtio driver with its
// file in the folder [Disks] names. The files the module writes into its
// output folder are those the command changes, byte for byte; the setup
// folder is only read. Applied again on its own output, nothing changes.
test('the module\'s apply writes what oem2sif-integrate writes, the setup folder only read', { skip }, async () => {
  const work = mkdtempSync(join(tmpdir(), 'oem2sif-apply-'));
  try {
    const files = new Map();
    files.set('xp/TXTSETUP.SIF', execFileSync(makeSetupFile, ['--xp']));
    files.set('xp/DOSNET.INF', execFileSync(makeSetupFile, ['--dosnet', 'aic78xx.sys']));
    files.set('xp/NTOSKRNL.EX_', Buffer.alloc(0));
    files.set('xp/SCSIPORT.SY_', Buffer.alloc(0));
    files.set('virtio/txtsetup.oem', readFileSync(join(root, 'tests/corpus/kvm-guest-drivers-windows__viostor_txtsetup_2010.oem')));
    files.set('virtio/i386/Win2003/viostor.sys', execFileSync(makeSetupFile, ['--driver', 'x86', 'ntoskrnl.exe', 'scsiport.sys']));
    files.set('virtio/amd64/Win2003/viostor.sys', execFileSync(makeSetupFile, ['--driver', 'x64', 'ntoskrnl.exe', 'scsiport.sys']));
    // The package's INF and catalog, which GUI-mode setup needs: brought too.
    files.set('virtio/i386/Win2003/viostor.inf', execFileSync(makeSetupFile, ['--inf', 'viostor', 'viostor.cat', 'PCI\\VEN_1AF4&DEV_1001']));
    files.set('virtio/i386/Win2003/viostor.cat', Buffer.from('catalog'));
    const module = await loadModule();
    for (const [path, bytes] of files) {
      mkdirSync(join(work, dirname(path)), { recursive: true });
      writeFileSync(join(work, path), bytes);
      module.FS.mkdirTree(`/work/${dirname(path)}`);
      module.FS.writeFile(`/work/${path}`, bytes);
    }
    module.FS.mkdirTree('/out');
    const outcome = apply(module, '/work/xp', ['/work/virtio'], [], 2, '/out');
    assert.equal(outcome.failure, null, JSON.stringify(outcome));
    assert.deepEqual(outcome.files.map((f) => [f.name, f.action, f.written]),
                     [['viostor.sys', 'create', true], ['viostor.inf', 'create', true], ['viostor.cat', 'create', true],
                      ['txtsetup.sif.orig', 'create', true], ['dosnet.inf.orig', 'create', true],
                      ['DOSNET.INF', 'replace', true], ['TXTSETUP.SIF', 'replace', true]]);
    assert.equal(outcome.consoles.length, 1);
    for (const [path, bytes] of files) assert.deepEqual(Buffer.from(module.FS.readFile(`/work/${path}`)), bytes, `${path} only read`);
    execFileSync(integrate, ['xp', 'virtio', '--windows', 'xp'], { cwd: work, env: { ...process.env, LC_ALL: 'C.UTF-8' } });
    const written = new Map(outcome.files.map((f) => [f.name, Buffer.from(module.FS.readFile(`/out/${f.name}`))]));
    assert.deepEqual([...module.FS.readdir('/out')].filter((n) => !n.startsWith('.')).sort(), [...written.keys()].sort());
    for (const [name, bytes] of written) assert.deepEqual(bytes, readFileSync(join(work, 'xp', name)), `${name} as the command wrote it`);
    // The output laid over the setup folder, applied again: every file
    // there already, nothing written.
    for (const [name, bytes] of written) module.FS.writeFile(`/work/xp/${name}`, bytes);
    module.FS.mkdirTree('/again');
    const again = apply(module, '/work/xp', ['/work/virtio'], [], 2, '/again');
    assert.equal(again.failure, null);
    assert.ok(again.files.every((f) => !f.written), JSON.stringify(again.files));
    // No setup file: a failure by name, nothing written.
    module.FS.mkdirTree('/none');
    const failed = apply(module, '/work/none', ['/work/virtio'], [], 2, '/none');
    assert.ok(failed.failure !== null && failed.files.every((f) => !f.written), JSON.stringify(failed));
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
