import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';
import { makeDevice, defaultNics } from '../support/mock-lanfinder.mjs';

const { createState, applyFullState, applyDiff, createChanges, classifyFrame, changePhase, hasConflict, conflictPartners, nicOfDevice } = await lnf('state.js');

function fullDoc(devices, extra = {}) {
  return {
    autoScanner: { isActive: true, lastScanTime: null, scanIntervalMs: 1000 },
    devices: { list: devices },
    nics: defaultNics(),
    languages: ['de', 'en'],
    protocolState: { available: true, details: '' },
    language: 'de',
    theme: 'dark',
    version: '1.2.3',
    ...extra,
  };
}

describe('FullState', () => {
  test('ReplacesEverythingAndKeepsTheStoreOrder', () => {
    const s = createState();
    const a = makeDevice({ name: 'B' });
    const b = makeDevice({ name: 'A' });
    applyFullState(s, fullDoc([makeDevice()]));
    const changes = applyFullState(s, fullDoc([a, b]));
    assert.equal(changes.full, true);
    assert.deepEqual([...s.devices.keys()], [a.id, b.id]);
    assert.equal(s.language, 'de');
    assert.equal(s.theme, 'dark');
    assert.equal(s.version, '1.2.3');
    assert.deepEqual(s.languages, ['de', 'en']);
    assert.equal(s.nics.length, 1);
    assert.equal(s.loaded, true);
  });

  test('KeepsItsOwnCopyOfTheDocument', () => {
    const s = createState();
    const d = makeDevice();
    applyFullState(s, fullDoc([d]));
    d.name = 'changed outside';
    assert.notEqual(s.devices.get(d.id).name, 'changed outside');
  });

  test('AnAdoptedDocumentGivesTheSameDevices', () => {
    const list = [makeDevice({ statusStringDetails: ['a', 7, null] }), makeDevice({ statusStringDetails: 'not a list' }), makeDevice()];
    const copied = createState();
    applyFullState(copied, fullDoc(list));
    const adopted = createState();
    const doc = fullDoc(list.map((d) => ({ ...d })));
    applyFullState(adopted, doc, undefined, { adopt: true });
    assert.deepEqual([...adopted.devices], [...copied.devices]);
    assert.deepEqual(adopted.devices.get(list[0].id).statusStringDetails, ['a', '7', '']);
    assert.deepEqual(adopted.devices.get(list[1].id).statusStringDetails, []);
    assert.equal(adopted.devices.get(list[2].id), doc.devices.list[2]);
  });

  test('AnEmptyLanguageListFallsBackToEnglish', () => {
    const s = createState();
    applyFullState(s, fullDoc([], { languages: [] }));
    assert.deepEqual(s.languages, ['en']);
  });
});

