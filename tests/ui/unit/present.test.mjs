import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';

const { safeWebUrl, badgesOf, displayName, stateKey } = await lnf('present.js');
const { createState, applyFullState } = await lnf('state.js');

describe('WebPageLink', () => {
  test('OnlyPlainHttpAndHttpsAreOpened', () => {
    assert.equal(safeWebUrl('http://10.0.0.5/'), 'http://10.0.0.5/');
    assert.equal(safeWebUrl('https://cam.local:8443/ui'), 'https://cam.local:8443/ui');
    for (const bad of [
      'javascript:alert(1)',
      'JaVaScRiPt:alert(1)',
      'data:text/html,x',
      'file:///etc/passwd',
      'ftp://x/',
      '',
      '   ',
      '10.0.0.5',
      null,
      'http://user:pw@10.0.0.5/',
    ]) {
      assert.equal(safeWebUrl(bad), null, String(bad));
    }
  });
});

describe('Badges', () => {
  const t = (k) => k;
  function badges(overrides, opts) {
    const d = makeDevice(overrides);
    const s = createState();
    applyFullState(s, { devices: { list: [d] } });
    return badgesOf(s, d.id, s.devices.get(d.id), opts).map((b) => b.cls);
  }

  test('ShowTheChangePhase', () => {
    assert.deepEqual(badges({ shouldProcess: true }), ['pending']);
    assert.deepEqual(badges({ shouldProcess: true, isProcessing: true }), ['processing']);
    assert.deepEqual(badges({ isProcessing: true, isRebooting: true }), ['rebooting']);
    assert.deepEqual(badges({}, { sending: true }), ['sending']);
  });

  test('MissingHidesNotReachable', () => {
    assert.deepEqual(badges({ isMissing: true, isAccessible: false }), ['missing']);
    assert.deepEqual(badges({ isAccessible: false }), ['unreachable']);
  });

  test('LoginAndFavourite', () => {
    assert.deepEqual(badges({ isAuthentication: true, isFavorite: true }), ['auth']);
    assert.deepEqual(badges({ isAuthentication: true, isFavorite: true }, { includeFavorite: true }), ['auth', 'favorite']);
  });

  test('NamesAndStates', () => {
    assert.equal(displayName({ name: '  ' }, t), 'device.unnamed');
    assert.equal(displayName({ name: 'X' }, t), 'X');
    assert.equal(stateKey('WARNING'), 'WARNING');
    assert.equal(stateKey(''), 'UNKNOWN');
    assert.equal(stateKey('bogus'), 'UNKNOWN');
  });
});
