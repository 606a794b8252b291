// How the page compares bytes and tells a file that is not there.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { sameBytes, present } from '../page/names.js';

test('bytes compare the same at any offset into their buffers, a difference found at the head, the middle or the tail', () => {
  const bytes = Uint8Array.from({ length: 1027 }, (_, i) => (i * 7) & 255);
  for (const [offsetA, offsetB] of [[0, 0], [1, 1], [3, 7], [0, 2], [5, 0]]) {
    const a = new Uint8Array(bytes.length + 8).subarray(offsetA, offsetA + bytes.length);
    const b = new Uint8Array(bytes.length + 8).subarray(offsetB, offsetB + bytes.length);
    a.set(bytes);
    b.set(bytes);
    assert.ok(sameBytes(a, b), `${offsetA} ${offsetB}`);
    for (const at of [0, 2, 500, 1024, 1026]) {
      b[at] ^= 1;
      assert.ok(!sameBytes(a, b), `${offsetA} ${offsetB}: byte ${at}`);
      b[at] ^= 1;
    }
  }
  assert.ok(!sameBytes(bytes, bytes.subarray(1)));
  assert.ok(sameBytes(new Uint8Array(0), new Uint8Array(0)));
  assert.ok(sameBytes(Uint8Array.of(1, 2, 3), Uint8Array.of(1, 2, 3)));
});

test('an empty file, or bytes of none, is not there', () => {
  assert.equal(present({ name: 'a.sys', size: 0 }), null);
  assert.equal(present(new Uint8Array(0)), null);
  assert.equal(present(null), null);
  const entry = { name: 'a.sys', size: 1 };
  assert.equal(present(entry), entry);
});
