import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';

const { parseIPv4, formatIPv4, isContiguousMask, validateAddressSettings, suggestFreeAddress, subnetText, ipSortKey } = await lnf('ipv4.js');

describe('DottedIPv4', () => {
  test('AcceptsOnlyFourDecimalOctets', () => {
    assert.equal(parseIPv4('0.0.0.0'), 0);
    assert.equal(parseIPv4('255.255.255.255'), 0xffffffff);
    assert.equal(parseIPv4('10.0.0.1'), 0x0a000001);
    assert.equal(parseIPv4(' 10.0.0.1 '), 0x0a000001);
    for (const bad of [
      '',
      '10.0.0',
      '10.0.0.1.2',
      '256.0.0.1',
      '10.0.0.-1',
      '010.0.0.1',
      '10.0.0.01',
      '1e1.0.0.1',
      'a.b.c.d',
      '10.0.0.1/24',
      '10..0.1',
      null,
      undefined,
      167772161,
    ]) {
      assert.equal(parseIPv4(bad), null, String(bad));
    }
  });

  test('FormatsBack', () => {
    assert.equal(formatIPv4(0xc0a80001), '192.168.0.1');
    assert.equal(formatIPv4(parseIPv4('255.255.255.255')), '255.255.255.255');
  });

  test('MasksMustBeContiguous', () => {
    for (const good of ['255.255.255.0', '255.255.0.0', '255.255.255.252', '255.255.255.255', '128.0.0.0', '0.0.0.0'])
      assert.equal(isContiguousMask(parseIPv4(good)), true, good);
    for (const bad of ['255.0.255.0', '255.255.255.1', '0.255.255.255']) assert.equal(isContiguousMask(parseIPv4(bad)), false, bad);
  });

  test('SubnetTextAndSortKey', () => {
    assert.equal(subnetText('192.168.5.20', '255.255.255.0'), '192.168.5.0/24');
    assert.equal(subnetText('x', '255.255.255.0'), '');
    assert.ok(ipSortKey('10.0.0.9') < ipSortKey('10.0.0.10'));
    assert.ok(ipSortKey('255.255.255.255') < ipSortKey(''));
  });
});

describe('AddressSettingsCheck', () => {
  const ok = { ip: '192.168.0.10', subnetMask: '255.255.255.0', defaultGateway: '192.168.0.1' };

  test('AGoodSettingHasNoErrors', () => {
    assert.deepEqual(validateAddressSettings(ok), {});
    assert.deepEqual(validateAddressSettings({ ...ok, defaultGateway: '0.0.0.0' }), {});
    assert.deepEqual(validateAddressSettings({ ip: '10.0.0.1', subnetMask: '255.255.255.254', defaultGateway: '0.0.0.0' }), {});
  });

  test('EachFieldMustBeDottedIPv4', () => {
    assert.deepEqual(validateAddressSettings({ ip: '192.168.0', subnetMask: 'x', defaultGateway: '1.2.3.999' }), {
      ip: 'error.ipv4',
      subnetMask: 'error.ipv4',
      defaultGateway: 'error.ipv4',
    });
  });

  test('RefusesAddressesNoDeviceCanUse', () => {
    const ip = (v) => validateAddressSettings({ ...ok, ip: v, defaultGateway: '0.0.0.0' }).ip;
    assert.equal(ip('0.0.0.0'), 'error.ipThisNetwork');
    assert.equal(ip('0.1.2.3'), 'error.ipThisNetwork');
    assert.equal(ip('127.0.0.1'), 'error.ipLoopback');
    assert.equal(ip('224.0.0.1'), 'error.ipMulticast');
    assert.equal(ip('255.255.255.255'), 'error.ipMulticast');
    assert.equal(ip('192.168.0.0'), 'error.ipNetworkAddress');
    assert.equal(ip('192.168.0.255'), 'error.ipBroadcastAddress');
    assert.equal(ip('192.168.0.254'), undefined);
    assert.equal(ip('223.255.255.1'), undefined);
  });

  test('MaskMustBeContiguousAndNotZero', () => {
    assert.equal(validateAddressSettings({ ...ok, subnetMask: '255.0.255.0' }).subnetMask, 'error.maskContiguous');
    assert.equal(validateAddressSettings({ ...ok, subnetMask: '0.0.0.0' }).subnetMask, 'error.maskContiguous');
  });

  test('GatewayMustBeInTheSubnetAndNotTheDevice', () => {
    assert.equal(validateAddressSettings({ ...ok, defaultGateway: '192.168.1.1' }).defaultGateway, 'error.gatewayOutsideSubnet');
    assert.equal(validateAddressSettings({ ...ok, defaultGateway: '192.168.0.10' }).defaultGateway, 'error.gatewayIsIp');
  });
});

describe('FreeAddressSuggestion', () => {
  test('SkipsTheCardAndUsedAddresses', () => {
    assert.equal(suggestFreeAddress('10.0.0.1', '255.255.255.0', ['10.0.0.2', '10.0.0.3']), '10.0.0.4');
  });

  test('WrapsAroundAndStaysInsideTheSubnet', () => {
    assert.equal(suggestFreeAddress('10.0.0.6', '255.255.255.248', ['10.0.0.1']), '10.0.0.2');
    assert.equal(suggestFreeAddress('10.0.0.1', '255.255.255.252', ['10.0.0.2']), null);
  });

  test('UnusableCardDataGivesNothing', () => {
    assert.equal(suggestFreeAddress('x', '255.255.255.0', []), null);
    assert.equal(suggestFreeAddress('10.0.0.1', '255.0.255.0', []), null);
  });
});
