// The module's integration of an ISO image (web/iso_web.cpp through
// web/worker/iso_protocol.js) against oem2sif-integrate --iso: on an image
// made as tests/iso_test.cpp makes it (genisoimage, the same options; a
// generated setup source, a corpus driver with stand-in driver files and an
// INF), the module, fetching the image's ranges round after round, gives
// the command's new image byte for byte, assembled from the original's
// ranges and the module's bytes, and the same check; it fetches a small
// part of the image. Hostile images end with their refusal. Needs the
// page's build, the native one and genisoimage (tools/test-web.sh builds).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { closeSync, existsSync, mkdirSync, mkdtempSync, openSync, readFileSync, readSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import vm from 'node:vm';
import { ISO, integrateImage, imageParts } from '../worker/iso_protocol.js';

const root = fileURLToPath(new URL('../../', import.meta.url));
const MODULE = join(root, 'build/web/oem2sif.js');
const integrate = join(root, 'build/default/oem2sif-integrate');
const makeSetupFile = join(root, 'build/default/tests/make_setup_file');
const missing = [MODULE, integrate, makeSetupFile].find((path) => !existsSync(path));
const genisoimage = spawnSync('sh', ['-c', 'command -v genisoimage']).status === 0;
const skip = missing ? `${missing} is not built (tools/test-web.sh builds it)`
  : !genisoimage ? 'needs genisoimage (tools/install-deps.sh --tests installs it)' : false;

async function loadModule() {
  const context = { importScripts: () => {}, console, TextDecoder, WebAssembly, URL, performance, setTimeout, clearTimeout,
                    atob, location: { href: 'file:///oem2sif.js' } };
  context.self = context;
  vm.createContext(context);
  vm.runInContext(`${readFileSync(MODULE, 'utf8')}\n;globalThis.createOem2sif = createOem2sif;`, context);
  return context.createOem2sif({ noInitialRun: true, print: () => {}, printErr: () => {}, onConsoleBytes: () => {} });
}

const DRIVER = 'DP_MassStorage__Dawicontrol_FORCED_5x86_100_TXTSETUP.OEM';
const textAt = (module, at) => new TextDecoder().decode(module.HEAPU8.subarray(at, module.HEAPU8.indexOf(0, at)));

// The image's bytes [offset, offset + size), read as the worker reads a
// File's slice; counts what was read.
function rangeReader(path) {
  const reader = { read: 0 };
  reader.range = async (offset, size) => {
    const bytes = Buffer.alloc(size);
    const fd = openSync(path, 'r');
    try { readSync(fd, bytes, 0, size, offset); } finally { closeSync(fd); }
    reader.read += size;
    return bytes;
  };
  return reader;
}

// A work folder with cd/ (the CD's tree) and drv/ (the driver), laid out on
// disk and in the module's file system alike (the driver only: the image
// is read by ranges).
function layOut(work, module) {
  const put = (path, bytes) => {
    mkdirSync(join(work, dirname(path)), { recursive: true });
    writeFileSync(join(work, path), bytes);
    if (path.startsWith('drv/')) {
      module.FS.mkdirTree(`/work/${dirname(path)}`);
      module.FS.writeFile(`/work/${path}`, bytes);
    }
  };
  put('cd/I386/TXTSETUP.SIF', execFileSync(makeSetupFile, ['--xp', '3000']));
  put('cd/I386/DOSNET.INF', execFileSync(makeSetupFile, ['--dosnet', 'ntkrnlmp.exe']));
  const kernel = execFileSync(makeSetupFile, ['--driver', 'x86']);
  put('cd/I386/NTOSKRNL.EX_', execFileSync(makeSetupFile, ['--cabinet', 'ntoskrnl.exe'], { input: kernel }));
  put('cd/I386/SCSIPORT.SYS', execFileSync(makeSetupFile, ['--driver', 'x86', 'ntoskrnl.exe']));
  for (let i = 0; i < 800; i++) put(`cd/I386/F${String(i).padStart(5, '0')}.${['SY_', 'DL_', 'INF'][i % 3]}`, `file ${i}\r\n`);
  for (let i = 0; i < 30; i++) put(`cd/I386/ASMS/A${i}/B/X.MAN`, `manifest ${i}`);
  put('cd/I386/SYSTEM32/SMSS.EXE', 'smss');
  put('cd/WIN51', 'marker file');
  put('cd/SUPPORT/BIG.CAB', Buffer.alloc(6 << 20, 0x5a));
  put('cd/boot.bin', Buffer.alloc(2048));
  put('drv/txtsetup.oem', readFileSync(join(root, 'tests/corpus', DRIVER)));
  const first = JSON.parse(execFileSync(integrate, ['cd/I386', 'drv', '--json'], { cwd: work }));
  const image = execFileSync(makeSetupFile, ['--driver', 'x86', 'ntoskrnl.exe', 'scsiport.sys']);
  const services = new Set();
  for (const row of first.drivers[0].rows) {
    for (const line of row.option.files.filter((f) => f.kind === 'driver' && !f.refused)) {
      put(`drv/${line.directory ? `${line.directory}/` : ''}${line.name}`, image);
      services.add(line.name.replace(/\.sys$/i, ''));
    }
  }
  put('drv/driver.inf', execFileSync(makeSetupFile, ['--inf', [...services][0], 'driver.cat', 'PCI\\VEN_1234&DEV_5678']));
  const made = spawnSync('sh', ['-c', 'genisoimage -quiet -iso-level 2 -N -J -relaxed-filenames -no-emul-boot '
    + '-boot-load-seg 0x7C0 -boot-load-size 4 -b boot.bin -hide boot.bin -hide-joliet boot.bin -V XPCD -o in.iso cd 2>&1'],
  { cwd: work, encoding: 'utf8' });
  assert.equal(made.status, 0, made.stdout);
}

