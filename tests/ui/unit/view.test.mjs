import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';
import { makeDevice, defaultNics } from '../support/mock-lanfinder.mjs';

const { createState, applyFullState, applyDiff, createChanges } = await lnf('state.js');
const { buildView, updateView, viewAffected, createViewCache, FILTERS } = await lnf('view.js');
const { FilterCounts } = await lnf('counts.js');
const { GoneRows, GONE_HOLD_MS } = await lnf('gone.js');

function stateWith(devices) {
  const s = createState();
  applyFullState(s, {
    devices: { list: devices },
    nics: defaultNics(),
    languages: ['en'],
    language: 'en',
    theme: 'light',
    version: '1',
    protocolState: { available: true, details: '' },
    autoScanner: {},
  });
  return s;
}

describe('Search', () => {
  test('EveryWordMustMatchSomeFieldIgnoringCase', () => {
    const a = makeDevice({ name: 'Line 4 Camera', ip: '10.0.0.40' });
    const b = makeDevice({ name: 'Line 5 Camera', ip: '10.0.0.50' });
    const s = stateWith([a, b]);
    assert.deepEqual(buildView(s, { query: 'line camera' }), [a.id, b.id]);
    assert.deepEqual(buildView(s, { query: 'LINE 10.0.0.50' }), [b.id]);
    assert.deepEqual(buildView(s, { query: 'line nothing' }), []);
  });

  test('FindsSerialMacAndStatusLines', () => {
    const a = makeDevice({ serialNumber: 'XZ991', statusStringDetails: ['Lens dirty'] });
    const b = makeDevice();
    const s = stateWith([a, b]);
    assert.deepEqual(buildView(s, { query: 'xz99' }), [a.id]);
    assert.deepEqual(buildView(s, { query: 'dirty' }), [a.id]);
    assert.deepEqual(buildView(s, { query: b.mac.toLowerCase() }), [b.id]);
  });

  test('WordsMatchAtWordStartsOfOneField', () => {
    const sensor9 = makeDevice({ name: 'Line 9', type: 'VisionSensor', serialNumber: 'S1001', ip: '10.0.0.21', mac: '02:00:00:00:00:21' });
    const serial9 = makeDevice({ name: 'Press', type: 'VisionSensor', serialNumber: 'S1009', ip: '10.0.0.22', mac: '02:00:00:00:00:22' });
    const reader = makeDevice({ name: 'Reader 9', type: 'CodeReader', serialNumber: 'S1010', ip: '10.0.0.23', mac: '00:1A:2B:3C:4D:5E' });
    const s = stateWith([sensor9, serial9, reader]);
    // [query, names found]
    for (const [query, names] of [
      ['sensor 9', ['Line 9']],
      ['9', ['Line 9', 'Reader 9']],
      ['sensor', ['Line 9', 'Press']],
      ['visionsensor', ['Line 9', 'Press']],
      ['ensor', []],
      ['1009', ['Press']],
      ['s100', ['Line 9', 'Press']],
      ['10.0.0.2', ['Line 9', 'Press', 'Reader 9']],
      ['0.0.22', ['Press']],
      ['reader line', []],
      ['00:1a:2b', ['Reader 9']],
      ['001A2B3C', ['Reader 9']],
      ['00-1a-2b-3c-4d-5e', ['Reader 9']],
      ['3c:4d', ['Reader 9']],
      ['1a2b', []],
    ]) {
      const names_ = buildView(s, { query }).map((id) => s.devices.get(id).name);
      assert.deepEqual(names_.sort(), [...names].sort(), query);
    }
  });

  test('ACachedSearchFollowsChanges', () => {
    const a = makeDevice({ name: 'alpha' });
    const s = stateWith([a]);
    const cache = createViewCache();
    assert.deepEqual(buildView(s, { query: 'beta' }, cache), []);
    applyDiff(s, { devices: { updated: [{ id: a.id, name: 'beta' }] } });
    assert.deepEqual(buildView(s, { query: 'beta' }, cache), [a.id]);
  });
});

