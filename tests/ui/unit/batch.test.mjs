import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';
import { makeDevice, defaultNics } from '../support/mock-lanfinder.mjs';

const { assignAddresses, expandName, planFromSettings, checkPlan, itemChanges, jobItem } = await lnf('batch.js');
const { parseIPv4 } = await lnf('ipv4.js');
const { changeDevices, cancelBatch } = await lnf('requests.js');

const ids = (n) => Array.from({ length: n }, (_, i) => `d${i + 1}`);
const owners = (pairs) => new Map(pairs.map(([ip, id]) => [parseIPv4(ip), id]));

describe('AddressRange', () => {
  const cases = [
    { what: 'counts up from the start', n: 3, opts: { start: '10.0.0.10', subnetMask: '255.255.255.0' }, want: ['10.0.0.10', '10.0.0.11', '10.0.0.12'] },
    {
      what: 'skips addresses other listed devices use',
      n: 3,
      opts: {
        start: '10.0.0.10',
        subnetMask: '255.255.255.0',
        usedBy: owners([
          ['10.0.0.11', 'x'],
          ['10.0.0.12', 'y'],
        ]),
      },
      want: ['10.0.0.10', '10.0.0.13', '10.0.0.14'],
    },
    {
      what: 'a device may keep the address it has',
      n: 2,
      opts: { start: '10.0.0.10', subnetMask: '255.255.255.0', usedBy: owners([['10.0.0.11', 'd2']]) },
      want: ['10.0.0.10', '10.0.0.11'],
    },
    {
      what: 'skips the gateway and the PC card',
      n: 2,
      opts: { start: '10.0.0.1', subnetMask: '255.255.255.0', defaultGateway: '10.0.0.1', reserved: new Set([parseIPv4('10.0.0.2')]) },
      want: ['10.0.0.3', '10.0.0.4'],
    },
    {
      what: 'the last host is the last address given',
      n: 2,
      opts: { start: '10.0.0.253', subnetMask: '255.255.255.0' },
      want: ['10.0.0.253', '10.0.0.254'],
    },
    {
      what: 'a range past the broadcast address ends there, no wrap',
      n: 3,
      opts: { start: '10.0.0.253', subnetMask: '255.255.255.0' },
      want: ['10.0.0.253', '10.0.0.254', null],
    },
    {
      what: 'a skip at the end also ends the range',
      n: 2,
      opts: { start: '10.0.0.253', subnetMask: '255.255.255.0', usedBy: owners([['10.0.0.254', 'x']]) },
      want: ['10.0.0.253', null],
    },
    { what: 'a /31 uses both addresses', n: 3, opts: { start: '10.0.0.4', subnetMask: '255.255.255.254' }, want: ['10.0.0.4', '10.0.0.5', null] },
  ];
  for (const c of cases) {
    test(c.what, () => {
      const { error, items } = assignAddresses(ids(c.n), c.opts);
      assert.equal(error, null);
      assert.deepEqual(
        items.map((i) => i.ip),
        c.want,
      );
      for (const item of items) assert.equal(item.problem, item.ip === null ? 'batch.problem.rangeEnd' : null);
    });
  }

  const refused = [
    ['the network address as start', { start: '10.0.0.0', subnetMask: '255.255.255.0' }, 'batch.problem.start'],
    ['the broadcast address as start', { start: '10.0.0.255', subnetMask: '255.255.255.0' }, 'batch.problem.start'],
    ['a start that is no address', { start: '10.0.0', subnetMask: '255.255.255.0' }, 'batch.problem.start'],
    ['a mask with a hole', { start: '10.0.0.1', subnetMask: '255.0.255.0' }, 'batch.problem.mask'],
    ['the zero mask', { start: '10.0.0.1', subnetMask: '0.0.0.0' }, 'batch.problem.mask'],
  ];
  for (const [what, opts, key] of refused) {
    test(`refuses ${what}`, () => {
      const { error, items } = assignAddresses(ids(2), opts);
      assert.equal(error, key);
      assert.deepEqual(
        items.map((i) => [i.ip, i.problem]),
        [
          [null, key],
          [null, key],
        ],
      );
    });
  }
});

