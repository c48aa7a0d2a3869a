// What the change form sends: checks the user's input and builds the
// "ChangeDevice" request. No DOM here.

import { parseIPv4, validateAddressSettings, sameSubnet, isContiguousMask, subnetText } from './ipv4.js';

/** A dotted address, or 0.0.0.0 for a text that is not one: the protocol wants dotted addresses in every change. */
export const asDotted = (text) => (parseIPv4(text) === null ? '0.0.0.0' : String(text).trim());

/** The form's starting values for a device. */
export function formValuesOf(device) {
  return {
    name: device.name ?? '',
    method: device.networkMethod === 'DHCP' ? 'DHCP' : device.networkMethod === 'PersistentIP' ? 'PersistentIP' : 'Unknown',
    ip: device.ip ?? '',
    subnetMask: device.subnetMask ?? '',
    defaultGateway: device.defaultGateway ?? '',
  };
}

const ADDRESS_FIELDS = ['ip', 'subnetMask', 'defaultGateway'];

/**
 * The fields whose values differ from the device's current settings, in
 * form order. The addresses count only for a fixed address: with any other
 * method they are not sent.
 */
export function editedFields(device, values) {
  const cur = formValuesOf(device);
  const out = [];
  if (values.name !== cur.name) out.push('name');
  if (values.method !== cur.method) out.push('method');
  if (values.method === 'PersistentIP') {
    for (const f of ADDRESS_FIELDS) if (String(values[f] ?? '').trim() !== cur[f]) out.push(f);
  }
  return out;
}

/** Whether the values differ from the device's current settings. */
export function isChanged(device, values) {
  return editedFields(device, values).length > 0;
}

/** Addresses of this PC's cards, with their masks. */
function cardAddresses(nics) {
  const out = [];
  for (const nic of nics || []) {
    for (const a of Array.isArray(nic.addresses) ? nic.addresses : []) {
      const ip = parseIPv4(a && a.ip);
      const mask = parseIPv4(a && a.subnetMask);
      if (ip !== null && mask !== null) out.push({ ip, mask, nic });
    }
  }
  return out;
}

/**
 * Checks the form and builds the request. Returns
 * { errors: {field: key}, errorParams: {field: params}, warnings: [key],
 * warningParams: {key: params}, request: object|null }.
 * `others` lists the other present devices ({ id, name, ip }).
 */
export function buildChange(device, values, { username = '', password = '', nics = [], others = [] } = {}) {
  const errors = {};
  const errorParams = {};
  const warnings = [];
  const warningParams = {};
  const name = values.name;
  if (name.length > 128) errors.name = 'error.nameTooLong';

  let ip = device.ip;
  let subnetMask = device.subnetMask;
  let defaultGateway = device.defaultGateway;
  if (values.method === 'PersistentIP') {
    ip = values.ip.trim();
    subnetMask = values.subnetMask.trim();
    defaultGateway = values.defaultGateway.trim();
    Object.assign(errors, validateAddressSettings({ ip, subnetMask, defaultGateway }));
    if (!errors.ip) {
      const n = parseIPv4(ip);
      const clash = others.find((o) => o.id !== device.id && parseIPv4(o.ip) === n);
      const cards = cardAddresses(nics);
      if (clash) {
        errors.ip = 'error.ipInUse';
        errorParams.ip = { name: clash.label || clash.name || clash.id };
      } else if (cards.some((c) => c.ip === n)) {
        errors.ip = 'error.ipIsPc';
      } else if (!errors.subnetMask && cards.length) {
        // The PC reaches the device only through the card it was found on:
        // an address in another card's subnet is routed out of that one.
        const own = cards.filter((c) => c.nic.addresses.some((a) => a && a.ip === device.ipOfAssociatedNic));
        const inSubnet = (list) => list.some((c) => isContiguousMask(c.mask) && sameSubnet(c.ip, n, c.mask));
        if (own.length && !inSubnet(own)) {
          const seen = own[0].nic.addresses.find((a) => a && a.ip === device.ipOfAssociatedNic);
          warnings.push('warning.outsideCardSubnet');
          warningParams['warning.outsideCardSubnet'] = { card: own[0].nic.name || device.ipOfAssociatedNic, subnet: subnetText(seen.ip, seen.subnetMask) };
        } else if (!own.length && !inSubnet(cards)) warnings.push('warning.outsideSubnets');
      }
    }
  } else {
    // The protocol needs dotted addresses in every change request, also for
    // DHCP and for a rename: the device's current ones are sent.
    ip = asDotted(ip);
    subnetMask = asDotted(subnetMask);
    defaultGateway = asDotted(defaultGateway);
  }
  if (device.isAuthentication && String(username).trim() === '') errors.credentials = 'error.credentialsNeeded';
  if (!isChanged(device, values)) errors.form = 'form.noChanges';

  const ok = Object.keys(errors).length === 0;
  return {
    errors,
    errorParams,
    warnings,
    warningParams,
    request: ok
      ? {
          deviceId: device.id,
          name,
          ip,
          subnetMask,
          defaultGateway,
          networkMethod: values.method,
          username,
          password,
        }
      : null,
  };
}

/** A request that repeats the current settings, to withdraw a change the device never took. */
export function cancelPendingChange(device, { username = '', password = '' } = {}) {
  const cur = formValuesOf(device);
  return {
    deviceId: device.id,
    name: cur.name,
    ip: asDotted(cur.ip),
    subnetMask: asDotted(cur.subnetMask),
    defaultGateway: asDotted(cur.defaultGateway),
    networkMethod: cur.method,
    username,
    password,
  };
}