test('the module\'s result is laid out as iso_protocol.js declares it', { skip }, async () => {
  const module = await loadModule();
  const told = {};
  for (const line of textAt(module, module._o2s_iso_layout()).split('\n').filter(Boolean)) {
    const [name, rest] = line.split(':');
    told[name] = rest.trim().split(/\s+/);
  }
  assert.deepEqual(told, { ...ISO });
});

test('what is no image size or range is refused, and nothing runs without an image', { skip }, async () => {
  const module = await loadModule();
  const at = module._malloc(70000);
  assert.equal((await integrateImage(module, -1, async () => new Uint8Array(0), [])).stop, 'noImage');
  for (const size of [-1, 1.5, NaN, Infinity, 2 ** 60]) assert.equal(module._o2s_iso_open(size), 0, String(size));
  assert.equal(module._o2s_iso_add(0, at, 65536), 0, 'no image open');
  assert.equal(module._o2s_iso_open(200000), 1);
  for (const offset of [-65536, 0.5, 100, 2 ** 60, NaN]) assert.equal(module._o2s_iso_add(offset, at, 65536), 0, String(offset));
  assert.equal(module._o2s_iso_add(0, at, 100), 0, 'not a whole chunk');
  assert.equal(module._o2s_iso_add(65536, at, 65536), 1);
  module._free(at);
});

test('round after round the module gives oem2sif-integrate --iso\'s image, byte for byte', { skip }, async () => {
  const work = mkdtempSync(join(tmpdir(), 'oem2sif-iso-export-'));
  try {
    const module = await loadModule();
    layOut(work, module);
    const command = spawnSync(integrate, ['--iso', 'in.iso', '--output', 'out.iso', 'drv'], { cwd: work, encoding: 'utf8' });
    assert.ok(command.status === 0 || command.status === 1, command.stdout + command.stderr);
    const expected = readFileSync(join(work, 'out.iso'));
    const original = readFileSync(join(work, 'in.iso'));

    const reader = rangeReader(join(work, 'in.iso'));
    const result = await integrateImage(module, original.length, reader.range, ['/work/drv']);
    assert.equal(result.stop, 'none', JSON.stringify({ ...result, survey: null }));
    assert.deepEqual(Object.keys(result), [...ISO.iso, 'rounds', 'fetched']);
    result.pieces.forEach((piece) => assert.deepEqual(Object.keys(piece), ISO.isoPiece));
    assert.deepEqual(Object.keys(result.check), ISO.isoCheck);
    assert.equal(result.setupFolder, '/I386');
    const parts = imageParts(module, result, (from, to) => original.subarray(from, to));
    const assembled = Buffer.concat(parts);
    assert.equal(assembled.length, result.size);
    assert.ok(assembled.equals(expected), `the module's image differs from the command's (${assembled.length} vs ${expected.length} bytes)`);
    // What the command printed as written, and its check.
    for (const file of result.files) assert.match(command.stdout, new RegExp(`\\n  ${file.name.replace('.', '\\.')}: (created|replaced)`, 'i'));
    assert.ok(result.check.done);
    assert.match(command.stdout, new RegExp(`Problems found: ${result.check.problems}\\b`));
    assert.equal(command.status, result.check.problems > 0 ? 1 : 0);
    // The directories, descriptors and the files the engine reads: far
    // below the image, in a few rounds.
    assert.equal(reader.read, result.fetched);
    assert.ok(result.fetched * 8 < original.length, `${result.fetched} of ${original.length} bytes fetched`);
    assert.ok(result.rounds > 1 && result.rounds < 40, `${result.rounds} rounds`);
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});

test('hostile images end with their refusal, whatever the rounds', { skip }, async () => {
  const work = mkdtempSync(join(tmpdir(), 'oem2sif-iso-export-'));
  try {
    const module = await loadModule();
    layOut(work, module);
    const original = readFileSync(join(work, 'in.iso'));
    const recordOf = (id) => original.indexOf(Buffer.concat([Buffer.from([id.length]), Buffer.from(id)])) - 32;
    const both32 = (bytes, at, value) => { bytes.writeUInt32LE(value, at); bytes.writeUInt32BE(value, at + 4); };
    const loop = Buffer.from(original);
    both32(loop, recordOf('SYSTEM32') + 2, original.readUInt32LE(recordOf('I386') + 2));
    const pastEnd = Buffer.from(original);
    both32(pastEnd, recordOf('TXTSETUP.SIF') + 2, original.readUInt32LE(16 * 2048 + 80) + 10);
    const cases = [['loop', loop, 'loop'], ['past the end', pastEnd, 'pastEnd'],
      ['cut short', original.subarray(0, original.length >> 1), 'cut'], ['not an image', Buffer.alloc(40 * 2048, 0x78), 'notIso']];
    for (const [name, bytes, problem] of cases) {
      writeFileSync(join(work, 'hostile.iso'), bytes);
      const result = await integrateImage(module, bytes.length, rangeReader(join(work, 'hostile.iso')).range, ['/work/drv']);
      assert.equal(result.stop, 'imageRefused', name);
      assert.equal(result.problem, problem, name);
      assert.ok(result.rounds < 40, `${name}: ${result.rounds} rounds`);
      assert.deepEqual(result.pieces, [], name);
    }
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
