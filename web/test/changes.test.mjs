// The change view's rows: a value replaced under its key, lines inserted
// and removed, each in its section.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { diffArrays } from 'diff';
import { changeRows } from '../worker/changes.js';

// Lines as the engine reads them, here for "key = value" and "[section]".
const lines = (text) => {
  let section = { name: '', match: '' };
  return text.split('\n').map((line) => {
    const header = line.match(/^\[(.*)\]$/);
    if (header) section = { name: header[1], match: header[1].toLowerCase() };
    const entry = line.match(/^(\S+) = (.*)$/);
    return entry ? { text: line, section, key: entry[1], keyMatch: entry[1].toLowerCase(), value: entry[2] } : { text: line, section };
  });
};

test('rows per section', () => {
  const before = lines('[SCSI]\na = "A"\nb = "B"\n[SCSI.Load]\na = a.sys,4\nold = old.sys,4');
  const after = lines('[SCSI]\nA = "A2"\nb = "B"\nc = "C"\n[scsi.load]\na = a.sys,4\nc = c.sys,4');
  assert.deepEqual(changeRows(before, after, diffArrays).map((r) => [r.kind, r.sectionMatch, r.line, r.key ?? null, r.old ?? null, r.now ?? null]), [
    ['replaced', 'scsi', 2, 'A', '"A"', '"A2"'],
    ['inserted', 'scsi', 4, null, null, 'c = "C"'],
    ['inserted', 'scsi.load', 5, null, null, '[scsi.load]'],
    ['removed', 'scsi.load', null, null, '[SCSI.Load]', null],
    ['inserted', 'scsi.load', 7, null, null, 'c = c.sys,4'],
    ['removed', 'scsi.load', null, null, 'old = old.sys,4', null],
  ]);
});
