import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';

const { offeredAddress } = await lnf('offer.js');
const { createState } = await lnf('state.js');

const lan = (gateways = []) => ({ mac: '02:00:00:00:00:01', name: 'lan1', addresses: [{ ip: '10.10.1.1', subnetMask: '255.255.255.0' }], gateways });
const other = { mac: '02:00:00:00:00:02', name: 'lan2', addresses: [{ ip: '10.10.2.1', subnetMask: '255.255.255.0' }], gateways: [] };

function stateWith(devices, nics) {
  const s = createState();
  s.nics = nics;
  for (const d of devices) s.devices.set(d.id, d);
  return s;
}

describe('OfferedAddress', () => {
  const far = makeDevice({ id: 'far_1', ip: '192.168.250.5', ipOfAssociatedNic: '10.10.1.1' });

  test('IsInTheSubnetOfTheCardTheDeviceWasFoundOn', () => {
    const offer = offeredAddress(stateWith([far], [other, lan()]), far);
    assert.deepEqual([offer.ip, offer.subnetMask, offer.defaultGateway, offer.nic.name], ['10.10.1.2', '255.255.255.0', '0.0.0.0', 'lan1']);
  });

  test('SkipsListedDevicesTheGatewayAndAddressesFoundTaken', () => {
    const near = makeDevice({ id: 'near_1', ip: '10.10.1.2', ipOfAssociatedNic: '10.10.1.1', isMissing: true });
    const s = stateWith([far, near], [lan(['10.10.1.3'])]);
    const offer = offeredAddress(s, far);
    assert.equal(offer.ip, '10.10.1.4');
    assert.equal(offer.defaultGateway, '10.10.1.3');
    assert.equal(offeredAddress(s, far, ['10.10.1.4', '10.10.1.5']).ip, '10.10.1.6');
  });

  test('NeverTheNetworkOrBroadcastAddressAndNothingWhenTheSubnetIsFull', () => {
    const small = { ...lan(), addresses: [{ ip: '10.10.1.1', subnetMask: '255.255.255.252' }] };
    assert.equal(offeredAddress(stateWith([far], [small]), far).ip, '10.10.1.2');
    assert.equal(offeredAddress(stateWith([far], [small]), far, ['10.10.1.2']), null);
  });

  test('NothingForADeviceWhoseCardIsUnknown', () => {
    const stray = makeDevice({ id: 'stray_1', ip: '192.168.250.6', ipOfAssociatedNic: '10.9.9.9' });
    assert.equal(offeredAddress(stateWith([stray], [lan()]), stray), null);
  });
});
