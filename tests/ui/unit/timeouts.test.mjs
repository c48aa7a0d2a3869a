import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { lnf, WEB } from './helpers.mjs';

const limits = await lnf('timeouts.js');
const ROOT = path.resolve(WEB, '../..');

const NOT_PROGRAM = new Set(['node_modules', 'tests', 'www', 'docs', 'bench']);

/** The C++ sources of the program, wherever their folders are. */
function* programSources(dir = ROOT) {
  for (const e of fs.readdirSync(dir, { withFileTypes: true })) {
    const p = path.join(dir, e.name);
    if (e.isDirectory()) {
      if (!NOT_PROGRAM.has(e.name) && !e.name.startsWith('.') && !e.name.startsWith('build')) yield* programSources(p);
    } else if (/\.(h|cpp)$/.test(e.name)) yield p;
  }
}

describe('Timeouts', () => {
  test('TheProgressBarFillsOverTheProgramsOwnRequestTimeout', () => {
    const found = [];
    for (const file of programSources()) {
      const m = /constexpr[^;=]*\brequestTimeoutMs\s*=\s*(\d+)/.exec(fs.readFileSync(file, 'utf8'));
      if (m) found.push(Number(m[1]));
    }
    assert.deepEqual(found, [limits.CONFIG_TIMEOUT_MS], 'the program declares requestTimeoutMs once, with the page’s value');
  });

  test('AnOutcomeIsStillToldAsTheDevicesAfterTheProgramGaveUp', () => {
    assert.ok(limits.CHANGE_OUTCOME_MS > limits.CONFIG_TIMEOUT_MS);
    assert.ok(limits.FAVORITE_OUTCOME_MS > limits.FAVORITE_SETTLE_MS);
  });

  test('ReconnectingEndsBeforeTheProgramQuitsForWantOfABrowser', () => {
    // The program ends 2 seconds after its last browser has gone.
    assert.ok(limits.RECONNECT_DELAYS_MS.reduce((a, b) => a + b, 0) < 2000);
  });
});
