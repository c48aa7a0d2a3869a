import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';

const { readViewQuery, writeViewQuery } = await lnf('urlstate.js');
const known = { filters: ['favorites', 'attention', 'missing'], columns: ['name', 'ip', 'status'] };

describe('ViewInTheAddress', () => {
  test('SettingsRoundTripAndOtherParametersStay', () => {
    for (const view of [
      { query: 'sensor 9', filters: ['attention', 'missing'], nic: '10.0.0.1', sortKey: 'ip', sortDir: 'desc', selectedId: 'v2d654_s1001' },
      { query: 'a&b=c #x', filters: [], nic: '', sortKey: 'status', sortDir: 'asc', selectedId: null },
      { query: '', filters: ['favorites'], nic: '', sortKey: 'name', sortDir: 'desc', selectedId: null },
    ]) {
      const search = writeViewQuery('?token=abc', view);
      assert.ok(search.includes('token=abc'), search);
      const back = readViewQuery(search, known);
      const expected = { sortKey: 'name', sortDir: 'asc', filters: [], query: '', nic: '', selectedId: null, ...back };
      assert.deepEqual(expected, view, search);
    }
  });

  test('APlainViewHasAPlainAddress', () => {
    assert.equal(writeViewQuery('', { query: '', filters: [], nic: '', sortKey: 'name', sortDir: 'asc', selectedId: null }), '');
    assert.equal(writeViewQuery('?q=old&sort=ip&dir=desc&token=t', { sortKey: 'name', sortDir: 'asc' }), '?token=t');
  });

  test('UnknownFiltersAndColumnsAreIgnored', () => {
    assert.deepEqual(readViewQuery('?filter=missing,bogus&sort=nope&dir=desc', known), { filters: ['missing'] });
    assert.deepEqual(readViewQuery('?sort=ip&dir=sideways', known), { sortKey: 'ip', sortDir: 'asc' });
    assert.deepEqual(readViewQuery('?device=', known), {});
    assert.deepEqual(readViewQuery('', known), {});
  });
});