describe('Filters', () => {
  const fav = makeDevice({ isFavorite: true });
  const missing = makeDevice({ isFavorite: true, isMissing: true, isAccessible: false });
  const unreachable = makeDevice({ isAccessible: false });
  const warn = makeDevice({ deviceState: 'WARNING' });
  const busy = makeDevice({ isProcessing: true });
  const plain = makeDevice({ ipOfAssociatedNic: '10.1.0.1' });
  const s = stateWith([fav, missing, unreachable, warn, busy, plain]);
  const ids = (filters, extra = {}) => buildView(s, { filters: new Set(filters), sortKey: '', ...extra });

  test('EachQuickFilterSelectsItsDevices', () => {
    assert.deepEqual(ids(['favorites']), [fav.id, missing.id]);
    assert.deepEqual(ids(['missing']), [missing.id]);
    assert.deepEqual(ids(['unreachable']), [unreachable.id]);
    assert.deepEqual(ids(['busy']), [busy.id]);
    assert.deepEqual(ids(['attention']), [missing.id, unreachable.id, warn.id]);
  });

  test('FiltersCombineAsAnd', () => {
    assert.deepEqual(ids(['favorites', 'missing']), [missing.id]);
    assert.deepEqual(ids(['busy', 'missing']), []);
  });

  test('TheCardFilterKeepsDevicesSeenOnThatCard', () => {
    assert.deepEqual(ids([], { nic: '10.1.0.1' }), [plain.id]);
  });
});

describe('FilterCounts', () => {
  test('KeptCountsEqualACountOfEveryDeviceAfterEachDiff', () => {
    const a = makeDevice({ isFavorite: true, ip: '10.0.0.5' });
    const b = makeDevice({ deviceState: 'WARNING', ip: '10.0.0.6' });
    const c = makeDevice({ isProcessing: true, ip: '10.0.0.7' });
    const d = makeDevice({ isFavorite: true, isMissing: true, isAccessible: false });
    const s = stateWith([a, b, c]);
    const counts = new FilterCounts();
    counts.update(s, { ...createChanges(), full: true });
    const steps = [
      ['a favourite added', { added: [d] }],
      ['an address taken twice', { updated: [{ id: c.id, ip: '10.0.0.5' }] }],
      ['one of the two removed', { removed: [{ id: a.id }] }],
      ['the other one changed', { updated: [{ id: c.id, isProcessing: false, isAccessible: false }] }],
      ['removed and added back in one', { removed: [{ id: b.id }], added: [{ ...b, deviceState: 'ACTIVE', ip: '10.0.0.5' }] }],
      ['all removed', { removed: [{ id: b.id }, { id: c.id }, { id: d.id }] }],
    ];
    for (const [what, devices] of steps) {
      const changes = applyDiff(s, { devices }, createChanges());
      counts.update(s, changes);
      const built = FILTERS.map((f) => buildView(s, { filters: new Set([f]), sortKey: '' }).length);
      assert.deepEqual(
        FILTERS.map((f) => counts.get(f)),
        built,
        what,
      );
    }
    assert.deepEqual(
      FILTERS.map((f) => counts.get(f)),
      FILTERS.map(() => 0),
    );
    counts.update(s, applyFullState(s, { devices: { list: [a, d] } }));
    assert.deepEqual([counts.get('favorites'), counts.get('missing'), counts.get('attention'), counts.get('busy')], [2, 1, 1, 0]);
  });
});