describe('Diff', () => {
  test('AddedDeviceIsAppendedAndReported', () => {
    const s = createState();
    applyFullState(s, fullDoc([makeDevice()]));
    const d = makeDevice();
    const c = applyDiff(s, { devices: { added: [d] } });
    assert.deepEqual([...c.added], [d.id]);
    assert.equal([...s.devices.keys()].at(-1), d.id);
  });

  test('RemovedDeviceLeavesAndItsDataIsKeptForMessages', () => {
    const s = createState();
    const d = makeDevice({ name: 'Gone' });
    applyFullState(s, fullDoc([d]));
    const c = applyDiff(s, { devices: { removed: [{ id: d.id }] } });
    assert.equal(s.devices.has(d.id), false);
    assert.equal(s.rev.has(d.id), false);
    assert.deepEqual([...c.removed], [d.id]);
    assert.equal(c.removedDevices[0].name, 'Gone');
  });

  test('UpdatedKeysChangeOnlyThoseKeysIncludingOnesTheFullObjectLacks', () => {
    const s = createState();
    const d = makeDevice({ name: 'Old' });
    applyFullState(s, fullDoc([d]));
    const before = s.rev.get(d.id);
    const c = applyDiff(s, { devices: { updated: [{ id: d.id, name: 'New', shouldProcess: true, processingStartedTime: '2026-12-07T10:00:00' }] } });
    const got = s.devices.get(d.id);
    assert.equal(got.name, 'New');
    assert.equal(got.shouldProcess, true);
    assert.equal(got.processingStartedTime, '2026-12-07T10:00:00');
    assert.equal(got.ip, d.ip);
    assert.deepEqual([...c.updated.get(d.id)].sort(), ['name', 'processingStartedTime', 'shouldProcess']);
    assert.ok(s.rev.get(d.id) > before);
  });

  test('UpdateForAnUnknownDeviceIsIgnored', () => {
    const s = createState();
    applyFullState(s, fullDoc([]));
    const c = applyDiff(s, { devices: { updated: [{ id: 'nobody', name: 'x' }] } });
    assert.equal(s.devices.size, 0);
    assert.equal(c.updated.size, 0);
  });

  test('RemovedAndAddedBackInOneBatchEndsPresentAsAdded', () => {
    const s = createState();
    const d = makeDevice();
    applyFullState(s, fullDoc([d]));
    const c = createChanges();
    applyDiff(s, { devices: { removed: [{ id: d.id }] } }, c);
    applyDiff(s, { devices: { added: [{ ...d, name: 'Back' }] } }, c);
    assert.equal(s.devices.get(d.id).name, 'Back');
    assert.equal(c.removed.has(d.id), false);
    assert.equal(c.added.has(d.id), true);
  });

  test('AppKeysAreAppliedAndAutoScannerKeysMerge', () => {
    const s = createState();
    applyFullState(s, fullDoc([]));
    const c = applyDiff(s, {
      theme: 'light',
      autoScanner: { lastScanTime: '2026-12-07T10:00:01' },
      protocolState: { available: false, details: 'Cannot bind 10.1.2.3:33002' },
    });
    assert.equal(s.theme, 'light');
    assert.deepEqual(s.autoScanner, { isActive: true, lastScanTime: '2026-12-07T10:00:01', scanIntervalMs: 1000 });
    assert.deepEqual(s.protocolState, { available: false, details: 'Cannot bind 10.1.2.3:33002' });
    assert.deepEqual([...c.app].sort(), ['autoScanner', 'protocolState', 'theme']);
  });

  test('NotificationsAreCollectedInOrder', () => {
    const s = createState();
    applyFullState(s, fullDoc([]));
    const c = applyDiff(s, { notifications: [{ message: 'A', creationTime: '2026-12-07T10:00:00' }, { message: 'B', creationTime: null }, { nonsense: 1 }] });
    assert.deepEqual(
      c.notifications.map((n) => n.message),
      ['A', 'B'],
    );
  });

  test('ANotificationKeepsTheDeviceItNamesAndOnlyAsText', () => {
    const s = createState();
    applyFullState(s, fullDoc([]));
    const c = applyDiff(s, {
      notifications: [
        { message: 'A', creationTime: null, deviceId: 'abc_x1' },
        { message: 'B', creationTime: null },
        { message: 'C', creationTime: null, deviceId: 7 },
        { message: 'D', creationTime: null, deviceId: '' },
      ],
    });
    assert.deepEqual(
      c.notifications.map((n) => n.deviceId),
      ['abc_x1', null, null, null],
    );
  });

  test('MalformedPartsAreSkippedNotFatal', () => {
    const s = createState();
    applyFullState(s, fullDoc([makeDevice()]));
    assert.doesNotThrow(() => applyDiff(s, { devices: { added: [null, 5, { noId: true }], removed: ['x'], updated: 'y' }, nics: 'no' }));
    assert.equal(s.devices.size, 1);
    assert.equal(s.nics.length, 1);
  });

  test('StatusLinesAreAlwaysTexts', () => {
    const s = createState();
    const d = makeDevice();
    applyFullState(s, fullDoc([d]));
    applyDiff(s, { devices: { updated: [{ id: d.id, statusStringDetails: ['a', 3, null] }] } });
    assert.deepEqual(s.devices.get(d.id).statusStringDetails, ['a', '3', '']);
  });
});

