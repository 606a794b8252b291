// The page's texts: each finding the check can report has one in both
// languages (the kinds as check/check.h numbers them).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { translator } from '../page/texts.js';

test('every finding kind of check/check.h has a text in both languages', () => {
  const header = readFileSync(new URL('../../check/check.h', import.meta.url), 'utf8');
  const kinds = [...header.matchAll(/^\s*k(?:Finding|Note)\w+ = (\d+),/gm)].map((m) => Number(m[1]));
  assert.ok(kinds.length > 20, `the kinds read from check/check.h: ${kinds}`);
  const finding = { kind: 0, service: 'svc', file: 'file.sys', extra: 'extra', line: 3, number: 2 };
  for (const language of ['ja', 'en']) {
    const t = translator(language);
    for (const kind of kinds) {
      for (const number of [0, 2]) {
        const text = t(`finding${kind}`, { ...finding, kind, number });
        assert.ok(typeof text === 'string' && text && !/undefined|null|NaN/.test(text), `${language}: finding${kind} (number ${number}): ${text}`);
      }
    }
  }
});