describe('Sort', () => {
  test('IpAddressesSortAsNumbers', () => {
    const a = makeDevice({ ip: '10.0.0.10' });
    const b = makeDevice({ ip: '10.0.0.9' });
    const c = makeDevice({ ip: '' });
    const s = stateWith([a, b, c]);
    assert.deepEqual(buildView(s, { sortKey: 'ip', sortDir: 'asc' }), [b.id, a.id, c.id]);
    assert.deepEqual(buildView(s, { sortKey: 'ip', sortDir: 'desc' }), [c.id, a.id, b.id]);
  });

  test('NamesSortNaturallyAndEmptyNamesLast', () => {
    const a = makeDevice({ name: 'cam 10' });
    const b = makeDevice({ name: 'Cam 9' });
    const c = makeDevice({ name: '' });
    const s = stateWith([c, a, b]);
    assert.deepEqual(buildView(s, { sortKey: 'name' }), [b.id, a.id, c.id]);
  });

  test('FavouritesComeFirstAndTheStateColumnPutsTroubleFirst', () => {
    const ok = makeDevice({ name: 'a' });
    const err = makeDevice({ name: 'b', deviceState: 'ERROR' });
    const missing = makeDevice({ name: 'c', isMissing: true, isFavorite: true });
    const s = stateWith([ok, err, missing]);
    assert.deepEqual(buildView(s, { sortKey: 'isFavorite' })[0], missing.id);
    assert.deepEqual(buildView(s, { sortKey: 'status' }), [missing.id, err.id, ok.id]);
  });

  test('EqualKeysKeepAStableOrderByName', () => {
    const a = makeDevice({ name: 'b', type: 'T' });
    const b = makeDevice({ name: 'a', type: 'T' });
    const s = stateWith([a, b]);
    assert.deepEqual(buildView(s, { sortKey: 'type' }), [b.id, a.id]);
  });
});

describe('ViewAffected', () => {
  test('OnlyChangesThatCanMoveOrHideRowsRebuildTheView', () => {
    const a = makeDevice();
    const s = stateWith([a]);
    const quiet = applyDiff(s, { devices: { updated: [{ id: a.id, isProcessing: true }] } });
    assert.equal(viewAffected(quiet, { sortKey: 'name' }), false);
    assert.equal(viewAffected(quiet, { sortKey: 'status' }), true);
    assert.equal(viewAffected(quiet, { sortKey: 'name', filters: new Set(['busy']) }), true);
    assert.equal(viewAffected(quiet, { sortKey: 'name', query: 'x' }), true);
    const renamed = applyDiff(s, { devices: { updated: [{ id: a.id, name: 'z' }] } });
    assert.equal(viewAffected(renamed, { sortKey: 'ip' }), true);
    const added = applyDiff(s, { devices: { added: [makeDevice()] } });
    assert.equal(viewAffected(added, {}), true);
    assert.equal(viewAffected(createChanges(), {}), false);
  });
});

describe('IncrementalView', () => {
  const names = ['Alpha', 'beta', 'Cam 9', 'Cam 10', '', 'Zulu', 'cam 2'];
  const states = ['ACTIVE', 'ERROR', 'WARNING', 'UNKNOWN'];

  // The quick filters' counts, kept per device, follow the same diffs.
  test('AlwaysEqualsAFullBuildUnderRandomDiffs', () => {
    let seed = 7;
    const rand = (n) => {
      seed = (seed * 1103515245 + 12345) % 2147483648;
      return seed % n;
    };
    const pool = Array.from({ length: 400 }, (_, i) => makeDevice({ name: names[i % names.length] + (i % 3 ? '' : ` ${i}`), ip: `10.0.${i % 7}.${i % 50}` }));
    const s = stateWith(pool.slice(0, 300));
    const optionsList = [
      { sortKey: 'name' },
      { sortKey: 'ip', sortDir: 'desc' },
      { sortKey: 'status' },
      { sortKey: 'isFavorite' },
      { sortKey: 'name', filters: new Set(['attention']) },
      { sortKey: 'type', query: 'cam' },
    ];
    const counts = new FilterCounts();
    counts.update(s, { ...createChanges(), full: true });
    const countsNow = () => FILTERS.map((f) => counts.get(f));
    const countsBuilt = () => FILTERS.map((f) => buildView(s, { filters: new Set([f]), sortKey: '' }).length);
    assert.deepEqual(countsNow(), countsBuilt());
    for (const opts of optionsList) {
      let view = buildView(s, opts);
      for (let round = 0; round < 60; round++) {
        const changes = createChanges();
        const ids = [...s.devices.keys()];
        for (let k = 0; k < 1 + rand(6); k++) {
          const id = ids[rand(ids.length)];
          const pick = rand(6);
          if (pick === 0) applyDiff(s, { devices: { updated: [{ id, name: names[rand(names.length)] }] } }, changes);
          else if (pick === 1) applyDiff(s, { devices: { updated: [{ id, ip: `10.0.${rand(7)}.${rand(50)}` }] } }, changes);
          else if (pick === 2) applyDiff(s, { devices: { updated: [{ id, deviceState: states[rand(4)], isFavorite: rand(2) === 0 }] } }, changes);
          else if (pick === 3 && ids.length > 50) applyDiff(s, { devices: { removed: [{ id }] } }, changes);
          else if (pick === 4) {
            const d = pool[rand(pool.length)];
            if (!s.devices.has(d.id)) applyDiff(s, { devices: { added: [d] } }, changes);
          } else applyDiff(s, { devices: { updated: [{ id, isMissing: rand(3) === 0 }] } }, changes);
        }
        if (viewAffected(changes, opts)) view = updateView(s, view, changes, opts);
        assert.deepEqual(view, buildView(s, opts), `${JSON.stringify({ ...opts, filters: [...(opts.filters || [])] })} round ${round}`);
        counts.update(s, changes);
        assert.deepEqual(countsNow(), countsBuilt(), `counts, round ${round}`);
      }
    }
  });
});