describe('IpConflict', () => {
  test('TwoPresentDevicesWithOneAddressConflict', () => {
    const s = createState();
    const a = makeDevice({ ip: '10.0.0.5' });
    const b = makeDevice({ ip: '10.0.0.5' });
    const c = makeDevice({ ip: '10.0.0.6' });
    applyFullState(s, fullDoc([a, b, c]));
    assert.equal(hasConflict(s, a.id), true);
    assert.deepEqual(conflictPartners(s, a.id), [b.id]);
    assert.equal(hasConflict(s, c.id), false);
  });

  test('MovingAwayClearsTheConflictAndRedrawsThePartner', () => {
    const s = createState();
    const a = makeDevice({ ip: '10.0.0.5' });
    const b = makeDevice({ ip: '10.0.0.5' });
    applyFullState(s, fullDoc([a, b]));
    const changes = applyDiff(s, { devices: { updated: [{ id: a.id, ip: '10.0.0.9' }] } });
    assert.equal(hasConflict(s, b.id), false);
    assert.ok(changes.updated.get(b.id).has('conflict'));
  });

  test('MissingDevicesAndEmptyOrZeroAddressesDoNotConflict', () => {
    const s = createState();
    const a = makeDevice({ ip: '10.0.0.5' });
    const b = makeDevice({ ip: '10.0.0.5', isMissing: true });
    const c = makeDevice({ ip: '' });
    const d = makeDevice({ ip: '' });
    const e = makeDevice({ ip: '0.0.0.0' });
    const f = makeDevice({ ip: '0.0.0.0' });
    applyFullState(s, fullDoc([a, b, c, d, e, f]));
    for (const x of [a, b, c, d, e, f]) assert.equal(hasConflict(s, x.id), false, x.ip);
    applyDiff(s, { devices: { updated: [{ id: b.id, isMissing: false }] } });
    assert.equal(hasConflict(s, a.id), true);
  });

  test('RemovingOneOfTwoEndsTheConflict', () => {
    const s = createState();
    const a = makeDevice({ ip: '10.0.0.5' });
    const b = makeDevice({ ip: '10.0.0.5' });
    applyFullState(s, fullDoc([a, b]));
    applyDiff(s, { devices: { removed: [{ id: b.id }] } });
    assert.equal(hasConflict(s, a.id), false);
  });
});

describe('Frames', () => {
  test('SortsTheFourKindsOfFrame', () => {
    assert.equal(classifyFrame('SessionClosing').kind, 'closing');
    assert.equal(classifyFrame('{"reqId":"1","reqType":"SetTheme","status":"OK"}').kind, 'answer');
    assert.equal(classifyFrame(JSON.stringify(fullDoc([]))).kind, 'full');
    assert.equal(classifyFrame('{"devices":{"updated":[{"id":"a","name":"x"}]}}').kind, 'diff');
    assert.equal(classifyFrame('{"theme":"dark"}').kind, 'diff');
    assert.equal(classifyFrame('not json').kind, 'invalid');
    assert.equal(classifyFrame('[1,2]').kind, 'invalid');
  });
});

describe('ChangePhase', () => {
  test('FollowsTheConfigurationFlags', () => {
    assert.equal(changePhase({}), 'idle');
    assert.equal(changePhase({ shouldProcess: true }), 'pending');
    assert.equal(changePhase({ shouldProcess: true, isProcessing: true }), 'processing');
    assert.equal(changePhase({ shouldProcess: true, isProcessing: true, isRebooting: true }), 'rebooting');
    assert.equal(changePhase({ isRebooting: true }), 'rebooting');
  });

  test('TheCardOfADeviceIsFoundByItsAddress', () => {
    const s = createState();
    applyFullState(s, fullDoc([]));
    assert.equal(nicOfDevice(s, { ipOfAssociatedNic: '10.0.0.1' }).name, 'eth0');
    assert.equal(nicOfDevice(s, { ipOfAssociatedNic: '10.9.9.9' }), null);
  });
});
