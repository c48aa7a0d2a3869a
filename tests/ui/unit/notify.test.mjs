import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { lnf, WEB } from './helpers.mjs';

const { MESSAGES, describeMessage, translateMessage, refusalOf, OutcomeTracker, foldNotifications } = await lnf('notify.js');
const { createTranslator } = await lnf('i18n.js');

// Every text the application posts as a notification.
const PROGRAM_TEXTS = [
  'Configuration changed successfully',
  'Error while processing the command. Please retry',
  'Device is busy. Please retry',
  'Error while changing the network settings. Please retry',
  'Error while changing the device name. Please retry',
  'Not authorized',
  'Invalid rights',
  'Error changing network settings. Reserved IP. Please try again with another one.',
  'Unexpected operation result occured',
  'LocalizingSuccess',
  'LocalizingError',
  'Localize is not supported',
  'DeviceNoLongerAvailable',
  'DeviceSetToFavorites',
  'DeviceRemovedFromFavorites',
  'Configuration request operation timeout',
  'No answer from the device',
  'Settings could not be saved',
  'Too many devices answered. Further devices are not shown',
  'The network card the device was found on is no longer available',
  'Device is not available',
  'Invalid address',
  'Address in use',
];

const dict = (code) => JSON.parse(fs.readFileSync(path.join(WEB, 'translations_json', `${code}.json`), 'utf8'));

describe('NotificationTexts', () => {
  test('EveryProgramTextHasATranslationInEveryLanguage', () => {
    for (const code of ['en', 'de']) {
      const t = createTranslator(dict(code));
      for (const text of PROGRAM_TEXTS) {
        const entry = MESSAGES.get(text);
        assert.ok(entry, text);
        const shown = translateMessage(text, t);
        assert.notEqual(shown, entry.key, `${code}: ${text}`);
        assert.ok(shown.length > 3, `${code}: ${text}`);
      }
    }
  });

  test('UnknownTextsAreShownAsTheyAre', () => {
    const t = createTranslator(dict('de'));
    assert.equal(translateMessage('Something new happened', t), 'Something new happened');
    assert.equal(describeMessage('Something new happened').level, 'info');
  });

  test('LevelsMatchTheOutcome', () => {
    assert.equal(describeMessage('LocalizingSuccess').level, 'success');
    assert.equal(describeMessage('Configuration changed successfully').level, 'success');
    assert.equal(describeMessage('Not authorized').level, 'error');
    assert.equal(describeMessage('DeviceNoLongerAvailable').level, 'warning');
    assert.equal(describeMessage('Settings could not be saved').level, 'error');
  });
});

describe('RefusedChanges', () => {
  test('ARefusalNamesItsFieldAndTheDeviceThatHoldsTheAddress', () => {
    for (const code of ['en', 'de']) {
      const t = createTranslator(dict(code));
      const shown = translateMessage('Address in use by abc_x1', t);
      assert.ok(shown.includes('abc_x1') && !shown.includes('{id}'), `${code}: ${shown}`);
    }
    assert.deepEqual(refusalOf('Address in use by abc_x1'), { field: 'ip', key: 'msg.addressInUseBy', params: { id: 'abc_x1' } });
    assert.deepEqual(refusalOf('Address in use'), { field: 'ip', key: 'msg.addressInUse', params: undefined });
    assert.equal(refusalOf('Invalid address').key, 'msg.invalidAddress');
    assert.equal(describeMessage('Address in use by abc_x1').kind, 'change');
    assert.equal(describeMessage('Device is not available').kind, 'change');
  });

  test('OnlyRefusalsAreShownInTheForm', () => {
    assert.equal(refusalOf('Configuration changed successfully'), null);
    assert.equal(refusalOf('Address in use by '), null, 'a prefix without its value is no refusal');
    assert.equal(refusalOf('Something new happened'), null);
    assert.equal(refusalOf(undefined), null);
  });
});

describe('OutcomeTracker', () => {
  test('ANamedOutcomeSettlesThatDevicesRequestEvenWithOthersWaiting', () => {
    const tr = new OutcomeTracker();
    tr.expect('change', 'a', 'Cam A', 10000);
    tr.expect('change', 'b', 'Cam B', 10000);
    tr.expect('localize', 'b', 'Cam B', 10000);
    assert.equal(tr.resolveFor('No answer from the device', 'b'), 'Cam B');
    // The localize of b still waits; the change of a is untouched.
    assert.equal(tr.resolveFor('LocalizingSuccess', 'b'), 'Cam B');
    assert.equal(tr.resolveFor('LocalizingSuccess', 'b'), null);
    assert.equal(tr.resolveFor('Configuration changed successfully', 'c'), null);
    assert.deepEqual(tr.resolve('Configuration changed successfully'), { deviceId: 'a', name: 'Cam A' });
  });

  test('ANamedOutcomeOfAnotherKindLeavesTheRequestWaiting', () => {
    const tr = new OutcomeTracker();
    tr.expect('change', 'a', 'Cam A', 10000);
    assert.equal(tr.resolveFor('LocalizingSuccess', 'a'), null);
    assert.equal(tr.resolveFor('Configuration changed successfully', 'a'), 'Cam A');
  });

  test('NamesTheDeviceOfTheOnlyWaitingRequest', () => {
    const tr = new OutcomeTracker();
    tr.expect('localize', 'a', 'Cam A', 10000);
    assert.deepEqual(tr.resolve('LocalizingSuccess'), { deviceId: 'a', name: 'Cam A' });
    assert.equal(tr.resolve('LocalizingSuccess'), null);
  });

  test('SharedTextsGoToEitherKindAndKindSpecificTextsOnlyToTheirs', () => {
    const tr = new OutcomeTracker();
    tr.expect('change', 'a', 'Cam A', 10000);
    assert.equal(tr.resolve('LocalizingError'), null);
    assert.deepEqual(tr.resolve('Not authorized'), { deviceId: 'a', name: 'Cam A' });
  });

  test('TwoDevicesWaitingMakeTheAnswerAnonymous', () => {
    const tr = new OutcomeTracker();
    tr.expect('change', 'a', 'Cam A', 10000);
    tr.expect('change', 'b', 'Cam B', 10000);
    assert.equal(tr.resolve('Configuration changed successfully'), null);
    assert.deepEqual(tr.resolve('Configuration changed successfully'), { deviceId: 'b', name: 'Cam B' });
  });

  test('ExpectationsExpire', () => {
    let now = 0;
    const tr = new OutcomeTracker({ now: () => now });
    tr.expect('localize', 'a', 'Cam A', 1000);
    now = 1001;
    assert.equal(tr.resolve('LocalizingSuccess'), null);
  });

  test('ADeviceThatLeftIsNamedInTheNoLongerAvailableMessage', () => {
    let now = 0;
    const tr = new OutcomeTracker({ now: () => now });
    tr.deviceLeft('a', 'Cam A');
    assert.deepEqual(tr.resolve('DeviceNoLongerAvailable'), { deviceId: 'a', name: 'Cam A' });
    tr.deviceLeft('b', 'Cam B');
    now = 6000;
    assert.equal(tr.resolve('DeviceNoLongerAvailable'), null);
  });
});

describe('Folding', () => {
  test('IdenticalAnonymousMessagesBecomeOneWithACount', () => {
    const out = foldNotifications([{ message: 'A' }, { message: 'A' }, { message: 'B' }, { message: 'A', device: 'Cam' }]);
    assert.deepEqual(
      out.map((n) => [n.message, n.count, n.device || '']),
      [
        ['A', 2, ''],
        ['B', 1, ''],
        ['A', 1, 'Cam'],
      ],
    );
  });
});
