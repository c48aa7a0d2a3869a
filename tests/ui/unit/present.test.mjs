import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';

const { safeWebUrl, badgesOf, displayName, stateKey } = await lnf('present.js');
const { createState, applyFullState } = await lnf('state.js');
const { effectiveState, extraLines, withoutEffective } = await lnf('effective.js');
const { AnswerClock } = await lnf('answered.js');

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

describe('EffectiveState', () => {
  // [flags, gone, shown first, own state beside it]
  const table = [
    [{ deviceState: 'ACTIVE' }, false, 'ACTIVE', null],
    [{ deviceState: 'LOCALIZE' }, false, 'LOCALIZE', null],
    [{ deviceState: 'bogus' }, false, 'UNKNOWN', null],
    [{ deviceState: 'ACTIVE', isMissing: true, isFavorite: true }, false, 'missing', 'ACTIVE'],
    [{ deviceState: 'ACTIVE', isMissing: true, isAccessible: false }, false, 'missing', 'ACTIVE'],
    [{ deviceState: 'ACTIVE', isProcessing: true, isRebooting: true }, false, 'rebooting', 'ACTIVE'],
    [{ deviceState: 'ACTIVE', isProcessing: true }, false, 'processing', 'ACTIVE'],
    [{ deviceState: 'WARNING', shouldProcess: true }, false, 'pending', 'WARNING'],
    [{ deviceState: 'ACTIVE', isAccessible: false }, false, 'unreachable', 'ACTIVE'],
    [{ deviceState: 'ERROR', isProcessing: true, isAccessible: false }, false, 'processing', 'ERROR'],
    [{ deviceState: 'ACTIVE', isMissing: true }, true, 'gone', 'ACTIVE'],
    [{ deviceState: 'ACTIVE' }, true, 'gone', 'ACTIVE'],
  ];
  test('OneStateLeadsAndTheDevicesOwnIsBesideIt', () => {
    for (const [flags, gone, key, own] of table) {
      const d = makeDevice({ isAccessible: true, ...flags });
      const eff = effectiveState(d, { gone });
      assert.deepEqual([eff.key, eff.own], [key, own], JSON.stringify(flags));
      assert.ok(eff.label.startsWith(own === null ? 'state.' : eff.key === 'gone' ? 'effective.' : 'badge.'), eff.label);
    }
  });

  test('NothingIsShownTwice', () => {
    const eff = effectiveState(makeDevice({ isMissing: true, isFavorite: true }));
    const list = [{ cls: 'missing' }, { cls: 'conflict' }];
    assert.deepEqual(
      withoutEffective(list, eff).map((b) => b.cls),
      ['conflict'],
    );
    assert.deepEqual(extraLines(['Localizing', ' localizing ', 'Lens dirty'], ['Localizing', '']), ['Lens dirty']);
    assert.deepEqual(extraLines(['Lens dirty'], ['Active']), ['Lens dirty']);
  });
});

describe('LastAnswered', () => {
  const iso = (s) => new Date(Date.UTC(2026, 11, 8, 12, 0, s)).toISOString();
  const at = (s) => Date.parse(iso(s));
  function clockWith(devices, scan) {
    const s = createState();
    applyFullState(s, { devices: { list: devices }, autoScanner: { isActive: true, lastScanTime: scan, scanIntervalMs: 1000 } });
    const c = new AnswerClock();
    c.reset(s);
    return c;
  }

  test('APresentDeviceAnsweredTheLatestScanNotItsStaleLastSeen', () => {
    const d = makeDevice({ lastSeen: iso(0) });
    const c = clockWith([d], iso(0));
    assert.equal(c.lastAnswered(d.id), at(0));
    for (let s = 1; s <= 10; s++) c.scan(iso(s));
    assert.equal(c.lastAnswered(d.id), at(10));
    c.scan(iso(5)); // an older scan changes nothing
    assert.equal(c.lastAnswered(d.id), at(10));
  });

  test('ASilencedDeviceKeepsTheScanBeforeItsSilence', () => {
    const d = makeDevice({ lastSeen: iso(0) });
    const c = clockWith([d], iso(0));
    for (let s = 1; s <= 10; s++) c.scan(iso(s));
    c.silenced(d.id); // marked at scan 10: silent for 3 s at least
    assert.equal(c.lastAnswered(d.id), at(7));
    for (let s = 11; s <= 20; s++) c.scan(iso(s));
    assert.equal(c.lastAnswered(d.id), at(7), 'frozen while silent');
    c.silenced(d.id); // repeated marks keep the first
    assert.equal(c.lastAnswered(d.id), at(7));
    c.answered(d.id);
    assert.equal(c.lastAnswered(d.id), at(20));
  });

  test('AMissingFavouriteFromTheSettingsShowsItsOwnLastSeen', () => {
    const d = makeDevice({ isFavorite: true, isMissing: true, lastSeen: iso(1) });
    const never = makeDevice({ isFavorite: true, isMissing: true, lastSeen: null });
    const c = clockWith([d, never], iso(30));
    assert.equal(c.lastAnswered(d.id), at(1));
    c.silenced(d.id);
    assert.equal(c.lastAnswered(d.id), at(1));
    // Never heard from: unknown, not the latest scan.
    assert.equal(c.lastAnswered(never.id), null);
  });

  test('OnlyAnAnswersChangesUnfreezeARestartingDevice', () => {
    const d = makeDevice({ lastSeen: iso(0) });
    const c = clockWith([d], iso(0));
    for (let s = 1; s <= 10; s++) c.scan(iso(s));
    // [changed keys, device now, last answer after it]
    for (const [keys, now, expected] of [
      [['isRebooting'], { isProcessing: true, isRebooting: true }, at(7)],
      [['isProcessing'], { isProcessing: false, isRebooting: true }, at(7)],
      // A timeout clears the flags while the device is still silent.
      [['isRebooting'], { isProcessing: false, isRebooting: false }, at(7)],
      [['isAccessible'], { isAccessible: true }, at(7)],
      // Back with its new address: the answer was copied in.
      [['ip'], { ip: '10.0.0.99' }, at(10)],
      [['isMissing'], { isMissing: true }, at(7)],
      [['isMissing'], { isMissing: false }, at(10)],
    ]) {
      c.changed(d.id, new Set(keys), { ...d, isMissing: false, isRebooting: false, ...now });
      assert.equal(c.lastAnswered(d.id), expected, `${keys} ${JSON.stringify(now)}`);
    }
  });

  test('WithoutScansOnlyTheProgramsLastSeenIsKnown', () => {
    const d = makeDevice({ lastSeen: iso(4) });
    const c = clockWith([d], null);
    assert.equal(c.lastAnswered(d.id), at(4));
    c.forget(d.id);
    assert.equal(c.lastAnswered(d.id), null);
  });
});