describe('NamePattern', () => {
  const d = { serialNumber: 'S17', articleNumber: 'V2D654', type: 'VisionSensor', name: 'Old' };
  const rows = [
    ['Cam {n}', 1, 0, 'Cam 1'],
    ['Cam {n}', 7, 3, 'Cam 007'],
    ['Cam {n}', 1234, 3, 'Cam 1234'],
    ['L{n}-{serial}', 0, 2, 'L00-S17'],
    ['{type} {article}/{serial} was {name}', 1, 0, 'VisionSensor V2D654/S17 was Old'],
    ['{unknown} {N}', 1, 0, '{unknown} {N}'],
  ];
  for (const [pattern, n, pad, want] of rows) test(`${pattern} #${n} pad ${pad}`, () => assert.equal(expandName(pattern, d, n, { pad }), want));

  test('the counter starts where asked and goes up in selection order', () => {
    const devices = [makeDevice({ name: 'a' }), makeDevice({ name: 'b' }), makeDevice({ name: 'c' })];
    const items = planFromSettings(devices, { namePattern: 'Line-{n}', nameStart: 9, namePad: 2 });
    assert.deepEqual(
      items.map((i) => i.planned.name),
      ['Line-09', 'Line-10', 'Line-11'],
    );
  });
});

describe('BatchPlan', () => {
  const dev = (ip, o = {}) => makeDevice({ ip, subnetMask: '255.255.0.0', defaultGateway: '0.0.0.0', networkMethod: 'PersistentIP', ...o });
  const nics = defaultNics(); // 10.0.0.1/16
  const problems = (items) => items.map((i) => i.problems.map((p) => p.key));

  test('a fixed range gives the common mask and gateway and skips listed and PC addresses', () => {
    const a = dev('10.0.9.1');
    const b = dev('10.0.9.2');
    const other = dev('10.0.0.3');
    const items = planFromSettings(
      [a, b],
      { method: 'PersistentIP', start: '10.0.0.1', subnetMask: '255.255.0.0', defaultGateway: '10.0.0.2' },
      { listed: [a, b, other], nics },
    );
    assert.deepEqual(
      items.map((i) => [i.planned.ip, i.planned.subnetMask, i.planned.defaultGateway]),
      [
        ['10.0.0.4', '255.255.0.0', '10.0.0.2'],
        ['10.0.0.5', '255.255.0.0', '10.0.0.2'],
      ],
    );
    checkPlan(items, { listed: [a, b, other], nics });
    assert.deepEqual(problems(items), [[], []]);
  });

  test('the range running out is a problem of the devices left over', () => {
    const list = [dev('10.1.0.1'), dev('10.1.0.2'), dev('10.1.0.3')];
    const items = planFromSettings(list, { method: 'PersistentIP', start: '10.0.255.253', subnetMask: '255.255.0.0' }, { listed: list, nics });
    checkPlan(items, { listed: list, nics });
    assert.deepEqual(
      items.map((i) => i.planned.ip),
      ['10.0.255.253', '10.0.255.254', '10.1.0.3'],
    );
    assert.deepEqual(problems(items), [[], [], ['batch.problem.rangeEnd']]);
  });

  test('pre-flight marks in use, planned twice, invalid and the PC', () => {
    const a = dev('10.0.1.1');
    const b = dev('10.0.1.2');
    const c = dev('10.0.1.3');
    const d = dev('10.0.1.4');
    const outside = dev('10.0.5.5', { name: 'Outside' });
    const item = (device, ip) => ({
      id: device.id,
      device,
      current: { ip: device.ip },
      planned: { name: 'x', method: 'PersistentIP', ip, subnetMask: '255.255.0.0', defaultGateway: '0.0.0.0' },
      problems: [],
    });
    const items = [item(a, '10.0.5.5'), item(b, '10.0.7.7'), item(c, '10.0.7.7'), item(d, '10.0.0.300'), { ...item(dev('10.0.1.9'), '10.0.0.1') }];
    checkPlan(items, { listed: [a, b, c, d, outside], nics, label: (x) => x.name });
    assert.deepEqual(problems(items), [
      ['batch.problem.inUse'],
      ['batch.problem.twice'],
      ['batch.problem.twice'],
      ['batch.problem.invalid'],
      ['batch.problem.pc'],
    ]);
    assert.deepEqual(items[0].problems[0].params, { name: 'Outside' });
    assert.equal(items[3].problems[0].detail, 'error.ipv4');
  });

  test('an address freed by a device earlier in the job is free; one freed later is not', () => {
    const a = dev('10.0.1.1');
    const b = dev('10.0.1.2');
    const item = (device, ip) => ({
      id: device.id,
      device,
      current: {},
      planned: { name: 'x', method: 'PersistentIP', ip, subnetMask: '255.255.0.0', defaultGateway: '0.0.0.0' },
      problems: [],
    });
    const swapped = checkPlan([item(a, '10.0.2.1'), item(b, '10.0.1.1')], { listed: [a, b] });
    assert.deepEqual(problems(swapped), [[], []]);
    const late = checkPlan([item(b, '10.0.1.1'), item(a, '10.0.2.1')], { listed: [a, b] });
    assert.deepEqual(problems(late), [['batch.problem.inUse'], []]);
  });

  const locks = [
    ['a missing device', { isMissing: true }, {}, ['batch.problem.missing']],
    ['a device being changed', { isProcessing: true }, {}, ['batch.problem.busy']],
    ['DHCP for a device without it', { supportsDHCP: false }, { method: 'DHCP' }, ['batch.problem.noDhcp']],
    ['a fixed address for a device without it', { supportsPersistentIP: false, networkMethod: 'DHCP' }, { method: 'PersistentIP' }, ['batch.problem.noFixed']],
    ['a device that keeps its unsupported method', { supportsDHCP: false, networkMethod: 'DHCP' }, { method: 'DHCP' }, []],
    ['a login device without a user name', { isAuthentication: true }, {}, ['batch.problem.login']],
  ];
  for (const [what, deviceKeys, settings, want] of locks) {
    test(`pre-flight: ${what}`, () => {
      const d = dev('10.0.1.1', deviceKeys);
      const items = checkPlan(planFromSettings([d], { namePattern: 'n{n}', ...settings }, { listed: [d] }), { listed: [d], username: '' });
      assert.deepEqual(problems(items), [want]);
    });
  }

  test('DHCP sends the current dotted addresses, as a single change does', () => {
    const d = dev('10.0.1.1', { name: 'n', defaultGateway: 'none' });
    const [item] = planFromSettings([d], { method: 'DHCP', start: '10.0.0.50', subnetMask: '255.255.0.0' }, { listed: [d] });
    assert.equal(itemChanges(item), true);
    assert.deepEqual(jobItem(item), { deviceId: d.id, name: 'n', ip: '10.0.1.1', subnetMask: '255.255.0.0', networkMethod: 'DHCP', defaultGateway: '0.0.0.0' });
  });

  test('keeping everything changes nothing', () => {
    const d = dev('10.0.1.1');
    const [item] = planFromSettings([d], {}, { listed: [d] });
    assert.equal(itemChanges(item), false);
  });

  test('the job request carries the change keys of each device and one login', () => {
    const req = changeDevices(
      [{ deviceId: 'a', name: 'n', ip: '10.0.0.5', subnetMask: '255.255.0.0', networkMethod: 'PersistentIP', defaultGateway: '0.0.0.0' }],
      'admin',
      'pw',
      'r1',
    );
    assert.deepEqual(req, {
      reqType: 'ChangeDevices',
      reqId: 'r1',
      username: 'admin',
      password: 'pw',
      devices: [{ deviceId: 'a', name: 'n', ip: '10.0.0.5', subnetMask: '255.255.0.0', networkMethod: 'PersistentIP', defaultGateway: '0.0.0.0' }],
    });
    assert.throws(() => changeDevices([{ deviceId: 'a', networkMethod: 'fixed' }], '', ''));
    assert.deepEqual(cancelBatch('r2'), { reqType: 'CancelBatch', reqId: 'r2' });
  });
});