describe('GoneRows', () => {
  test('ARowIsKeptForThirtySecondsThenLeavesInOrder', () => {
    let now = 1000;
    const gone = new GoneRows({ now: () => now });
    assert.equal(GONE_HOLD_MS, 30000);
    assert.equal(gone.nextExpiry(), null);
    gone.keep({ id: 'a', name: 'A' });
    now += 10000;
    gone.keep({ id: 'b', name: 'B' });
    assert.equal(gone.nextExpiry(), 20000);
    now += 19999;
    assert.deepEqual(gone.expire(), []);
    now += 1; // exactly 30 s after "a" left
    assert.deepEqual(gone.expire(), ['a']);
    assert.equal(gone.has('a'), false);
    assert.equal(gone.get('b').name, 'B');
    assert.equal(gone.nextExpiry(), 10000);
    now += 10000;
    assert.deepEqual(gone.expire(), ['b']);
    assert.equal(gone.size, 0);
  });

  test('ADeviceThatComesBackLosesItsKeptRowAndLeavingAgainRestartsTheHold', () => {
    let now = 0;
    const gone = new GoneRows({ now: () => now });
    gone.keep({ id: 'a' });
    now = 5000;
    assert.equal(gone.back('a'), true);
    assert.equal(gone.back('a'), false);
    now = 20000;
    gone.keep({ id: 'a' });
    now = 45000;
    assert.deepEqual(gone.expire(), [], 'held 30 s from the second leave');
    now = 50000;
    assert.deepEqual(gone.expire(), ['a']);
  });

  test('TheViewKeepsAGoneRowInPlaceUntilItExpires', () => {
    const devices = ['a', 'b', 'c', 'd'].map((n) => makeDevice({ name: n }));
    const s = stateWith(devices);
    const cache = createViewCache();
    let now = 0;
    const gone = new GoneRows({ now: () => now });
    const opts = { sortKey: 'name', sortDir: 'asc' };
    const before = buildView(s, opts, cache, gone);
    const b = s.devices.get(devices[1].id);
    const changes = applyDiff(s, { devices: { removed: [{ id: b.id }] } }, createChanges());
    gone.keep(b);
    const after = updateView(s, before, changes, opts, cache, gone);
    assert.deepEqual(after, before, 'the row stays where it was');
    // A sort rebuilds the view: the kept row takes part.
    assert.deepEqual(buildView(s, { ...opts, sortDir: 'desc' }, cache, gone), [...before].reverse());
    // Filters apply to it as to any row.
    assert.deepEqual(buildView(s, { ...opts, query: 'zzz' }, cache, gone), []);
    now = 30000;
    assert.deepEqual(gone.expire(), [b.id]);
    assert.deepEqual(buildView(s, opts, cache, gone), [devices[0].id, devices[2].id, devices[3].id]);
    // Without kept rows a removal leaves at once, as before.
    const c = devices[2].id;
    const left = updateView(s, buildView(s, opts, cache, gone), applyDiff(s, { devices: { removed: [{ id: c }] } }, createChanges()), opts, cache, gone);
    assert.deepEqual(left, [devices[0].id, devices[3].id]);
  });
});
