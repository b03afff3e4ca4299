// The page's reading of a score for the instrument files it asks the server for, and the
// smallest editor change that brings in a new version from disk.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { instrumentRequests, textChange } from '../src/disk.js';

// [score, the (name, instlib) pairs asked for]
const scans = [
  ['#instrument "a.xi"\n#instlib "lib"\n#instrument "b.xi"', [['a.xi', null], ['b.xi', 'lib']]],
  ['// #instrument "no.xi"\n/* #instrument "no.xi"\n */ #instrument "yes.xi"', [['yes.xi', null]]],
  ['#songname "http://x" #instrument "a.xi"', [['a.xi', null]]],
  ['#instrument "a.xi" #instrument "a.xi" #instlib "l" #instrument "a.xi"', [['a.xi', null], ['a.xi', 'l']]],
  ['#instrument "sub\\\\x.xi"', [['sub\\\\x.xi', null]]],
];

test('instrument names are taken from the score with the #instlib in force, comments skipped', { timeout: 5000 }, () => {
  for (const [score, want] of scans) {
    assert.deepEqual(instrumentRequests(score).map((r) => [r.name, r.instlib]), want, score);
  }
});

// [old, new]
const changes = [
  ['abc\ndef\n', 'abc\nxyz\ndef\n'],
  ['aaa', 'aaaa'],
  ['x😀y', 'x😁y'],
  ['和音', '和'],
  ['', 'new'],
  ['same', 'same'],
];

test('a new version is brought in as one change that leaves the common start and end alone', { timeout: 5000 }, () => {
  for (const [from, to] of changes) {
    const c = textChange(from, to);
    if (from === to) { assert.equal(c, null); continue; }
    assert.equal(from.slice(0, c.from) + c.insert + from.slice(c.to), to, JSON.stringify([from, to]));
    // Never inside a surrogate pair.
    for (const at of [c.from, c.to]) assert.ok(!/[\udc00-\udfff]/.test(from[at] ?? '') || at === 0, JSON.stringify([from, to, c]));
  }
  assert.deepEqual(textChange('abc\ndef\n', 'abc\nxyz\ndef\n'), { from: 4, to: 4, insert: 'xyz\n' });
});
