import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';
import { validateRequest } from '../support/mock-lanfinder.mjs';

const r = await lnf('requests.js');

describe('Requests', () => {
  test('EveryRequestCarriesExactlyTheKeysTheApplicationReads', () => {
    const cases = [
      [
        r.changeDevice({
          deviceId: 'a_1',
          name: 'n',
          ip: '10.0.0.2',
          subnetMask: '255.0.0.0',
          defaultGateway: '0.0.0.0',
          networkMethod: 'PersistentIP',
          username: '',
          password: '',
        }),
        ['defaultGateway', 'deviceId', 'ip', 'name', 'networkMethod', 'password', 'reqId', 'reqType', 'subnetMask', 'username'],
      ],
      [r.setFavorite('a_1', true), ['deviceId', 'isFavorite', 'reqId', 'reqType']],
      [r.setLanguage('de'), ['language', 'reqId', 'reqType']],
      [r.setTheme('dark'), ['reqId', 'reqType', 'theme']],
      [r.localize('a_1', 'admin', 'pw'), ['deviceId', 'password', 'reqId', 'reqType', 'username']],
    ];
    for (const [req, keys] of cases) {
      assert.deepEqual(Object.keys(req).sort(), keys, req.reqType);
      assert.equal(validateRequest(JSON.stringify(req)), null, req.reqType);
    }
  });

  test('MissingValuesBecomeEmptyTextsNotMissingKeys', () => {
    const req = r.changeDevice({ deviceId: 'a_1', networkMethod: 'DHCP' });
    assert.equal(req.username, '');
    assert.equal(req.ip, '');
    assert.equal(validateRequest(JSON.stringify(req)), null);
  });

  test('FavoriteIsAJsonBool', () => {
    assert.equal(r.setFavorite('a', 1).isFavorite, true);
    assert.equal(r.setFavorite('a', 0).isFavorite, false);
  });

  test('MethodTextsAreTheApplicationsOwn', () => {
    assert.throws(() => r.changeDevice({ deviceId: 'a', networkMethod: 'dhcp' }));
    assert.equal(r.changeDevice({ deviceId: 'a', networkMethod: 'Unknown' }).networkMethod, 'Unknown');
  });

  test('RequestIdsAreUnique', () => {
    const ids = new Set(Array.from({ length: 100 }, () => r.nextRequestId()));
    assert.equal(ids.size, 100);
    for (const id of ids) assert.equal(typeof id, 'string');
  });
});

describe('MockValidation', () => {
  test('RejectsWhatTheApplicationRejects', () => {
    assert.match(validateRequest('nope'), /^Invalid Json doc: /);
    assert.equal(validateRequest('{"reqType":"SetTheme","theme":"x"}'), 'reqId not found');
    assert.equal(validateRequest('{"reqId":"1","reqType":"SetFavorite","deviceId":"a","isFavorite":1}'), 'isFavorite value type mismatch. Expected bool');
    assert.equal(validateRequest('{"reqId":"1","reqType":"Localize","deviceId":"a","username":"u"}'), 'password not found');
  });
});
