// The page's texts: both languages say the same things, and the check's
// findings are worded by the check itself (check/finding_text.cpp), not here.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import ja from '../page/texts-ja.js';
import en from '../page/texts-en.js';

test('both languages have the same keys, and none for a finding of the check', () => {
  assert.deepEqual(Object.keys(en).sort(), Object.keys(ja).sort());
  assert.deepEqual(Object.keys(ja).filter((key) => /^finding\d/.test(key)), []);
});
