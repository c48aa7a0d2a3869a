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

/** A tracker over fake timers and a transmitter that says whether the socket was open. */
function tracker({ open = true } = {}) {
  const timers = new Map();
  let next = 0;
  const events = [];
  const sent = [];
  const t = new r.RequestTracker({
    transmit: (req) => (open ? sent.push(req) > 0 : false),
    timeoutMs: 5000,
    onNotSent: () => events.push('notSent'),
    onRejected: (label) => events.push(`rejected ${label}`),
    onUnanswered: (label) => events.push(`unanswered ${label}`),
    timers: {
      set: (fn, ms) => {
        timers.set(++next, { fn, ms });
        return next;
      },
      clear: (id) => timers.delete(id),
    },
  });
  // Timers fire once: each leaves the list as it runs.
  const expire = () => {
    for (const [id, { fn }] of [...timers]) {
      timers.delete(id);
      fn();
    }
  };
  const callbacks = (name) => ({ onOk: () => events.push(`ok ${name}`), onFail: () => events.push(`fail ${name}`) });
  return { t, timers, events, sent, expire, callbacks };
}

describe('RequestTracker', () => {
  test('EachWayARequestEndsRunsItsCallbacksOnce', () => {
    const cases = [
      ['accepted', (k, req) => k.t.answer({ reqId: req.reqId, status: 'OK' }), ['ok theme']],
      ['refused', (k, req) => k.t.answer({ reqId: req.reqId, status: 'Error' }), ['rejected Theme', 'fail theme']],
      ['unanswered', (k) => k.expire(), ['unanswered Theme', 'fail theme']],
      ['socket closed', (k) => k.t.abandonAll(), []],
    ];
    for (const [name, end, events] of cases) {
      const k = tracker();
      const req = r.setTheme('dark');
      assert.equal(k.t.send(req, { label: 'Theme', ...k.callbacks('theme') }), true, name);
      assert.deepEqual(k.sent, [req], name);
      assert.equal(k.timers.get(1).ms, 5000, name);
      end(k, req);
      // Whatever comes after the end changes nothing.
      k.t.answer({ reqId: req.reqId, status: 'OK' });
      k.expire();
      assert.deepEqual(k.events, events, name);
      assert.equal(k.t.size, 0, name);
      assert.equal(k.timers.size, 0, `${name}: no timer left`);
    }
  });

  test('ARequestThatCannotGoOutFailsAtOnceAndWaitsForNothing', () => {
    const k = tracker({ open: false });
    assert.equal(k.t.send(r.setLanguage('de'), k.callbacks('language')), false);
    assert.deepEqual(k.events, ['notSent', 'fail language']);
    assert.equal(k.timers.size, 0);
  });

  test('AnswersToOtherRequestsAreIgnoredAndTheLabelDefaultsToTheType', () => {
    const k = tracker();
    const req = r.setLanguage('de');
    k.t.send(req);
    k.t.answer({ reqId: 'someone-else', status: 'Error' });
    assert.equal(k.t.size, 1);
    k.expire();
    assert.deepEqual(k.events, ['unanswered SetLanguage']);
  });
});
