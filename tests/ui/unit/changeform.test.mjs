import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';
import { makeDevice, defaultNics } from '../support/mock-lanfinder.mjs';

const { buildChange, cancelPendingChange, editedFields, formValuesOf, isChanged } = await lnf('changeform.js');

const device = (o = {}) =>
  makeDevice({ ip: '10.0.0.20', subnetMask: '255.255.0.0', defaultGateway: '0.0.0.0', networkMethod: 'PersistentIP', name: 'Cam', ...o });
const values = (d, o = {}) => ({ ...formValuesOf(d), ...o });
const nics = defaultNics();

describe('ChangeRequest', () => {
  test('ARenameSendsTheCurrentAddresses', () => {
    const d = device();
    const { request, errors } = buildChange(d, values(d, { name: 'Line 4' }), { nics });
    assert.deepEqual(errors, {});
    assert.deepEqual(request, {
      deviceId: d.id,
      name: 'Line 4',
      ip: '10.0.0.20',
      subnetMask: '255.255.0.0',
      defaultGateway: '0.0.0.0',
      networkMethod: 'PersistentIP',
      username: '',
      password: '',
    });
  });

  test('SwitchingToDhcpCarriesTheCurrentDottedAddresses', () => {
    const d = device();
    const { request } = buildChange(d, values(d, { method: 'DHCP', ip: 'typed junk' }), { nics });
    assert.equal(request.networkMethod, 'DHCP');
    assert.equal(request.ip, '10.0.0.20');
    assert.equal(request.subnetMask, '255.255.0.0');
  });

  test('DhcpWithoutCurrentAddressesSendsZeroAddresses', () => {
    const d = device({ ip: '', subnetMask: '', defaultGateway: 'none', networkMethod: 'PersistentIP' });
    const { request } = buildChange(d, values(d, { method: 'DHCP' }), { nics });
    assert.deepEqual([request.ip, request.subnetMask, request.defaultGateway], ['0.0.0.0', '0.0.0.0', '0.0.0.0']);
  });

  test('AFixedAddressIsCheckedBeforeSending', () => {
    const d = device();
    const { request, errors } = buildChange(d, values(d, { ip: '10.0.300.1', subnetMask: '255.255.0.0' }), { nics });
    assert.equal(request, null);
    assert.equal(errors.ip, 'error.ipv4');
  });

  test('AnAddressInUseByAnotherDeviceOrThePcIsRefused', () => {
    const d = device();
    const other = { id: 'x_1', name: 'Neighbour', ip: '10.0.0.30' };
    let r = buildChange(d, values(d, { ip: '10.0.0.30' }), { nics, others: [other] });
    assert.equal(r.errors.ip, 'error.ipInUse');
    assert.deepEqual(r.errorParams.ip, { name: 'Neighbour' });
    r = buildChange(d, values(d, { ip: '10.0.0.1' }), { nics });
    assert.equal(r.errors.ip, 'error.ipIsPc');
  });

  test('AnAddressOutsideTheDevicesCardIsAllowedWithAWarningNamingTheCard', () => {
    const twoCards = [...nics, { mac: '02:00:00:00:00:02', name: 'lan2', addresses: [{ ip: '10.10.2.1', subnetMask: '255.255.255.0' }], gateways: [] }];
    const d = device();
    for (const ip of ['192.168.7.5', '10.10.2.50']) {
      const r = buildChange(d, values(d, { ip, subnetMask: '255.255.255.0' }), { nics: twoCards });
      assert.ok(r.request, ip);
      assert.deepEqual(r.warnings, ['warning.outsideCardSubnet'], ip);
      assert.deepEqual(r.warningParams['warning.outsideCardSubnet'], { card: 'eth0', subnet: '10.0.0.0/16' }, ip);
    }
    const inside = buildChange(d, values(d, { ip: '10.0.9.9' }), { nics: twoCards });
    assert.deepEqual(inside.warnings, []);
    // Seen on a card the PC no longer lists: any card's subnet will do.
    const stray = device({ ipOfAssociatedNic: '10.9.9.9' });
    assert.deepEqual(buildChange(stray, values(stray, { ip: '10.10.2.50', subnetMask: '255.255.255.0' }), { nics: twoCards }).warnings, []);
    assert.deepEqual(buildChange(stray, values(stray, { ip: '192.168.7.5', subnetMask: '255.255.255.0' }), { nics: twoCards }).warnings, [
      'warning.outsideSubnets',
    ]);
  });

  test('ADeviceThatAsksForALoginNeedsAUserName', () => {
    const d = device({ isAuthentication: true });
    assert.equal(buildChange(d, values(d, { name: 'x' }), { nics }).errors.credentials, 'error.credentialsNeeded');
    const r = buildChange(d, values(d, { name: 'x' }), { nics, username: 'admin', password: 'secret' });
    assert.equal(r.request.username, 'admin');
    assert.equal(r.request.password, 'secret');
  });

  test('NothingChangedSendsNothing', () => {
    const d = device();
    const r = buildChange(d, values(d), { nics });
    assert.equal(r.request, null);
    assert.equal(r.errors.form, 'form.noChanges');
    assert.equal(isChanged(d, values(d, { ip: ' 10.0.0.20 ' })), false);
    assert.equal(isChanged(d, values(d, { method: 'DHCP' })), true);
  });

  test('CancellingRepeatsTheCurrentSettings', () => {
    const d = device({ networkMethod: 'DHCP' });
    const req = cancelPendingChange(d, { username: 'u', password: 'p' });
    assert.deepEqual(req, {
      deviceId: d.id,
      name: 'Cam',
      ip: '10.0.0.20',
      subnetMask: '255.255.0.0',
      defaultGateway: '0.0.0.0',
      networkMethod: 'DHCP',
      username: 'u',
      password: 'p',
    });
  });
});

describe('EditedFields', () => {
  const cases = [
    ['nothing typed', {}, []],
    ['a new name', { name: 'Line 4' }, ['name']],
    ['a name typed back to the old one', { name: 'Cam' }, []],
    ['a name differing only in case', { name: 'cam' }, ['name']],
    ['a new address', { ip: '10.0.0.21' }, ['ip']],
    ['an address with spaces around the old one', { ip: ' 10.0.0.20 ' }, []],
    ['mask and gateway', { subnetMask: '255.255.255.0', defaultGateway: '10.0.0.1' }, ['subnetMask', 'defaultGateway']],
    ['an emptied address', { ip: '' }, ['ip']],
    ['the other method', { method: 'DHCP' }, ['method']],
    // With DHCP the address fields are not sent: typing in them edits nothing.
    ['addresses under DHCP', { method: 'DHCP', ip: '1.2.3.4' }, ['method']],
    ['everything', { name: 'X', ip: '10.0.0.30', subnetMask: '255.0.0.0', defaultGateway: '10.0.0.1' }, ['name', 'ip', 'subnetMask', 'defaultGateway']],
  ];
  for (const [what, typed, expected] of cases) {
    test(`Tracks ${what}`, () => {
      const d = device();
      assert.deepEqual(editedFields(d, values(d, typed)), expected);
      assert.equal(isChanged(d, values(d, typed)), expected.length > 0);
    });
  }

  test('ADeviceWithoutAMethodCountsOnlyItsName', () => {
    const d = device({ networkMethod: 'Unknown' });
    assert.deepEqual(editedFields(d, values(d, { ip: '10.0.0.99' })), []);
    assert.deepEqual(editedFields(d, values(d, { name: 'New' })), ['name']);
  });
});
