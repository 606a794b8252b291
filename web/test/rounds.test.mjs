// The worker's rounds (worker/rounds.js): the engine is run again with the
// bytes it lacked until it read only what it had, and never loops on a file
// the page cannot give.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { inRounds } from '../worker/rounds.js';

const bytes = (n) => new Uint8Array([n]);
// A round that reads `reads` in order and stops at the first it lacks, as
// the engine stops at an unreadable txtsetup.sif; its outcome names what it
// read.
const reader = (reads, log) => async (files, needed) => {
  log.push('round');
  const read = [];
  for (const path of reads) {
    if (!(files.get(path) instanceof Uint8Array)) {
      needed.add(path);
      return read;
    }
    read.push(`${path}=${files.get(path)[0]}`);
  }
  return read;
};

test('a round runs again with the bytes it lacked, until it read only what it had', async () => {
  const log = [];
  const sent = [['s/txtsetup.sif', { size: 10 }], ['d/txtsetup.oem', bytes(2)], ['d/a.sys', { size: 5 }], ['d/readme.txt', { size: 3 }]];
  const ask = async (paths) => {
    log.push(`ask ${paths.join(' ')}`);
    return paths.map((path) => [path, bytes(path.length)]);
  };
  const outcome = await inRounds(sent, reader(['s/txtsetup.sif', 'd/txtsetup.oem', 'd/a.sys'], log), ask);
  assert.deepEqual(outcome, ['s/txtsetup.sif=14', 'd/txtsetup.oem=2', 'd/a.sys=7']);
  assert.deepEqual(log, ['round', 'ask s/txtsetup.sif', 'round', 'ask d/a.sys', 'round']);
});

test('a file the page cannot give ends the rounds with the engine\'s own word on it', async () => {
  for (const give of [[], [['d/a.sys', bytes(1)]], [['s/txtsetup.sif', { size: 10 }]]]) {
    const log = [];
    const outcome = await inRounds([['s/txtsetup.sif', { size: 10 }], ['d/a.sys', bytes(9)]], reader(['s/txtsetup.sif'], log),
                                   async () => give);
    assert.deepEqual([outcome, log], [[], ['round']], JSON.stringify(give));
  }
});

test('rounds are bounded by the files: a round that lacks another file each time', async () => {
  const paths = Array.from({ length: 50 }, (_, i) => `f${i}`);
  const log = [];
  const outcome = await inRounds(paths.map((p) => [p, { size: 1 }]), reader(paths, log), async (asked) => asked.map((p) => [p, bytes(0)]));
  assert.equal(outcome.length, 50);
  assert.equal(log.length, 51);
});
